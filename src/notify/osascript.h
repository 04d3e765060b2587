#pragma once

#include <string>
#include <string_view>
#include <vector>

// An AppleScript string literal: backslashes doubled first, then double
// quotes escaped, all between double quotes. Nothing else changes.
std::string quote(std::string_view text);

// "display notification <body> with title <title>", both quoted.
std::string notificationScript(std::string_view title, std::string_view body);

// The macOS notifier's command line: osascript with the script.
std::vector<std::string> osascriptCommand(std::string_view title, std::string_view body);
