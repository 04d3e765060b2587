#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>

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
struct TempDir {
  std::string path(const std::string& name) const { return base + "/" + name; }
  std::string script(const std::string& name, const std::string& body) const {
    std::ofstream(path(name)) << "#!/bin/sh\n" << body << "\n";
    std::filesystem::permissions(path(name), std::filesystem::perms::owner_all);
    return path(name);
  }
  std::string fifo(const std::string& name) const {
    return ::mkfifo(path(name).c_str(), 0600), path(name);
  }
  ~TempDir() { std::filesystem::remove_all(base); }

  std::string pattern = std::filesystem::temp_directory_path() / "varkel-XXXXXX";
  const std::string base = ::mkdtemp(pattern.data());
};

// Opening a FIFO for writing waits until a child has opened it to read: the sign that the child
// reached it. Closing the end lets the child read on.
inline UniqueFd reached(const std::string& fifo) {
  return UniqueFd(::open(fifo.c_str(), O_WRONLY | O_CLOEXEC));
}

// Runs a real event loop on the test's thread until done() holds, checked before every sleep.
struct LoopDriver {
  LoopDriver() {
    loop.beforeSleep([this] { done() ? loop.stop() : void(); });
  }
  void runUntil(std::function<bool()> until) { done = std::move(until), loop.run(); }
  EventLoop loop;
  std::function<bool()> done = [] { return false; };
};

using Notice = std::pair<std::string, std::string>;

struct RecordingNotifier : Notifier {
  void showNotification(const std::string& title, const std::string& body) override {
    std::lock_guard lock(mutex);
    notices.emplace_back(title, body);
  }
  std::mutex mutex;
  std::vector<Notice> notices;
};

// An in-memory clipboard that logs what is done to it and notes calls off its own thread.
struct FakeClipboard : Clipboard {
  std::optional<std::string> readText() override { return note("read"), text; }
  void clearContents() override { note("clear"), text.reset(); }
  void setString(std::string value) override { note("set"), text = std::move(value), onWrite(); }
  void note(const char* what) {
    log.push_back(what);
    offMainThread = offMainThread || std::this_thread::get_id() != mainThread;
  }
  std::string_view pasteKeys() const override { return "Ctrl+V"; }

  std::optional<std::string> text;
  std::vector<std::string> log;
  bool offMainThread = false;
  std::function<void()> onWrite = [] {};
  const std::thread::id mainThread = std::this_thread::get_id();
};
