#include "platform/posix/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <string_view>

#include "platform/posix/output_collector.h"
#include "platform/posix/spawn_attributes.h"
#include "platform/posix/unique_fd.h"

extern char** environ;

namespace {

struct Pipe {
  UniqueFd read;
  UniqueFd write;
};

// A descriptor at 3 or above, close-on-exec. Keeping pipes clear of 0, 1 and
// 2 (free when the agent was started with them closed) means the child's dup2
// onto them can never overwrite another pipe end.
int aboveStandardFds(int fd) {
  if (fd > STDERR_FILENO) return fd;
  int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  int saved = errno;
  ::close(fd);
  errno = saved;
  return moved;
}

// Returns 0 or the errno of the failure.
int makePipe(Pipe& pipe) {
  int fds[2];
#if defined(O_CLOEXEC) && defined(_GNU_SOURCE) && defined(__linux__)
  if (::pipe2(fds, O_CLOEXEC) != 0) return errno;
#else
  // Another thread's spawn between these calls keeps the pipe all the same:
  // every spawn of the agent closes the descriptors above 2.
  if (::pipe(fds) != 0) return errno;
  ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  ::fcntl(fds[1], F_SETFD, FD_CLOEXEC);
#endif
  pipe.read.reset(aboveStandardFds(fds[0]));
  pipe.write.reset(aboveStandardFds(fds[1]));
  if (!pipe.read || !pipe.write) return errno;
#if defined(F_SETPIPE_SZ)
  // Large texts cross the pipes in fewer, larger steps, with fewer switches
  // between the agent and the child than the default 64 KiB allow.
  constexpr int pipeBytes = 1 << 20;
  // Bounded by /proc/sys/fs/pipe-max-size and the user's pipe allowance; a
  // refusal leaves the pipe as it was, which works, only slower.
  ::fcntl(pipe.write.get(), F_SETPIPE_SZ, pipeBytes);
#endif
  return 0;
}

void setNonBlocking(int fd) {
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

// Blocks SIGPIPE on this thread while it writes to a child that may stop
// reading, so that a broken pipe shows up as EPIPE whatever the process's
// disposition; on the way out it swallows the SIGPIPE such a write left
// pending and restores the mask.
class SigpipeBlock {
 public:
  SigpipeBlock() {
    sigemptyset(&pipeOnly_);
    sigaddset(&pipeOnly_, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipeOnly_, &previous_);
  }
  ~SigpipeBlock() {
    sigset_t pending;
    if (!sigismember(&previous_, SIGPIPE) && ::sigpending(&pending) == 0 &&
        sigismember(&pending, SIGPIPE)) {
      timespec now{};
      ::sigtimedwait(&pipeOnly_, nullptr, &now);
    }
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  SigpipeBlock(const SigpipeBlock&) = delete;
  SigpipeBlock& operator=(const SigpipeBlock&) = delete;

 private:
  sigset_t pipeOnly_;
  sigset_t previous_;
};

bool retryLater(int error) {
  return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

// Feeds input and drains both outputs in one poll loop, so that no pipe can
// stall another, until the child has closed both outputs. The input end is
// closed once written, or as soon as the child stops reading.
void exchange(UniqueFd input, std::string_view bytes, UniqueFd out, std::string& outBytes,
              UniqueFd err, std::string& errBytes) {
  SigpipeBlock sigpipeBlock;
  if (bytes.empty()) input.reset();
  for (UniqueFd* fd : {&input, &out, &err}) {
    if (*fd) setNonBlocking(fd->get());
  }
  OutputCollector outCollector;
  OutputCollector errCollector;
  auto drain = [](UniqueFd& fd, OutputCollector& collector) {
    if (!collector.readFrom(fd.get())) fd.reset();
  };
  while (input || out || err) {
    pollfd fds[3];
    nfds_t count = 0;
    auto add = [&fds, &count](const UniqueFd& fd, short events) {
      if (!fd) return -1;
      fds[count] = {fd.get(), events, 0};
      return static_cast<int>(count++);
    };
    const int inputAt = add(input, POLLOUT);
    const int outAt = add(out, POLLIN);
    const int errAt = add(err, POLLIN);
    if (::poll(fds, count, -1) < 0) {
      if (errno == EINTR) continue;
      // poll only fails here for want of kernel memory: give up on the
      // streams rather than spin; the child sees its pipes close.
      break;
    }
    if (inputAt >= 0 && fds[inputAt].revents != 0) {
      ssize_t n = ::write(input.get(), bytes.data(), bytes.size());
      if (n > 0) {
        bytes.remove_prefix(static_cast<size_t>(n));
        if (bytes.empty()) input.reset();
      } else if (n < 0 && !retryLater(errno)) {
        input.reset();
      }
    }
    if (outAt >= 0 && fds[outAt].revents != 0) drain(out, outCollector);
    if (errAt >= 0 && fds[errAt].revents != 0) drain(err, errCollector);
  }
  outBytes = outCollector.take();
  errBytes = errCollector.take();
}

int32_t waitForExit(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    // Only reachable when the child was reaped behind our back (SIGCHLD
    // ignored): its status is lost, which must not pass for success.
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

ChildResult runChild(const std::string& path, const std::vector<std::string>& argv,
                     const std::optional<std::string>& input) {
  ChildResult result;
  Pipe inPipe, outPipe, errPipe;
  if (input) result.startError = makePipe(inPipe);
  if (result.startError == 0) result.startError = makePipe(outPipe);
  if (result.startError == 0) result.startError = makePipe(errPipe);
  if (result.startError != 0) return result;

  std::vector<SpawnFileActions::Redirect> redirects = {{outPipe.write.get(), STDOUT_FILENO},
                                                       {errPipe.write.get(), STDERR_FILENO}};
  if (input) redirects.push_back({inPipe.read.get(), STDIN_FILENO});
  SpawnFileActions actions(redirects);
  SpawnAttributes attributes;
  std::vector<char*> args = argumentPointers(argv);

  pid_t pid;
  result.startError =
      ::posix_spawn(&pid, path.c_str(), actions.get(), attributes.get(), args.data(), environ);
  if (result.startError != 0) return result;

  // Our copies of the child's ends must go, or the outputs never reach end
  // of file and the child never sees the end of its input.
  inPipe.read.reset();
  outPipe.write.reset();
  errPipe.write.reset();
  exchange(std::move(inPipe.write), input ? std::string_view(*input) : std::string_view(),
           std::move(outPipe.read), result.out, std::move(errPipe.read), result.err);
  result.status = waitForExit(pid);
  return result;
}
