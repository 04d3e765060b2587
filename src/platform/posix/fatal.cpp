#include "platform/posix/fatal.h"

#include <unistd.h>

#include <exception>
#include <string>

#include "platform/posix/write_all.h"

void exitFatally(std::string_view line) {
  std::string text(line);
  text += '\n';
  writeAll(STDERR_FILENO, text);
  // _exit: other threads may be mid-run, and static destructors must not race them.
  _exit(1);
}

void routeUncaughtExceptionsToExitFatally() {
  std::set_terminate([] {
    std::string line = "varkel: lỗi không lường trước";
    if (auto current = std::current_exception()) {
      try {
        std::rethrow_exception(current);
      } catch (const std::exception& e) {
        line += std::string(": ") + e.what();
      } catch (...) {
      }
    }
    exitFatally(line);
  });
}
