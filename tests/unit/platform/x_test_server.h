#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

// A private Xvfb for one test, so that grabs and keyboard remapping never
// touch the developer's desktop or another test's server. DISPLAY points at
// it while it runs.
class XTestServer {
 public:
  // Null, with the reason in *whyNot, when Xvfb is missing or will not start.
  // extraArgs go to Xvfb as they are.
  static std::unique_ptr<XTestServer> start(std::string* whyNot,
                                            const std::vector<std::string>& extraArgs = {});
  ~XTestServer();
  XTestServer(const XTestServer&) = delete;
  XTestServer& operator=(const XTestServer&) = delete;

  const std::string& display() const { return display_; }
  // Ends the server now, as a crash would.
  void kill();

 private:
  XTestServer(pid_t pid, std::string display) : pid_(pid), display_(std::move(display)) {}
  pid_t pid_;
  std::string display_;
};

// Runs a program from PATH against the test display and waits for it;
// returns its exit status, or -1 if it could not run or was killed.
int runTool(const std::vector<std::string>& argv);

// Whether a program is on PATH.
bool haveTool(const std::string& name);
