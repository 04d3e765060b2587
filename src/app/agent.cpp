#include "app/agent.h"

#include <unistd.h>

#include "hotkeys/register.h"
#include "platform/desktop.h"
#include "platform/posix/write_all.h"
#include "runner/runner.h"

std::string statusLine(const Settings& settings, bool okCopy, bool okPaste) {
  auto result = [](bool ok) { return ok ? "OK" : "HỎNG"; };
  return "varkel: " + settings.copySpec + " = gửi đi (" + result(okCopy) + "), " +
         settings.pasteSpec + " = lấy về (" + result(okPaste) + ")\n";
}

void hotkeyHandler(Runner& runner, uint32_t id) {
  if (id == copyHotkeyId) {
    runner.push();
  } else if (id == pasteHotkeyId) {
    runner.pull();
  }
}

std::shared_ptr<Runner> startAgent(const Settings& settings, const StartupShortcuts& shortcuts,
                                   Desktop& desktop) {
  if (auto which = desktop.describe(); !which.empty()) {
    writeAll(STDERR_FILENO, "varkel: " + which + "\n");
  }
  auto runner = std::make_shared<Runner>(settings.nodePath, settings.cliPath, desktop.mainQueue(),
                                         desktop.clipboard(), desktop.notifier());
  // The handler holds the runner weakly: the caller's reference keeps it for
  // the life of the loop.
  desktop.hotkeys().setHandler([weak = std::weak_ptr<Runner>(runner)](uint32_t id) {
    if (auto r = weak.lock()) hotkeyHandler(*r, id);
  });
  bool okCopy = dangKy(shortcuts.copy, copyHotkeyId, "gửi đi (" + settings.copySpec + ")",
                       desktop.hotkeys(), desktop.notifier());
  bool okPaste = dangKy(shortcuts.paste, pasteHotkeyId, "lấy về (" + settings.pasteSpec + ")",
                        desktop.hotkeys(), desktop.notifier());
  writeAll(STDOUT_FILENO, statusLine(settings, okCopy, okPaste));
  return runner;
}
