#include "platform/posix/launch.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "support/test_helpers.h"

namespace {

TEST(LaunchTest, ReturnsWhileTheHelperRunsAndGivesItOnlyTheStandardDescriptors) {
  TempDir dir;
  const std::string gate = dir.fifo("gate"), report = dir.fifo("report");
  UniqueFd inherited(::open("/dev/null", O_RDONLY));  // not close-on-exec
  // The helper blocks on the gate, which only opens after the call returns.
  launchDetached({"/bin/sh", "-c",
                  "read x < \"$0\"; [ -e /proc/$$/fd/" + std::to_string(inherited.get()) +
                      " ] && x=leaked; echo \"$x\" > \"$1\"",
                  gate, report});
  // Read and write, so that opening never waits for the helper.
  UniqueFd gateEnd(::open(gate.c_str(), O_RDWR | O_CLOEXEC));
  ASSERT_TRUE(gateEnd);
  ASSERT_EQ(::write(gateEnd.get(), "clean\n", 6), 6);
  EXPECT_EQ(readFifo(report), "clean\n");
}

TEST(LaunchTest, ManyHelpersLeaveNoZombie) {
  for (int i = 0; i < 300; ++i) launchDetached({"/bin/true"});
  launchDetached({"/nonexistent/helper"});
  launchDetached({});
  EXPECT_TRUE(waitUntil([] { return childCount() == 0; }));
}

}  // namespace
