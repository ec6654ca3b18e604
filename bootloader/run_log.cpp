#include "run_log.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <optional>

namespace {

/// How long a launch waits for another one to finish writing the log, and for a FIFO log's reader
/// to read: far longer than any launch or reader needs, and short enough that a stuck or stopped
/// process cannot hold up the simulation. Measured on the clock: on a loaded machine each pause
/// between two tries for the lock may take far longer than asked. The monotonic clock's time is
/// 64 bits wide in the i386 launcher too: a launch stopped for a few seconds must not wrap it.
using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds longestWait{1};
constexpr timespec lockRetryPause{.tv_sec = 0, .tv_nsec = 1'000'000};

/// Whether the launch may write the log: once it holds the file's lock, and where the file system
/// has no locks (ENOLCK), without one. Not while another launch holds it: writing then could have
/// that launch's late cut shorten this log, or pad it with NUL bytes. A holder that does not let go
/// within about a second keeps the log to itself, and this launch goes on without writing one.
bool lockAgainstOverlappingLaunches(int descriptor) {
  Clock::time_point start;
  for (bool waiting = false;; waiting = true) {
    if (flock(descriptor, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) {
      return true;
    }
    // The clock is read only once the lock is found held: an uncontended launch never reads it.
    if (!waiting) {
      start = Clock::now();
    } else if (Clock::now() - start >= longestWait) {
      return false;
    }
    nanosleep(&lockRetryPause, nullptr);
  }
}

/// Waits until a FIFO log's reader makes room, for what is left of the reader's second since
/// `start`. False once that has run out with no room made.
bool waitForReader(int descriptor, Clock::time_point start) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(longestWait - (Clock::now() - start));
  pollfd writable{.fd = descriptor, .events = POLLOUT, .revents = 0};
  return left.count() > 0 && poll(&writable, 1, static_cast<int>(left.count())) > 0;
}

/// What became of the log's bytes.
struct LogWrite {
  std::size_t written = 0;
  bool readerStalled = false;  // a FIFO's reader left the rest unread
};

/// Writes all of `content`, ignoring errors: the log only records the run, and a full disk or a
/// file-size limit must not keep the simulation from starting.
LogWrite writeIgnoringErrors(HeldWriteSignals& held, int descriptor, std::string_view content) {
  LogWrite result;
  std::optional<Clock::time_point> waitStart;
  while (result.written < content.size()) {
    const ssize_t got = held.write(descriptor, content.substr(result.written));
    if (got < 0 && errno == EAGAIN) {
      // A FIFO whose reader is slow: it was opened without waiting for a reader, and now that there
      // is one, the rest may wait for it, but only so long.
      if (!waitStart) {
        waitStart = Clock::now();
      }
      if (!waitForReader(descriptor, *waitStart)) {
        result.readerStalled = true;
        break;
      }
      continue;
    }
    if (got <= 0) {
      break;
    }
    result.written += static_cast<std::size_t>(got);
  }
  return result;
}

}  // namespace

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

namespace {

/// The run log's message for a file that cannot be opened for writing, with the system's reason.
bool failToOpen(const LaunchSettings& settings, int reason, LaunchError* error) {
  *error = {"ERROR: " + settings.logFileName + " file open failed.",
            visibly("cannot write run log ", settings.logFileName, ": ", strerrordesc_np(reason))};
  return false;
}

/// Finds the log's options; true, and traced, when "-nolog" leaves the launch without a log.
bool withoutLog(LaunchSettings& settings) {
  scanLogOptions(settings);
  if (settings.nolog) {
    settings.trace("run log: none (-nolog)");
  }
  return settings.nolog;
}

}  // namespace

bool writeRunLog(LaunchSettings& settings, int argc, const char* const* argv, LaunchError* error) {
  if (withoutLog(settings)) {
    return true;
  }
  // O_NONBLOCK: a FIFO without a reader fails at once instead of stalling the launch. No O_TRUNC:
  // truncating frees the old log's blocks, which costs a discard on many disks, and would cut
  // another launch's log; cutting the file to the new length after the write leaves the same bytes.
  const int descriptor =
      open(settings.logFileName.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  if (descriptor < 0) {
    return failToOpen(settings, errno, error);
  }
  if (!lockAgainstOverlappingLaunches(descriptor)) {
    close(descriptor);
    settings.trace("run log: ", settings.logFileName,
                   " is held by another launch for over a second; its log stays");
    return true;
  }
  LogWrite written;
  {
    // A file-size limit below the log's length ends the write like a full disk, and the cut then
    // leaves the new run's first bytes without the old log's tail behind them.
    HeldWriteSignals held;
    written = writeIgnoringErrors(held, descriptor, formatRunLog(argc, argv));
    // A FIFO or a device has no length to cut; nothing is lost when the cut fails.
    [[maybe_unused]] const int cut = ftruncate(descriptor, static_cast<off_t>(written.written));
  }
  close(descriptor);  // and with it the lock
  if (written.readerStalled) {
    settings.trace("run log: ", settings.logFileName,
                   ": its reader stopped reading for over a second; the rest is left unwritten");
  } else {
    settings.trace("run log: ", settings.logFileName);
  }
  return true;
}

bool checkRunLog(LaunchSettings& settings, LaunchError* error) {
  if (withoutLog(settings)) {
    return true;
  }
  const std::string& name = settings.logFileName;
  struct stat status;
  if (stat(name.c_str(), &status) == 0) {
    if (S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) {
      settings.trace("run log: ", name, S_ISFIFO(status.st_mode) ? " is a FIFO" : " is a device",
                     ", not opened");
      return true;
    }
    if (S_ISDIR(status.st_mode) || access(name.c_str(), W_OK) != 0) {
      return failToOpen(settings, S_ISDIR(status.st_mode) ? EISDIR : errno, error);
    }
    settings.trace("run log: ", name, " would be written");
    return true;
  }
  if (errno != ENOENT) {
    return failToOpen(settings, errno, error);
  }
  // Absent: the launch would create it in its folder.
  const std::size_t slash = name.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : name.substr(0, slash + 1);
  if (access(folder.c_str(), W_OK | X_OK) != 0) {
    return failToOpen(settings, errno, error);
  }
  settings.trace("run log: ", name, " would be created");
  return true;
}
