// Test helpers for table files: the names in a folder, and running a piece of
// a test where folder permissions bind, also when the tests run as root (who
// may delete and create files in a read-only folder).
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace vek::testing {

// The names of the entries of a folder, sorted.
inline std::vector<std::string> FileNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Returns what `fn` returns. For an ordinary user `fn` runs here; for root it
// runs in a child process switched to the unprivileged user 65534, so its
// effects on objects in memory stay in the child (report them in the text).
inline std::string WithoutPrivileges(const std::function<std::string()>& fn) {
  if (::geteuid() != 0) return fn();
  int fds[2];
  if (::pipe(fds) != 0) return "pipe failed";
  pid_t pid = ::fork();
  if (pid < 0) return "fork failed";
  if (pid == 0) {
    ::close(fds[0]);
    std::string out =
        ::setgid(65534) == 0 && ::setuid(65534) == 0 ? fn() : std::string("setuid failed");
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

}  // namespace vek::testing
