#include "platform/posix/launch.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/posix/unique_fd.h"
#include "support/children.h"

namespace fs = std::filesystem;

namespace {

class LaunchTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/varkel-launch-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(LaunchTest, ReturnsWhileTheHelperStillRuns) {
  fs::path fifo = dir_ / "gate", done = dir_ / "done";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // The helper blocks until the gate opens, which only happens after the call.
  launchDetached({"/bin/sh", "-c", "read x < \"$0\"; echo \"$x\" > \"$1\"", fifo, done});
  UniqueFd gate(open(fifo.c_str(), O_WRONLY | O_CLOEXEC));
  ASSERT_TRUE(gate);
  ASSERT_EQ(write(gate.get(), "opened\n", 7), 7);
  gate.reset();
  ASSERT_TRUE(waitUntil([&] { return fs::exists(done) && fs::file_size(done) == 7; }));
  EXPECT_TRUE(waitUntil([] { return childCount() == 0; }));
}

TEST_F(LaunchTest, HelperGetsOnlyStandardDescriptors) {
  UniqueFd inherited(dup(0));  // not close-on-exec
  fs::path marker = dir_ / "marker";
  launchDetached({"/bin/sh", "-c",
                  "if [ -e /proc/$$/fd/" + std::to_string(inherited.get()) +
                      " ]; then echo leaked; else echo clean; fi > \"$0\"",
                  marker});
  ASSERT_TRUE(waitUntil([&] { return fs::exists(marker) && fs::file_size(marker) > 0; }));
  std::ifstream in(marker);
  std::string word;
  in >> word;
  EXPECT_EQ(word, "clean");
}

TEST_F(LaunchTest, ManyHelpersLeaveNoZombie) {
  for (int i = 0; i < 300; ++i) launchDetached({"/bin/true"});
  launchDetached({"/nonexistent/helper"});
  launchDetached({});
  EXPECT_TRUE(waitUntil([] { return childCount() == 0; }));
}

}  // namespace
