#include "hotkeys/register.h"

#include <unistd.h>

#include "platform/hotkey_system.h"
#include "platform/notifier.h"
#include "platform/posix/write_all.h"

std::string registrationErrorLine(const std::string& ten, int32_t status) {
  return "RegisterEventHotKey lỗi: " + ten + "=" + std::to_string(status) + "\n";
}

bool dangKy(const HotkeySpec& spec, uint32_t id, const std::string& ten, HotkeySystem& system,
            Notifier& notifier) {
  int32_t status = system.registerHotKey(spec, HotkeyId{hotkeySignature, id});
  if (status == 0) return true;
  // Nobody holds the key: the desktop offers no way to register it, so the
  // user binds the command in its settings instead, and no notification
  // blames another application.
  if (std::string command = system.bindInstead(id); !command.empty()) {
    writeAll(STDERR_FILENO, "varkel: không tự đăng ký được phím " + ten +
                                " trên màn hình này; hãy gán phím đó cho lệnh: " + command + "\n");
    return false;
  }
  notifier.showNotification("Phím này có người giữ mất rồi",
                            "Ứng dụng khác đang giữ " + ten + ". Đổi bằng: varkel hotkeys set");
  // The line only informs; a closed standard error changes nothing.
  writeAll(STDERR_FILENO, registrationErrorLine(ten, status));
  return false;
}
