#pragma once

#include <chrono>
#include <memory>
#include <string>

// Keeps text on the Wayland clipboard after this process has ended, as
// wl-copy does: a child process with a connection of its own takes the
// selection with the text and serves it until another client takes the
// selection. Waits until the child holds the selection, at most until the
// deadline; true when it did. The caller then ends the process.
bool keepClipboardText(std::shared_ptr<const std::string> text,
                       std::chrono::steady_clock::time_point deadline);
