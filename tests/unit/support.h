#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/clipboard.h"
#include "platform/linux/event_loop.h"
#include "platform/notifier.h"
#include "platform/posix/unique_fd.h"
#include "texts.h"

// A fresh folder, removed with all in it when the object goes.
class TempDir {
 public:
  std::string path(const std::string& name) const { return path_ + "/" + name; }
  // A /bin/sh script.
  std::string script(const std::string& name, const std::string& body) const {
    std::ofstream(path(name)) << "#!/bin/sh\n" << body << "\n";
    std::filesystem::permissions(path(name), std::filesystem::perms::owner_all);
    return path(name);
  }
  std::string fifo(const std::string& name) const {
    ::mkfifo(path(name).c_str(), 0600);
    return path(name);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }

 private:
  std::string template_ = std::filesystem::temp_directory_path() / "varkel-XXXXXX";
  std::string path_ = ::mkdtemp(template_.data());
};

// Opening a FIFO for writing waits until a child has it open for reading: the sign that the
// child reached it. Closing the end lets the child read on.
inline UniqueFd reached(const std::string& fifo) {
  return UniqueFd(::open(fifo.c_str(), O_WRONLY | O_CLOEXEC));
}

// Runs a real event loop on the test's thread until done() holds, checked before every sleep.
class LoopDriver {
 public:
  LoopDriver() {
    loop.beforeSleep([this] {
      if (done_()) loop.stop();
    });
  }
  void runUntil(std::function<bool()> done) {
    done_ = std::move(done);
    loop.run();
  }
  EventLoop loop;

 private:
  std::function<bool()> done_ = [] { return false; };
};

using Notice = std::pair<std::string, std::string>;

class RecordingNotifier : public Notifier {
 public:
  void showNotification(const std::string& title, const std::string& body) override {
    std::lock_guard lock(mutex_);
    notices_.emplace_back(title, body);
  }
  std::vector<Notice> notices() const {
    std::lock_guard lock(mutex_);
    return notices_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Notice> notices_;
};

// An in-memory clipboard that logs what is done to it and notes calls off its own thread.
class FakeClipboard : public Clipboard {
 public:
  std::optional<std::string> readText() override { return note("read"), text; }
  void clearContents() override { note("clear"), text.reset(); }
  void setString(std::string value) override { note("set"), text = std::move(value), onWrite(); }
  std::string_view pasteKeys() const override { return "Ctrl+V"; }

  std::optional<std::string> text;
  std::vector<std::string> log;
  bool offMainThread = false;
  std::function<void()> onWrite = [] {};

 private:
  void note(const char* what) {
    log.push_back(what);
    offMainThread = offMainThread || std::this_thread::get_id() != mainThread_;
  }
  std::thread::id mainThread_ = std::this_thread::get_id();
};
