#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/clipboard.h"
#include "platform/notifier.h"

struct Notice {
  std::string title;
  std::string body;
  std::thread::id thread;

  // The thread is looked at only by the tests that care about it.
  bool operator==(const Notice& other) const { return title == other.title && body == other.body; }
};

// Records every notification, from whichever thread shows it.
class RecordingNotifier : public Notifier {
 public:
  void showNotification(const std::string& title, const std::string& body) override {
    std::lock_guard lock(mutex_);
    notices_.push_back({title, body, std::this_thread::get_id()});
  }
  std::vector<Notice> notices() const {
    std::lock_guard lock(mutex_);
    return notices_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Notice> notices_;
};

// An in-memory clipboard that logs what was done to it and notes any call
// made off the thread that created it.
class FakeClipboard : public Clipboard {
 public:
  std::optional<std::string> text;
  std::vector<std::string> log;
  bool calledOffMainThread = false;
  // Called after each write, while the writer is still on the stack.
  std::function<void()> onWrite;

  std::optional<std::string> readText() override {
    check();
    log.push_back("read");
    return text;
  }
  void clearContents() override {
    check();
    log.push_back("clear");
    text.reset();
  }
  void setString(std::string value) override {
    check();
    log.push_back("set");
    text = std::move(value);
    if (onWrite) onWrite();
  }
  std::string_view pasteKeys() const override { return "Ctrl+V"; }

 private:
  void check() {
    if (std::this_thread::get_id() != mainThread_) calledOffMainThread = true;
  }

  std::thread::id mainThread_ = std::this_thread::get_id();
};
