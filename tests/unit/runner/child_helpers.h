#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/event_loop.h"
#include "platform/posix/child_process.h"
#include "platform/posix/unique_fd.h"
#include "runner/runner.h"

// A fresh directory under the system's temporary folder, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::filesystem::path path(const std::string& name) const { return path_ / name; }
  // Writes bytes to name; returns its path.
  std::string write(const std::string& name, const std::string& bytes) const;
  // Writes a /bin/sh script; returns its path.
  std::string script(const std::string& name, const std::string& body) const;
  std::string fifo(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);
std::string shellQuoted(const std::string& text);

// Reads a FIFO until its writer closes it; nothing after the time limit.
std::optional<std::string> readFifo(const std::string& path,
                                    std::chrono::seconds limit = std::chrono::seconds(60));

// runChild on its own thread, so that a run that never ends fails the test
// after the time limit instead of hanging it.
std::optional<ChildResult> runChildBounded(const std::string& path,
                                           const std::vector<std::string>& argv,
                                           const std::optional<std::string>& input,
                                           std::chrono::seconds limit = std::chrono::seconds(60));

// Open descriptors of this process.
int openFdCount();
// Children of this process still in the process table, zombies included.
int childCount();
// Checks cond every few milliseconds until it holds or ten seconds pass; only
// for what no event announces, such as a child reaped by another thread.
bool waitUntil(const std::function<bool()>& cond);

// Drives a real EventLoop on the test's thread until a condition holds.
class LoopDriver {
 public:
  LoopDriver();

  EventLoop& loop() { return loop_; }
  // Runs the loop until done() holds, checked before every sleep. False when
  // the time limit passed first.
  bool runUntil(std::function<bool()> done, std::chrono::seconds limit = std::chrono::seconds(60));

 private:
  EventLoop loop_;
  UniqueFd timer_;
  std::function<bool()> done_;
};

class RunnerTestPeer {
 public:
  static void chay(Runner& runner, std::vector<std::string> args,
                   std::optional<std::string> stdinText, Runner::Xong xong) {
    runner.chay(std::move(args), std::move(stdinText), std::move(xong));
  }
  static bool busy(const Runner& runner) { return runner.busy_; }
};
