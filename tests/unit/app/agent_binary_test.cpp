// The real binary's start-up checks: exit status and the exact bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_process.h"

namespace {

ProcessOutput runAgent(std::vector<std::string> args) {
  args.insert(args.begin(), VARKEL_AGENT_BINARY);
  // No DISPLAY: a run that got past the checks ends at once with status 1.
  return runProcess(args, {"LANG=C"});
}

struct Case {
  std::vector<std::string> args;
  std::string err;
};

const std::string usage = "Thiếu --cli <đường dẫn varkel.js>\n";

TEST(AgentBinary, RefusesBadCommandLinesWithStatusTwo) {
  const Case cases[] = {
      {{}, usage},
      {{"--cli", ""}, usage},
      {{"--cli"}, usage},
      {{"--verbose", "--cli", "x.js"}, usage},
      {{"--cli", "x.js", "--copy", "ctrl+q+esc"}, "Phím tắt không đọc được: ctrl+q+esc / ctrl+alt+b\n"},
      {{"--cli", "x.js", "--paste", "Ctrl+Alt"}, "Phím tắt không đọc được: ctrl+alt+c / Ctrl+Alt\n"},
      {{"--copy", "nonsense"}, usage},
  };
  for (const auto& c : cases) {
    ProcessOutput result = runAgent(c.args);
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(result.out, "");
  }
}

TEST(AgentBinary, WithoutADisplaySaysSoAndExitsOne) {
  ProcessOutput result = runAgent({"--cli", "x.js"});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.out, "");
  ASSERT_FALSE(result.err.empty());
  EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "one line: " << result.err;
}

}  // namespace
