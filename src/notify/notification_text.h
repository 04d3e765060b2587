#pragma once

#include <string>
#include <string_view>

// A text as D-Bus can carry it: a D-Bus string is valid UTF-8 without NUL,
// so each invalid sequence and each NUL becomes U+FFFD. Nothing is dropped.
std::string busText(std::string_view text);

// A notification body: busText with &, < and > as entities, since servers
// read the body as markup. A body whose escaped form exceeds 64 KiB is cut at
// a character boundary, never inside an entity, and ends in "…".
std::string notificationBody(std::string_view body);
