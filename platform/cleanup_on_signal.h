#pragma once

#include <csignal>
#include <string>

namespace sievetext {

// Temporary files that must not outlive the process. A file being written is
// registered from its creation until it has been renamed into place or
// removed, so that a terminating signal, or the window ending the process in
// a hurry, removes it instead of leaving a partial hidden file behind.
//
// Several files may be live at once (one per converting thread). Each is
// kept in a fixed table as its open folder and its name, ready for
// unlinkat(2), so that removing them is async-signal-safe.
class LiveTemporary {
 public:
  // Registers the file `name` in the open folder `folder`, which must stay
  // open while registered. A name too long for the table, or a full table,
  // is not registered; the file is then only removed by its writer.
  LiveTemporary(int folder, const std::string& name) noexcept;
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

// For the end of the process: from now on no temporary file is created
// (TemporaryCreation::allowed() is false), files being created on other
// threads are waited for, and then every registered one is removed. Safe in
// a signal handler.
void EndLiveTemporaries() noexcept;

// Brackets the creation and registration of one temporary file, with the
// signals above blocked in this thread: either EndLiveTemporaries() waits
// for the file to be registered, or the file is not created at all.
class TemporaryCreation {
 public:
  TemporaryCreation() noexcept;
  ~TemporaryCreation();
  TemporaryCreation(const TemporaryCreation&) = delete;
  TemporaryCreation& operator=(const TemporaryCreation&) = delete;

  // False once the process is ending: create nothing.
  bool allowed() const { return allowed_; }

 private:
  sigset_t saved_{};
  bool allowed_ = false;
};

// How many temporary files are registered (for tests).
int LiveTemporaryCount() noexcept;

// Installs the process's signal handling, once, early in main():
//  - SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGALRM, SIGUSR1 and SIGUSR2
//    end the live temporaries (EndLiveTemporaries) and then end the process by the same signal,
//    with its default action, so that the parent sees what happened. A signal
//    that is ignored on entry (nohup) stays ignored.
//  - SIGXFSZ is ignored: a write past the file-size limit then fails with
//    EFBIG and is reported like any failed write.
void InstallCleanupOnSignal();

}  // namespace sievetext
