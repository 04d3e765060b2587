#pragma once

#include <string>

// The line a failed run's notification shows: the last non-empty line of err,
// or of out when err is empty, unchanged; "Không rõ lỗi." when there is none.
// Lines end at a line feed that is its own character; a carriage return and
// line feed pair is one character and stays inside its line.
std::string dongLoi(const std::string& out, const std::string& err);
