#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/posix/unique_fd.h"

class EventLoop;

// Writes texts into the pipes of clients pasting them, from the loop, each as
// fast as its reader takes it: a slow or stalled reader never holds up the
// loop. A pipe is closed once its text is written or its reader has gone.
// Main thread only.
class PipeWriters {
 public:
  explicit PipeWriters(EventLoop& loop) : loop_(loop) {}
  ~PipeWriters();
  PipeWriters(const PipeWriters&) = delete;
  PipeWriters& operator=(const PipeWriters&) = delete;

  void start(UniqueFd pipe, std::shared_ptr<const std::string> text);
  size_t underWay() const { return writes_.size(); }

 private:
  struct Write {
    UniqueFd pipe;
    std::shared_ptr<const std::string> text;
    size_t written = 0;
  };

  void advance(int fd);

  EventLoop& loop_;
  std::unordered_map<int, Write> writes_;
};
