// Real SQL servers for the tests, started by the tests themselves: each in a
// short temporary folder (Unix socket paths are limited to 107 bytes),
// listening on 127.0.0.1 only, on a free port, stopped at the end and killed
// with the test process if that dies first. Start() answers "" or why the
// server could not start; the tests then fail with that reason.
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace app_testing {

// A folder "/tmp/orl-XXXXXX", removed at the end.
class ShortFolder {
 public:
  ShortFolder() {
    char pattern[] = "/tmp/orl-XXXXXX";
    if (mkdtemp(pattern) != nullptr) path_ = pattern;
  }
  ~ShortFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ShortFolder(const ShortFolder&) = delete;
  ShortFolder& operator=(const ShortFolder&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// A port of 127.0.0.1 that nothing listens on now.
inline int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

// The user a server runs as: "postgres" refuses root, so it runs as the user
// "postgres" when the tests run as root; otherwise as the tests' own user.
struct RunAs {
  uid_t uid = getuid();
  gid_t gid = getgid();
  bool Switch() const { return uid != getuid(); }
};

inline RunAs UserForServer(const char* name) {
  RunAs as;
  if (getuid() == 0) {
    if (const passwd* pw = getpwnam(name)) {
      as.uid = pw->pw_uid;
      as.gid = pw->pw_gid;
    }
  }
  return as;
}

// Starts `argv` with its output in `log`, as `as`, with `environment` added;
// the child gets SIGKILL when the test process ends. -1 when fork fails.
inline pid_t Spawn(const std::vector<std::string>& argv, const std::string& log, RunAs as = {},
                   const std::vector<std::string>& environment = {}) {
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid != 0) return pid;
  const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (out >= 0) {
    dup2(out, 1);
    dup2(out, 2);
  }
  const int in = open("/dev/null", O_RDONLY);
  if (in >= 0) dup2(in, 0);
  if (as.Switch()) {
    // The other user may not enter the tests' working folder.
    if (chdir("/") != 0 || setgid(as.gid) != 0 || setuid(as.uid) != 0) _exit(126);
  }
  // Set after the user changed: changing it clears the setting.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(125);
  for (const std::string& e : environment) putenv(const_cast<char*>(e.c_str()));
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  _exit(127);
}

// Waits up to `seconds` for `pid`; its exit status, or -1 after killing it.
inline int WaitFor(pid_t pid, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (r < 0) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return -1;
}

inline int Run(const std::vector<std::string>& argv, const std::string& log, RunAs as = {},
               const std::vector<std::string>& environment = {}, int seconds = 120) {
  const pid_t pid = Spawn(argv, log, as, environment);
  return pid < 0 ? -1 : WaitFor(pid, seconds);
}

inline std::string Tail(const std::string& file) {
  std::ifstream in(file);
  std::stringstream s;
  s << in.rdbuf();
  std::string text = s.str();
  return text.size() > 1500 ? text.substr(text.size() - 1500) : text;
}

// A server process in its own folder.
class ServerProcess {
 public:
  virtual ~ServerProcess() { Stop(); }
  // Stops the server (`stop_signal`, then SIGKILL after 20 s) and removes
  // nothing: the folder goes with the object.
  void Stop() {
    if (pid_ > 0) {
      kill(pid_, stop_signal_);
      WaitFor(pid_, 20);
      pid_ = -1;
    }
  }
  bool Running() const { return pid_ > 0; }
  int Port() const { return port_; }
  const std::string& Folder() const { return folder_.Path(); }
  const std::string& StartError() const { return error_; }

 protected:
  // Tries `open` (a Qt SQL connection attempt) until it succeeds, the process
  // ends or `seconds` pass; "" or the reason.
  std::string WaitUntilReady(const std::function<QString()>& attempt, const std::string& log,
                             int seconds = 60) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    QString last;
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return "the server ended at start: " + Tail(log);
      }
      last = attempt();
      if (last.isEmpty()) return "";
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    Stop();
    return "the server did not answer within " + std::to_string(seconds) +
           " s: " + last.toStdString() + "\n" + Tail(log);
  }

  ShortFolder folder_;
  pid_t pid_ = -1;
  int port_ = 0;
  int stop_signal_ = SIGTERM;
  std::string error_;
};

// Connects with `driver` and the given settings, runs nothing; "" or the error.
inline QString TryOpen(const QString& driver, const QString& host, int port, const QString& db,
                       const QString& user) {
  QString error;
  {
    QSqlDatabase d = QSqlDatabase::addDatabase(driver, "server-ready-probe");
    d.setHostName(host);
    d.setPort(port);
    d.setDatabaseName(db);
    d.setUserName(user);
    if (!d.open()) error = d.lastError().text() + " ";
    d.close();
  }
  QSqlDatabase::removeDatabase("server-ready-probe");
  return error;
}

// PostgreSQL 15: trust authentication, no fsync, the socket in its folder.
class PostgresServer : public ServerProcess {
 public:
  static constexpr const char* kBin = "/usr/lib/postgresql/15/bin/";
  PostgresServer() {
    stop_signal_ = SIGINT;  // fast shutdown: open connections do not hold it up
    error_ = Start();
  }

 private:
  std::string Start() {
    if (Folder().empty()) return "no temporary folder";
    if (!std::filesystem::exists(std::string(kBin) + "postgres")) {
      return std::string("PostgreSQL 15 is not installed (") + kBin + "postgres)";
    }
    const RunAs as = UserForServer("postgres");
    if (as.Switch() && chown(Folder().c_str(), as.uid, as.gid) != 0) return "cannot chown folder";
    const std::string log = Folder() + "/log";
    const std::string data = Folder() + "/data";
    if (Run({std::string(kBin) + "initdb", "-D", data, "-A", "trust", "-U", "postgres", "--no-sync",
             "-E", "UTF8", "--locale=C"},
            log, as) != 0) {
      return "initdb failed: " + Tail(log);
    }
    port_ = FreePort();
    pid_ = Spawn({std::string(kBin) + "postgres", "-D", data, "-k", Folder(), "-h", "127.0.0.1",
                  "-p", std::to_string(port_), "-F", "-c", "max_connections=20"},
                 log, as);
    if (pid_ < 0) return "fork failed";
    return WaitUntilReady(
        [this] { return TryOpen("QPSQL", "127.0.0.1", port_, "postgres", "postgres"); }, log);
  }
};

// MariaDB 10.11: root with an empty password, its own socket and port.
class MariaDbServer : public ServerProcess {
 public:
  MariaDbServer() { error_ = Start(); }
  std::string Socket() const { return Folder() + "/sock"; }

 private:
  std::string Start() {
    if (Folder().empty()) return "no temporary folder";
    const std::string log = Folder() + "/log";
    const std::string data = Folder() + "/data";
    if (Run({"mariadb-install-db", "--no-defaults",
             "--user=" + std::string(getpwuid(getuid())->pw_name), "--datadir=" + data,
             "--auth-root-authentication-method=normal", "--skip-test-db"},
            log) != 0) {
      return "mariadb-install-db failed (is mariadb-server-core installed?): " + Tail(log);
    }
    port_ = FreePort();
    pid_ = Spawn({"mariadbd", "--no-defaults", "--user=" + std::string(getpwuid(getuid())->pw_name),
                  "--datadir=" + data, "--socket=" + Socket(), "--port=" + std::to_string(port_),
                  "--bind-address=127.0.0.1", "--pid-file=" + Folder() + "/pid",
                  "--innodb-flush-log-at-trx-commit=0", "--skip-log-bin"},
                 log);
    if (pid_ < 0) return "fork failed";
    return WaitUntilReady([this] { return TryOpen("QMYSQL", "127.0.0.1", port_, "", "root"); },
                          log);
  }
};

// Runs `statements` one by one on a connection of its own; "" or the first
// error with its statement.
inline std::string Execute(const QString& driver, const QString& host, int port, const QString& db,
                           const QString& user, const std::vector<std::string>& statements,
                           const QString& options = {}) {
  std::string error;
  {
    QSqlDatabase d = QSqlDatabase::addDatabase(driver, "server-setup");
    d.setHostName(host);
    d.setPort(port);
    d.setDatabaseName(db);
    d.setUserName(user);
    d.setConnectOptions(options);
    if (!d.open()) {
      error = d.lastError().text().toStdString();
    } else {
      QSqlQuery q(d);
      for (const std::string& s : statements) {
        if (!q.exec(QString::fromStdString(s))) {
          error = s + ": " + q.lastError().text().toStdString();
          break;
        }
      }
    }
    d.close();
  }
  QSqlDatabase::removeDatabase("server-setup");
  return error;
}

}  // namespace app_testing
