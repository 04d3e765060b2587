#include "platform/posix/output_collector.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "platform/posix/unique_fd.h"

namespace {

// Bytes that differ from one position to the next, so a block put back in
// the wrong place, or cut one byte short, shows.
std::string patterned(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
  return bytes;
}

// Everything written into a pipe by another thread, as the collector hands it over.
std::string collectThroughPipe(const std::string& bytes) {
  int fds[2];
  EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  UniqueFd readEnd(fds[0]);
  std::thread writer([&bytes, writeEnd = UniqueFd(fds[1])] {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::write(writeEnd.get(), bytes.data() + done, bytes.size() - done);
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  });
  OutputCollector collector;
  while (collector.readFrom(readEnd.get())) {
  }
  writer.join();
  EXPECT_EQ(collector.size(), bytes.size());
  std::string taken = collector.take();
  EXPECT_EQ(collector.size(), 0u);
  EXPECT_EQ(collector.take(), "");
  return taken;
}

TEST(OutputCollectorTest, HandsOverEveryByteInOrderAroundBlockEdges) {
  constexpr size_t block = 1 << 20;  // the collector's block size
  for (size_t size : {size_t{0}, size_t{1}, block - 1, block, block + 1, 3 * block + 7}) {
    const std::string bytes = patterned(size);
    EXPECT_TRUE(collectThroughPipe(bytes) == bytes) << size << " bytes";
  }
}

TEST(OutputCollectorTest, EmptyNonBlockingPipeIsNotAnEnd) {
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
  UniqueFd readEnd(fds[0]), writeEnd(fds[1]);
  OutputCollector collector;
  EXPECT_TRUE(collector.readFrom(readEnd.get()));
  ASSERT_EQ(::write(writeEnd.get(), "ab", 2), 2);
  EXPECT_TRUE(collector.readFrom(readEnd.get()));
  writeEnd.reset();
  EXPECT_FALSE(collector.readFrom(readEnd.get()));
  EXPECT_EQ(collector.take(), "ab");
}

}  // namespace
