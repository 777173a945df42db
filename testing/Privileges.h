// Running a piece of a test where file and folder permissions bind, also when
// the tests run as root (who may read a file of mode 000, or delete and create
// files in a read-only folder), as they do in CI.
#pragma once

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <functional>
#include <string>

namespace orlenda::testing {

// Returns what `fn` returns. For an ordinary user `fn` runs here; for root it
// runs in a child process switched to the unprivileged user 65534, so its
// effects on objects in memory stay in the child (report them in the text).
// The files `fn` touches must be reachable by that user (folders 0755 or so).
inline std::string WithoutPrivileges(const std::function<std::string()>& fn) {
  if (::geteuid() != 0) return fn();
  int fds[2];
  if (::pipe(fds) != 0) return "pipe failed";
  pid_t pid = ::fork();
  if (pid < 0) return "fork failed";
  if (pid == 0) {
    ::close(fds[0]);
    std::string out;
    // An exception must not escape into the child's copy of the test runner,
    // which would go on running the remaining tests a second time.
    try {
      // Root's supplementary groups go too, or group permissions would still
      // let the child in.
      if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
        out = std::string("could not become user 65534: ") + std::strerror(errno);
      } else {
        out = fn();
      }
    } catch (const std::exception& e) {
      out = std::string("exception: ") + e.what();
    } catch (...) {
      out = "exception";
    }
    std::size_t done = 0;
    while (done < out.size()) {
      ssize_t k = ::write(fds[1], out.data() + done, out.size() - done);
      if (k <= 0) break;
      done += static_cast<std::size_t>(k);
    }
    ::_exit(0);  // no destructors: the temporary folders belong to the parent
  }
  ::close(fds[1]);
  std::string out;
  char buffer[512];
  ssize_t k;
  while ((k = ::read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, k);
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return out;
}

}  // namespace orlenda::testing
