#include "platform/posix/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <csignal>

#include "platform/posix/unique_fd.h"

namespace {

TEST(ChildProcess, StartsWithTheStandardDescriptorsDefaultSignalsAndTheAgentsInput) {
  UniqueFd leaky(::open("/dev/null", O_RDONLY));  // not close-on-exec
  const auto previous = std::signal(SIGINT, SIG_IGN);
  sigset_t blocked, mask;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGTERM);
  ::pthread_sigmask(SIG_BLOCK, &blocked, &mask);
  const ChildResult result = runChild(
      "/bin/sh",
      {"sh", "-c", "ls /proc/self/fd; grep 'Sig[BI]' /proc/self/status; readlink /proc/self/fd/0"},
      std::nullopt);
  ::pthread_sigmask(SIG_SETMASK, &mask, nullptr);
  std::signal(SIGINT, previous);
  char own[PATH_MAX] = {};
  ASSERT_GT(::readlink("/proc/self/fd/0", own, sizeof own - 1), 0);
  // 3 is ls's own handle on the folder it lists; glibc's spawn leaves the two signals it keeps
  // for itself, 32 and 33, ignored.
  EXPECT_EQ(result.out, std::string("0\n1\n2\n3\nSigBlk:\t0000000000000000\n") +
                            "SigIgn:\t0000000180000000\n" + own + "\n");
}

TEST(ChildProcess, FeedsAndDrainsAllStreamsAtOnce) {
  // Bytes that differ from one place to the next, so that a misplaced block shows.
  std::string text;
  for (int line = 0; text.size() < (8 << 20); ++line) text += "dòng " + std::to_string(line) + "\n";
  text += "x";
  // tee writes what it reads to both outputs as it goes: it ends only if its input is fed
  // while both outputs are drained.
  const ChildResult tee = runChild("/usr/bin/tee", {"tee", "/dev/stderr"}, text);
  EXPECT_EQ(tee.status, 0);
  EXPECT_TRUE(tee.out == text && tee.err == text) << tee.out.size() << " " << tee.err.size();
  EXPECT_EQ(runChild("/bin/sh", {"sh", "-c", "kill -TERM $$"}, "").status, 128 + SIGTERM);
}

}  // namespace
