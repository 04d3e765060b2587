/* The clipboard tool as scripts/bench sees it: started as
 *
 *   varkel-bench-tool [STATE] clip push --stdin   reads standard input to its end
 *   varkel-bench-tool [STATE] clip pull --print   prints STATE/inbox
 *
 * STATE defaults to $VARKEL_BENCH_STATE, for when the tool is started as a script would be,
 * through /usr/bin/env with the arguments that follow the script's path.
 *
 * Its first instruction and the end of its work are timed on CLOCK_MONOTONIC, the clock the
 * bench reads when it presses a key, and reported as one line on the FIFO STATE/records:
 *
 *   push START_NS END_NS BYTES BYTE_SUM
 *   pull START_NS END_NS BYTES BYTE_SUM
 *
 * The byte count and sum let the bench check that every byte arrived. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

enum { kChunk = 1 << 20 };

static unsigned char buffer[kChunk];

static int64_t nowNs(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (int64_t)t.tv_sec * 1000000000 + t.tv_nsec;
}

static uint64_t byteSum(const unsigned char* p, size_t n) {
  uint64_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum += p[i];
  return sum;
}

static int writeAll(int fd, const unsigned char* p, size_t n) {
  while (n > 0) {
    ssize_t written = write(fd, p, n);
    if (written < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    p += written;
    n -= (size_t)written;
  }
  return 0;
}

/* Copies from to to (when to >= 0) until the end of from, counting and summing the bytes. */
static int drain(int from, int to, uint64_t* count, uint64_t* sum) {
  for (;;) {
    ssize_t got = read(from, buffer, kChunk);
    if (got == 0) return 0;
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    *count += (uint64_t)got;
    *sum += byteSum(buffer, (size_t)got);
    if (to >= 0 && writeAll(to, buffer, (size_t)got) != 0) return -1;
  }
}

static void report(const char* state, const char* verb, int64_t start, int64_t end, uint64_t count,
                   uint64_t sum) {
  char path[4096];
  char line[256];
  snprintf(path, sizeof path, "%s/records", state);
  /* Without a reader there is nobody to tell: never block on the FIFO. */
  int fd = open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  int length = snprintf(line, sizeof line, "%s %lld %lld %llu %llu\n", verb, (long long)start,
                        (long long)end, (unsigned long long)count, (unsigned long long)sum);
  /* Shorter than PIPE_BUF, so one write puts the line whole into the FIFO. */
  if (write(fd, line, (size_t)length) != length) perror("varkel-bench-tool: records");
  close(fd);
}

int main(int argc, char** argv) {
  const int64_t start = nowNs();
  uint64_t count = 0;
  uint64_t sum = 0;
  const char* state = argc == 5 ? argv[1] : getenv("VARKEL_BENCH_STATE");
  char** args = (argc == 4 || argc == 5) && state ? argv + argc - 3 : NULL;
  if (args && strcmp(args[0], "clip") != 0) args = NULL;
  if (args && strcmp(args[1], "push") == 0 && strcmp(args[2], "--stdin") == 0) {
    if (drain(STDIN_FILENO, -1, &count, &sum) != 0) {
      perror("varkel-bench-tool: reading standard input");
      return 1;
    }
    report(state, "push", start, nowNs(), count, sum);
    return 0;
  }
  if (args && strcmp(args[1], "pull") == 0 && strcmp(args[2], "--print") == 0) {
    char path[4096];
    snprintf(path, sizeof path, "%s/inbox", state);
    int inbox = open(path, O_RDONLY | O_CLOEXEC);
    if (inbox < 0 || drain(inbox, STDOUT_FILENO, &count, &sum) != 0) {
      perror("varkel-bench-tool: printing the inbox");
      return 1;
    }
    close(inbox);
    report(state, "pull", start, nowNs(), count, sum);
    return 0;
  }
  fputs("usage: varkel-bench-tool [STATE] clip push --stdin | [STATE] clip pull --print\n", stderr);
  return 2;
}
