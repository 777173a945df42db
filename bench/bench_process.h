// Starts one measured child process for the benchmark: optionally pinned to one
// core, with variables added to its environment, stdin from a file, stdout and
// stderr to files; returns its wall time and the user time, system time and
// peak memory the kernel accounted to it.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace bench {

struct ChildCommand {
  std::vector<std::string> argv;  // argv[0] is looked up on PATH
  std::string stdin_file;         // empty: /dev/null
  std::string stdout_file;
  std::string stderr_file;
  int cpu = -1;  // >= 0: the only core the child may run on
  // NAME=value pairs added to the child's environment.
  std::vector<std::pair<std::string, std::string>> env;
  int timeout_seconds = 900;
};

struct ChildResult {
  bool ok = false;      // started, exited by itself with status 0
  std::string failure;  // why not, for the report
  double wall = 0, user = 0, sys = 0;
  long peak_kib = 0;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

namespace detail {
inline void OnAlarm(int) {}

inline int OpenOrDie(const std::string& path, int flags) {
  int fd = open(path.c_str(), flags, 0644);
  if (fd < 0) {
    std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), std::strerror(errno));
    _exit(127);
  }
  return fd;
}
}  // namespace detail

// The first core this process may run on; 0 when it cannot be read.
inline int FirstAllowedCpu() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 0;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &set)) return cpu;
  }
  return 0;
}

inline ChildResult RunChild(const ChildCommand& command) {
  ChildResult result;
  struct sigaction action {};
  action.sa_handler = detail::OnAlarm;  // no SA_RESTART: wait4 returns EINTR
  sigaction(SIGALRM, &action, nullptr);

  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid < 0) {
    result.failure = std::string("fork: ") + std::strerror(errno);
    return result;
  }
  if (pid == 0) {
    if (command.cpu >= 0) {
      cpu_set_t set;
      CPU_ZERO(&set);
      CPU_SET(command.cpu, &set);
      if (sched_setaffinity(0, sizeof set, &set) != 0) _exit(126);
    }
    int in =
        detail::OpenOrDie(command.stdin_file.empty() ? "/dev/null" : command.stdin_file, O_RDONLY);
    int out = detail::OpenOrDie(command.stdout_file, O_WRONLY | O_CREAT | O_TRUNC);
    int err = detail::OpenOrDie(command.stderr_file, O_WRONLY | O_CREAT | O_TRUNC);
    for (const auto& [name, value] : command.env) setenv(name.c_str(), value.c_str(), 1);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    std::vector<char*> args;
    for (const std::string& a : command.argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    std::fprintf(stderr, "cannot start %s: %s\n", args[0], std::strerror(errno));
    _exit(127);
  }

  alarm(static_cast<unsigned>(command.timeout_seconds));
  int status = 0;
  rusage usage{};
  bool timed_out = false;
  while (wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) break;
    timed_out = true;
    kill(pid, SIGKILL);
  }
  alarm(0);
  auto end = std::chrono::steady_clock::now();

  result.wall = std::chrono::duration<double>(end - start).count();
  result.user = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6;
  result.sys = usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
  result.peak_kib = usage.ru_maxrss;
  if (timed_out) {
    result.failure = "killed after " + std::to_string(command.timeout_seconds) + " s";
  } else if (WIFSIGNALED(status)) {
    result.failure = std::string("killed by signal ") + strsignal(WTERMSIG(status));
  } else if (WEXITSTATUS(status) != 0) {
    result.failure = "exit status " + std::to_string(WEXITSTATUS(status));
  } else {
    result.ok = true;
  }
  if (!result.ok) {
    std::string err = ReadFile(command.stderr_file);
    if (err.size() > 2000) err = "..." + err.substr(err.size() - 2000);
    if (!err.empty()) result.failure += ": " + err;
  }
  return result;
}

}  // namespace bench
