#pragma once

#include <string_view>

// Writes every byte to fd, unbuffered, retrying short writes and EINTR.
// Returns false when the descriptor refuses the bytes (closed, broken pipe).
bool writeAll(int fd, std::string_view bytes);
