#include "notify/notify_send.h"

#include "text/utf8.h"

namespace {

// NUL cannot travel in an argument; show it as the replacement character.
std::string argumentText(std::string_view text) {
  std::string repaired = repairUtf8(text);
  std::string out;
  out.reserve(repaired.size());
  for (char c : repaired) {
    if (c == '\0') {
      out += "\xEF\xBF\xBD";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace

std::string escapeNotifyBody(std::string_view body) {
  std::string escaped;
  escaped.reserve(body.size());
  for (char c : body) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '\\':
        escaped += "\\\\";
        break;
      default:
        escaped.push_back(c);
    }
  }
  return escaped;
}

std::vector<std::string> notifySendCommand(std::string_view title, std::string_view body) {
  return {"/usr/bin/notify-send", "--app-name=varkel", "--", argumentText(title),
          escapeNotifyBody(argumentText(body))};
}
