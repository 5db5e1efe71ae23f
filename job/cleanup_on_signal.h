#pragma once

#include <csignal>
#include <string>

namespace sievetext {

// Temporary files that must not outlive the process. A file being written is
// registered from its creation until it has been renamed into place or
// removed, so that a terminating signal, or the window ending the process in
// a hurry, removes it instead of leaving a partial hidden file behind.
//
// Several files may be live at once (one per converting thread). The paths
// are kept in a fixed table, ready for unlink(2), so that removing them is
// async-signal-safe.
class LiveTemporary {
 public:
  // Registers `path`. A path too long for the table, or a full table, is not
  // registered; the file is then only removed by its writer.
  explicit LiveTemporary(const std::string& path) noexcept;
  // Forgets the path; does not remove the file.
  ~LiveTemporary();
  LiveTemporary(const LiveTemporary&) = delete;
  LiveTemporary& operator=(const LiveTemporary&) = delete;

 private:
  int slot_ = -1;
};

// Removes every registered temporary file now. Safe in a signal handler. A
// writer whose file was removed under it finds out when it renames it.
void RemoveLiveTemporaries() noexcept;

// How many temporary files are registered (for tests).
int LiveTemporaryCount() noexcept;

// Installs the process's signal handling, once, early in main():
//  - SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGALRM, SIGUSR1 and SIGUSR2
//    remove the live temporaries and then end the process by the same signal,
//    with its default action, so that the parent sees what happened. A signal
//    that is ignored on entry (nohup) stays ignored.
//  - SIGXFSZ is ignored: a write past the file-size limit then fails with
//    EFBIG and is reported like any failed write.
void InstallCleanupOnSignal();

// Blocks the signals above in the calling thread for its lifetime, so that a
// file can be created and registered with no signal in between.
class CleanupSignalsHeld {
 public:
  CleanupSignalsHeld() noexcept;
  ~CleanupSignalsHeld();
  CleanupSignalsHeld(const CleanupSignalsHeld&) = delete;
  CleanupSignalsHeld& operator=(const CleanupSignalsHeld&) = delete;

 private:
  sigset_t saved_{};
};

}  // namespace sievetext
