#pragma once

#include <spawn.h>

#include <string>
#include <vector>

// posix_spawn attributes for a child that starts clean: every signal at its
// default disposition (the agent ignores SIGPIPE) and none blocked.
class SpawnAttributes {
 public:
  SpawnAttributes();
  ~SpawnAttributes();
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  const posix_spawnattr_t* get() const { return &attr_; }

 private:
  posix_spawnattr_t attr_;
};

// posix_spawn file actions: each {fd, target} pair makes fd the child's
// descriptor target (0, 1 or 2); then every descriptor above 2 is closed, so
// that the child inherits nothing else of the agent's.
class SpawnFileActions {
 public:
  struct Redirect {
    int fd;
    int target;
  };
  explicit SpawnFileActions(const std::vector<Redirect>& redirects = {});
  ~SpawnFileActions();
  SpawnFileActions(const SpawnFileActions&) = delete;
  SpawnFileActions& operator=(const SpawnFileActions&) = delete;
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

// argv as posix_spawn takes it: pointers into the strings, then null.
std::vector<char*> argumentPointers(const std::vector<std::string>& argv);
