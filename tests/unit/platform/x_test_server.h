#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

// A private Xvfb for one test, so that grabs and keyboard remapping never
// touch the developer's desktop or another test's server. DISPLAY points at
// it while it runs.
class XTestServer {
 public:
  // Null, with the reason in *whyNot, when Xvfb will not start.
  static std::unique_ptr<XTestServer> start(std::string* whyNot);
  ~XTestServer() { kill(); }
  XTestServer(const XTestServer&) = delete;
  XTestServer& operator=(const XTestServer&) = delete;

  // Ends the server now, as a crash would.
  void kill();

 private:
  explicit XTestServer(pid_t pid) : pid_(pid) {}
  pid_t pid_;
};
