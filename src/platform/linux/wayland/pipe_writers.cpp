#include "platform/linux/wayland/pipe_writers.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/event_loop.h"

namespace {

// A larger pipe takes a large text in fewer wake-ups.
constexpr int pipeBytes = 1 << 20;

}  // namespace

PipeWriters::~PipeWriters() {
  for (const auto& [fd, write] : writes_) loop_.unwatch(fd);
}

void PipeWriters::start(UniqueFd pipe, std::shared_ptr<const std::string> text) {
  const int fd = pipe.get();
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return;
  ::fcntl(fd, F_SETPIPE_SZ, pipeBytes);
  writes_.emplace(fd, Write{std::move(pipe), std::move(text)});
  loop_.watch(fd, POLLOUT, [this, fd](short) { advance(fd); });
  advance(fd);
}

void PipeWriters::advance(int fd) {
  auto it = writes_.find(fd);
  if (it == writes_.end()) return;
  Write& w = it->second;
  while (w.written < w.text->size()) {
    const ssize_t n = ::write(fd, w.text->data() + w.written, w.text->size() - w.written);
    if (n > 0) {
      w.written += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      return;  // the loop calls again once the reader has made room
    } else {
      break;  // the reader has gone
    }
  }
  loop_.unwatch(fd);
  writes_.erase(it);
}
