#include "runner/child_helpers.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <future>
#include <sstream>
#include <system_error>
#include <thread>

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "varkel-runner-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::system_error(errno, std::generic_category(), "mkdtemp");
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string& name, const std::string& bytes) const {
  fs::path file = path_ / name;
  std::ofstream(file, std::ios::binary) << bytes;
  return file.string();
}

std::string TempDir::script(const std::string& name, const std::string& body) const {
  std::string file = write(name, "#!/bin/sh\n" + body + "\n");
  fs::permissions(file, fs::perms::owner_all);
  return file;
}

std::string TempDir::fifo(const std::string& name) const {
  std::string file = (path_ / name).string();
  if (::mkfifo(file.c_str(), 0600) != 0) {
    throw std::system_error(errno, std::generic_category(), "mkfifo");
  }
  return file;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string shellQuoted(const std::string& text) {
  std::string result = "'";
  for (char c : text) {
    if (c == '\'') {
      result += "'\\''";
    } else {
      result += c;
    }
  }
  return result + "'";
}

std::optional<std::string> readFifo(const std::string& path, std::chrono::seconds limit) {
  // Opening without O_NONBLOCK would wait for a writer with no time limit.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) return std::nullopt;
  auto deadline = std::chrono::steady_clock::now() + limit;
  std::string text;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd p{fd.get(), POLLIN, 0};
    int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready <= 0) continue;
    char buffer[4096];
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n == 0) return text;
    if (n > 0) text.append(buffer, static_cast<size_t>(n));
  }
}

std::optional<ChildResult> runChildBounded(const std::string& path,
                                           const std::vector<std::string>& argv,
                                           const std::optional<std::string>& input,
                                           std::chrono::seconds limit) {
  auto promise = std::make_shared<std::promise<ChildResult>>();
  auto result = promise->get_future();
  std::thread([promise, path, argv, input] {
    promise->set_value(runChild(path, argv, input));
  }).detach();
  if (result.wait_for(limit) != std::future_status::ready) return std::nullopt;
  return result.get();
}

int openFdCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

int childCount() {
  int count = 0;
  for (const auto& task : fs::directory_iterator("/proc/self/task")) {
    std::ifstream children(task.path() / "children");
    int pid;
    while (children >> pid) ++count;
  }
  return count;
}

bool waitUntil(const std::function<bool()>& cond) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!cond()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

LoopDriver::LoopDriver() : timer_(::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK)) {
  if (!timer_) throw std::system_error(errno, std::generic_category(), "timerfd_create");
  loop_.watch(timer_.get(), [this] {
    uint64_t expirations;
    [[maybe_unused]] auto n = ::read(timer_.get(), &expirations, sizeof expirations);
    loop_.stop();
  });
  loop_.beforeSleep([this] {
    if (done_ && done_()) loop_.stop();
  });
}

bool LoopDriver::runUntil(std::function<bool()> done, std::chrono::seconds limit) {
  done_ = std::move(done);
  itimerspec arm{};
  arm.it_value.tv_sec = limit.count();
  ::timerfd_settime(timer_.get(), 0, &arm, nullptr);
  loop_.run();
  itimerspec disarm{};
  ::timerfd_settime(timer_.get(), 0, &disarm, nullptr);
  bool reached = done_();
  done_ = nullptr;
  return reached;
}
