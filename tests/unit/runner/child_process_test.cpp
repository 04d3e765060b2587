#include "platform/posix/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <sstream>

#include "support/test_helpers.h"

namespace {

class ChildProcessTest : public testing::Test {
 protected:
  // Runs a /bin/sh script body with the given input.
  ChildResult sh(const std::string& body, const std::optional<std::string>& input = std::nullopt) {
    auto result = runChildBounded("/bin/sh", {"/bin/sh", "-c", body}, input);
    EXPECT_TRUE(result.has_value()) << "the child did not end: " << body;
    return result.value_or(ChildResult{});
  }
};

TEST_F(ChildProcessTest, StatusIsTheExitCodeOr128PlusTheSignal) {
  const std::pair<const char*, int32_t> cases[] = {
      {"exit 0", 0},          {"exit 3", 3},          {"exit 255", 255},
      {"kill -TERM $$", 143}, {"kill -KILL $$", 137}, {"kill -USR1 $$", 128 + SIGUSR1},
  };
  for (const auto& [body, status] : cases) EXPECT_EQ(sh(body).status, status) << body;
}

TEST_F(ChildProcessTest, ChildThatStopsReadingEndsTheWriteNotTheProcess) {
  // A default SIGPIPE would kill this test binary at the first broken write.
  struct sigaction dfl {
  }, previous{};
  dfl.sa_handler = SIG_DFL;
  ::sigaction(SIGPIPE, &dfl, &previous);
  const std::string input(64 << 20, 'x');
  ChildResult readsNothing = sh("exit 0", input);
  EXPECT_EQ(readsNothing.status, 0);
  ChildResult closesEarly = sh("head -c 5; exec 0<&-; echo ' then closed'", input);
  EXPECT_EQ(closesEarly.status, 0);
  EXPECT_EQ(closesEarly.out, "xxxxx then closed\n");
  ::sigaction(SIGPIPE, &previous, nullptr);
}

TEST_F(ChildProcessTest, StandardInputIsAPipeOrTheAgentsOwn) {
  char own[PATH_MAX] = {};
  ASSERT_GT(::readlink("/proc/self/fd/0", own, sizeof own - 1), 0);
  EXPECT_EQ(sh("readlink /proc/self/fd/0").out, std::string(own) + "\n");
  // An empty input is still a pipe, at its end at once.
  EXPECT_EQ(sh("readlink /proc/self/fd/0; cat", "").out.rfind("pipe:", 0), 0u);
}

TEST_F(ChildProcessTest, ChildGetsOnlyTheStandardDescriptors) {
  // Opened the careless way, without close-on-exec.
  UniqueFd leaky(::open("/dev/null", O_RDONLY));
  ASSERT_TRUE(leaky);
  // 3 is ls's own handle on the directory it lists.
  EXPECT_EQ(sh("exec ls /proc/self/fd", "").out, "0\n1\n2\n3\n");
}

TEST_F(ChildProcessTest, ChildStartsWithDefaultSignalsAndNoneBlocked) {
  // The agent ignores SIGPIPE; the runner's thread inherits the mask.
  struct sigaction ignore {
  }, previous{}, previousInt{};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, &previous);
  ::sigaction(SIGINT, &ignore, &previousInt);
  sigset_t blocked, previousMask;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGTERM);
  sigaddset(&blocked, SIGUSR1);
  ::pthread_sigmask(SIG_BLOCK, &blocked, &previousMask);
  ChildResult result = sh("grep -E '^Sig(Blk|Ign):' /proc/self/status");
  ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
  ::sigaction(SIGPIPE, &previous, nullptr);
  ::sigaction(SIGINT, &previousInt, nullptr);
  std::istringstream fields(result.out);
  std::string label;
  unsigned long long blockedBits = ~0ULL, ignoredBits = ~0ULL;
  fields >> label >> std::hex >> blockedBits >> label >> ignoredBits;
  // glibc's spawn leaves its own two reserved signals (32 and 33, below
  // SIGRTMIN) ignored; no program can use them.
  for (int reserved = 32; reserved < SIGRTMIN; ++reserved) ignoredBits &= ~(1ULL << (reserved - 1));
  EXPECT_EQ(blockedBits, 0u) << result.out;
  EXPECT_EQ(ignoredBits, 0u) << result.out;
}

}  // namespace
