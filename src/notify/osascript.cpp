#include "notify/osascript.h"

std::string quote(std::string_view text) {
  std::string quoted = "\"";
  quoted.reserve(text.size() + 2);
  for (char c : text) {
    if (c == '\\' || c == '"') quoted.push_back('\\');
    quoted.push_back(c);
  }
  quoted.push_back('"');
  return quoted;
}

std::string notificationScript(std::string_view title, std::string_view body) {
  return "display notification " + quote(body) + " with title " + quote(title);
}

std::vector<std::string> osascriptCommand(std::string_view title, std::string_view body) {
  return {"/usr/bin/osascript", "-e", notificationScript(title, body)};
}
