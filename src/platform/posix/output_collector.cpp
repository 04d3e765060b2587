#include "platform/posix/output_collector.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

// As large as the pipes, so that one read can empty a full pipe.
constexpr size_t blockBytes = 1 << 20;

}  // namespace

void OutputCollector::BlockDeleter::operator()(char* block) const {
  std::allocator<char>().deallocate(block, blockBytes);
}

bool OutputCollector::readFrom(int fd) {
  const size_t used = size_ % blockBytes;
  if (used == 0 && blocks_.size() * blockBytes == size_) {
    // Untouched memory costs nothing until a read fills it.
    blocks_.push_back(Block(std::allocator<char>().allocate(blockBytes)));
  }
  const ssize_t n = ::read(fd, blocks_.back().get() + used, blockBytes - used);
  if (n > 0) {
    size_ += static_cast<size_t>(n);
    return true;
  }
  return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
}

std::string OutputCollector::take() {
  std::string bytes;
  bytes.reserve(size_);
  for (size_t i = 0; i < blocks_.size(); ++i) {
    bytes.append(blocks_[i].get(), std::min(blockBytes, size_ - i * blockBytes));
  }
  blocks_.clear();
  size_ = 0;
  return bytes;
}
