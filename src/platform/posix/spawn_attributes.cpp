#include "platform/posix/spawn_attributes.h"

#include <csignal>

SpawnAttributes::SpawnAttributes() {
  posix_spawnattr_init(&attr_);
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attr_, &all);
  posix_spawnattr_setsigmask(&attr_, &none);
  short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
#if defined(__APPLE__)
  // The child gets its three standard descriptors and nothing else.
  flags |= POSIX_SPAWN_CLOEXEC_DEFAULT;
#endif
  posix_spawnattr_setflags(&attr_, flags);
}

SpawnAttributes::~SpawnAttributes() {
  posix_spawnattr_destroy(&attr_);
}

SpawnFileActions::SpawnFileActions(const std::vector<Redirect>& redirects) {
  posix_spawn_file_actions_init(&actions_);
  for (const auto& r : redirects) posix_spawn_file_actions_adddup2(&actions_, r.fd, r.target);
    // The child gets its three standard descriptors and nothing else, also
    // those the agent inherited without close-on-exec. Elsewhere only the
    // agent's own descriptors, all close-on-exec, are kept from it.
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
  posix_spawn_file_actions_addclosefrom_np(&actions_, 3);
#endif
}

SpawnFileActions::~SpawnFileActions() {
  posix_spawn_file_actions_destroy(&actions_);
}

std::vector<char*> argumentPointers(const std::vector<std::string>& argv) {
  std::vector<char*> pointers;
  pointers.reserve(argv.size() + 1);
  for (const auto& arg : argv) pointers.push_back(const_cast<char*>(arg.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}
