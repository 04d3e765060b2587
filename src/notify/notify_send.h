#pragma once

#include <string>
#include <string_view>
#include <vector>

// A body for notify-send that arrives as it was meant: notify-send reads C
// escapes in the body, so backslashes are doubled, and notification servers
// read the body as markup, so &, < and > become entities.
std::string escapeNotifyBody(std::string_view body);

// The Linux notifier's command line. The texts come after "--" so that one
// starting with "-" stays text; both are made valid UTF-8 without NULs,
// which neither an argument vector nor D-Bus can carry, and a text too long
// for one argument is cut at a character boundary and ends in "…".
std::vector<std::string> notifySendCommand(std::string_view title, std::string_view body);
