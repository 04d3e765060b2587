#include "platform/posix/launch.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support.h"

namespace {

TEST(Launch, ReturnsWhileTheHelperRunsWithTheStandardDescriptorsOnly) {
  TempDir dir;
  const std::string gate = dir.fifo("gate"), report = dir.fifo("report");
  UniqueFd inherited(::open("/dev/null", O_RDONLY));  // not close-on-exec
  // The helper waits at the gate, which only opens once the call has returned.
  launchDetached({"/bin/sh", "-c",
                  "[ -e /proc/$$/fd/" + std::to_string(inherited.get()) +
                      " ] && x=leaked || x=clean; cat \"$0\" >/dev/null; echo $x >\"$1\"",
                  gate, report});
  reached(gate).reset();
  launchDetached({"/nonexistent/helper"});
  launchDetached({});
  std::ifstream read(report);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(read), {}), "clean\n");
}

}  // namespace
