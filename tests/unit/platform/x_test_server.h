#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/x11/x_connection.h"

// A private Xvfb for one test, so that grabs and keyboard remapping never
// touch the developer's desktop or another test's server. DISPLAY points at
// it while it runs.
class XTestServer {
 public:
  // Null, with the reason in *whyNot, when Xvfb will not start.
  static std::unique_ptr<XTestServer> start(std::string* whyNot);
  ~XTestServer();
  XTestServer(const XTestServer&) = delete;
  XTestServer& operator=(const XTestServer&) = delete;

 private:
  explicit XTestServer(pid_t pid) : pid_(pid) {}
  pid_t pid_;
};

// A test with its own X server and the agent's connection x_ to it.
class XServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string whyNot;
    server_ = XTestServer::start(&whyNot);
    if (!server_) GTEST_SKIP() << whyNot;
    x_ = connect();
  }

  // A connection of its own, as another client has.
  static std::unique_ptr<XConnection> connect() {
    std::string error;
    auto x = XConnection::open(&error);
    EXPECT_TRUE(x) << error;
    return x;
  }

  std::unique_ptr<XTestServer> server_;
  std::unique_ptr<XConnection> x_;
};

inline uint8_t typeOf(const xcb_generic_event_t& e) {
  return e.response_type & 0x7f;
}

// Dispatches x's events until done() holds, waking on X events and on the
// given descriptors; false if 30 seconds pass first.
bool serveUntil(XConnection& x, const std::function<bool()>& done, std::vector<int> fds = {});

// The next event of the type on x, earlier ones kept; null after 30 seconds.
XEvent nextEvent(XConnection& x, uint8_t type);

// Returns once the server has carried out every request sent on x so far;
// requests of different clients are otherwise in no set order.
void sync(XConnection& x);
