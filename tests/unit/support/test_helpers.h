#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/linux/event_loop.h"
#include "platform/posix/child_process.h"
#include "platform/posix/unique_fd.h"
#include "runner/runner.h"

// A fresh directory under the system's temporary folder, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "varkel-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
      throw std::system_error(errno, std::system_category());
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string path(const std::string& name) const { return (path_ / name).string(); }
  std::string write(const std::string& name, const std::string& bytes) const {
    std::ofstream(path_ / name, std::ios::binary) << bytes;
    return path(name);
  }
  // A /bin/sh script that runs in this directory.
  std::string script(const std::string& name, const std::string& body) const {
    write(name, "#!/bin/sh\ncd \"${0%/*}\"\n" + body + "\n");
    std::filesystem::permissions(path_ / name, std::filesystem::perms::owner_all);
    return path(name);
  }
  std::string fifo(const std::string& name) const {
    if (::mkfifo(path(name).c_str(), 0600) != 0)
      throw std::system_error(errno, std::system_category());
    return path(name);
  }
  std::string read(const std::string& name) const {
    std::ostringstream bytes;
    bytes << std::ifstream(path_ / name, std::ios::binary).rdbuf();
    return bytes.str();
  }

 private:
  std::filesystem::path path_;
};

// Reads a FIFO until its writer closes it; nothing after a minute.
inline std::optional<std::string> readFifo(const std::string& path) {
  // Opening without O_NONBLOCK would wait for a writer with no time limit.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  std::string text;
  while (fd) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{fd.get(), POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[4096];
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n == 0) return text;
    if (n > 0) text.append(buffer, static_cast<size_t>(n));
  }
  return std::nullopt;
}

// runChild on its own thread, so that a run that never ends fails the test
// after a minute instead of hanging it.
inline std::optional<ChildResult> runChildBounded(const std::string& path,
                                                  const std::vector<std::string>& argv,
                                                  const std::optional<std::string>& input) {
  auto promise = std::make_shared<std::promise<ChildResult>>();
  auto result = promise->get_future();
  std::thread([=] { promise->set_value(runChild(path, argv, input)); }).detach();
  if (result.wait_for(std::chrono::minutes(1)) != std::future_status::ready) return std::nullopt;
  return result.get();
}

// Open descriptors of this process.
inline int openFdCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

// Children of this process still in the process table, zombies included.
inline int childCount() {
  int count = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream children(task.path() / "children");
    for (int pid; children >> pid;) ++count;
  }
  return count;
}

// Checks cond every few milliseconds until it holds or ten seconds pass; only
// for what no event announces, such as a child reaped by another thread.
inline bool waitUntil(const std::function<bool()>& cond) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!cond()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Drives a real EventLoop on the test's thread until a condition holds.
class LoopDriver {
 public:
  LoopDriver() {
    loop_.watch(timer_.get(), [this] { loop_.stop(); });
    loop_.beforeSleep([this] {
      if (done_ && done_()) loop_.stop();
    });
  }

  EventLoop& loop() { return loop_; }
  // Runs the loop until done() holds, checked before every sleep. False when
  // a minute passed first.
  bool runUntil(std::function<bool()> done) {
    done_ = std::move(done);
    itimerspec limit{};
    limit.it_value.tv_sec = 60;
    ::timerfd_settime(timer_.get(), 0, &limit, nullptr);
    loop_.run();
    const itimerspec disarm{};
    ::timerfd_settime(timer_.get(), 0, &disarm, nullptr);
    return done_();
  }

 private:
  EventLoop loop_;
  UniqueFd timer_{::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK)};
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
