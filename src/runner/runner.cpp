#include "runner/runner.h"

#include <system_error>
#include <thread>
#include <utility>

#include "platform/posix/child_process.h"
#include "platform/posix/error_text.h"
#include "platform/posix/thread_name.h"
#include "runner/dong_loi.h"
#include "text/utf8.h"

namespace {

constexpr const char* failureTitle = "Varkel trượt chân";

std::string validOrEmpty(std::string bytes) {
  return isValidUtf8(bytes) ? std::move(bytes) : std::string();
}

}  // namespace

Runner::Runner(std::string nodePath, std::string cliPath, MainQueue& mainQueue,
               Clipboard& clipboard, Notifier& notifier)
    : nodePath_(std::move(nodePath)),
      cliPath_(std::move(cliPath)),
      mainQueue_(mainQueue),
      clipboard_(clipboard),
      notifier_(notifier) {}

void Runner::push() {
  std::optional<std::string> text = clipboard_.readText();
  if (!text || text->empty()) {
    notifier_.showNotification("Chưa có gì để tung",
                               "Clipboard rỗng (hoặc không phải chữ) — copy một đoạn rồi bấm lại.");
    return;
  }
  chay({"clip", "push", "--stdin"}, std::move(text),
       [weak = weak_from_this()](int32_t status, std::string out, std::string err) {
         auto self = weak.lock();
         if (!self) return;
         if (status == 0) {
           self->notifier_.showNotification("Varkel đã tung Sóng Âm",
                                            "Nội dung đã bay sang các máy khác.");
         } else {
           self->notifier_.showNotification(failureTitle, dongLoi(out, err));
         }
       });
}

void Runner::pull() {
  chay({"clip", "pull", "--print"}, std::nullopt,
       [weak = weak_from_this()](int32_t status, std::string out, std::string err) {
         auto self = weak.lock();
         if (!self) return;
         if (status != 0) {
           self->notifier_.showNotification(failureTitle, dongLoi(out, err));
         } else if (out.empty()) {
           self->notifier_.showNotification("Chưa thấy mục tiêu nào", "Máy kia chưa gửi gì sang.");
         } else {
           // The clipboard belongs to the main thread.
           self->mainQueue_.submit([self, text = std::move(out)]() mutable {
             self->clipboard_.clearContents();
             self->clipboard_.setString(std::move(text));
             self->notifier_.showNotification(
                 "Mục tiêu đã bị khoá",
                 "Truy sát ngay nào! " + std::string(self->clipboard_.pasteKeys()) + " để dán.");
           });
         }
       });
}

void Runner::chay(std::vector<std::string> args, std::optional<std::string> stdinText, Xong xong) {
  if (busy_) return;
  busy_ = true;
  try {
    std::thread([weak = weak_from_this(), args = std::move(args), stdinText = std::move(stdinText),
                 xong = std::move(xong)] {
      nameThisThread("varkel-run");
      auto self = weak.lock();
      if (!self) return;
      self->run(args, stdinText, xong);
      MainQueue& mainQueue = self->mainQueue_;
      mainQueue.submit([self = std::move(self)] { self->busy_ = false; });
    }).detach();
  } catch (const std::system_error& e) {
    // No thread, no run: say so and take the next request.
    busy_ = false;
    reportStartFailure(e.code().value());
  }
}

void Runner::run(const std::vector<std::string>& args, const std::optional<std::string>& stdinText,
                 const Xong& xong) {
  std::vector<std::string> argv;
  argv.reserve(args.size() + 2);
  argv.push_back(nodePath_);
  argv.push_back(cliPath_);
  argv.insert(argv.end(), args.begin(), args.end());
  ChildResult result = runChild(nodePath_, argv, stdinText);
  if (result.startError != 0) {
    reportStartFailure(result.startError);
    return;
  }
  xong(result.status, validOrEmpty(std::move(result.out)), validOrEmpty(std::move(result.err)));
}

void Runner::reportStartFailure(int error) {
  notifier_.showNotification(failureTitle, "Không chạy được varkel: " + errorText(error));
}
