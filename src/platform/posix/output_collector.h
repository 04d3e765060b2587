#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// Collects what a child writes to one stream. Reads land in blocks that never
// move and are not cleared first, so a large output is copied once, at the
// end, instead of once per growth of a string, and most of its fresh memory
// is touched while the child is still writing.
class OutputCollector {
 public:
  // Reads once from fd, which may be non-blocking. False once the stream has
  // ended or failed; true when it may still bring more.
  bool readFrom(int fd);
  size_t size() const { return size_; }
  // The bytes read so far, in one string; the collector is left empty.
  std::string take();

 private:
  // Raw allocator memory: unlike new char[n]() it is not cleared first, and
  // unlike make_unique_for_overwrite every standard library has it.
  struct BlockDeleter {
    void operator()(char* block) const;
  };
  using Block = std::unique_ptr<char[], BlockDeleter>;

  std::vector<Block> blocks_;
  size_t size_ = 0;
};
