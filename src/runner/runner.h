#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/clipboard.h"
#include "platform/main_queue.h"
#include "platform/notifier.h"

// Runs the clipboard tool, one run at a time, off the main thread, and carries
// out the push and pull flows. Create it with std::make_shared: each run holds
// the runner while it lasts.
class Runner : public std::enable_shared_from_this<Runner> {
 public:
  Runner(std::string nodePath, std::string cliPath, MainQueue& mainQueue, Clipboard& clipboard,
         Notifier& notifier);

  const std::string& nodePath() const { return nodePath_; }
  const std::string& cliPath() const { return cliPath_; }

  // Main thread. Sends the clipboard's text to the tool.
  void push();
  // Main thread. Puts the text the tool fetches on the clipboard.
  void pull();

 private:
  friend class RunnerTestPeer;

  // Runs on the worker thread with the exit status and both output streams.
  using Xong = std::function<void(int32_t status, std::string out, std::string err)>;

  // Main thread. Drops the request while a run is under way; otherwise starts
  // the run on a worker thread and returns at once. busy stays set until the
  // main queue has run everything xong submitted.
  void chay(std::vector<std::string> args, std::optional<std::string> stdinText, Xong xong);
  void run(const std::vector<std::string>& args, const std::optional<std::string>& stdinText,
           const Xong& xong);
  void reportStartFailure(int error);

  const std::string nodePath_;
  const std::string cliPath_;
  MainQueue& mainQueue_;
  Clipboard& clipboard_;
  Notifier& notifier_;
  bool busy_ = false;
};
