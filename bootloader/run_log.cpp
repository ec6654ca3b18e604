#include "run_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace {

/// How long a launch waits for another one to finish writing the log: far longer than any launch
/// needs, and short enough that a stuck or stopped process cannot hold up the simulation.
constexpr int lockAttempts = 1000;
constexpr timespec lockRetryPause{0, 1000 * 1000};  // one millisecond

/// Takes the log's lock, so that each launch writes and cuts the log alone: overlapping, one run's
/// cut could shorten another's log, or lengthen it with NUL bytes. A holder that does not let go
/// within about a second is passed by, and a file system without locks (ENOLCK) is written without
/// one: the log only records the run, and must never keep the simulation from starting.
void lockAgainstOverlappingLaunches(int descriptor) {
  for (int attempt = 0; attempt < lockAttempts; ++attempt) {
    if (flock(descriptor, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) {
      return;
    }
    nanosleep(&lockRetryPause, nullptr);
  }
}

/// Writes all of `content`, ignoring errors: the log only records the run, and a full disk or a
/// file-size limit must not keep the simulation from starting. Returns the number of bytes written.
std::size_t writeIgnoringErrors(int descriptor, std::string_view content) {
  std::size_t written = 0;
  while (written < content.size()) {
    const ssize_t got = write(descriptor, content.data() + written, content.size() - written);
    if (got < 0 && errno == EAGAIN) {
      // The log is a FIFO whose reader is slow: it was opened without waiting for a reader, and
      // now that there is one, the rest may wait for it.
      if (fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) != 0) {
        break;
      }
      continue;
    }
    if (got <= 0) {
      break;
    }
    written += static_cast<std::size_t>(got);
  }
  return written;
}

}  // namespace

HeldWriteSignals::HeldWriteSignals() {
  sigset_t held;
  sigemptyset(&held);
  sigaddset(&held, SIGPIPE);
  sigaddset(&held, SIGXFSZ);
  sigprocmask(SIG_BLOCK, &held, &callersMask_);
  sigset_t pending;
  sigpending(&pending);
  raisedHere_ = held;
  for (const int signal : {SIGPIPE, SIGXFSZ}) {
    if (sigismember(&pending, signal) == 1) {
      sigdelset(&raisedHere_, signal);
    }
  }
}

HeldWriteSignals::~HeldWriteSignals() {
  // Each call takes back one pending signal of the set without waiting; -1 says none is left.
  const timespec noWait{};
  while (sigtimedwait(&raisedHere_, nullptr, &noWait) != -1) {
  }
  sigprocmask(SIG_SETMASK, &callersMask_, nullptr);
}

void scanLogOptions(LaunchSettings& settings) {
  const std::vector<std::string>& arguments = settings.argvF;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (argument == "-nolog") {
      settings.nolog = true;
    } else if (argument == "-log" && i + 1 < arguments.size()) {
      settings.logFileName = arguments[++i];
    }
  }
}

std::string formatRunLog(int argc, const char* const* argv) {
  std::string content = "Orsa log file\nRunning: ";
  for (int i = 0; i < argc; ++i) {
    content.append(argv[i]).push_back(' ');
  }
  content.push_back('\n');
  return content;
}

bool writeRunLog(LaunchSettings& settings, int argc, const char* const* argv, std::string* error) {
  scanLogOptions(settings);
  if (settings.nolog) {
    settings.trace("run log: none (-nolog)");
    return true;
  }
  // O_NONBLOCK: a FIFO without a reader fails at once instead of stalling the launch. No O_TRUNC:
  // truncating frees the old log's blocks, which costs a discard on many disks; cutting the file
  // to the new length after the write leaves the same bytes.
  const int descriptor =
      open(settings.logFileName.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  if (descriptor < 0) {
    *error = "ERROR: " + settings.logFileName + " file open failed.";
    return false;
  }
  lockAgainstOverlappingLaunches(descriptor);
  {
    // A file-size limit below the log's length ends the write like a full disk, and the cut then
    // leaves the new run's first bytes without the old log's tail behind them.
    const HeldWriteSignals held;
    const std::size_t written = writeIgnoringErrors(descriptor, formatRunLog(argc, argv));
    if (ftruncate(descriptor, static_cast<off_t>(written)) != 0) {
      // A FIFO or a device has no length to cut; nothing is lost.
    }
  }
  close(descriptor);  // and with it the lock
  settings.trace("run log: ", settings.logFileName);
  return true;
}
