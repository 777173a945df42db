// Opening a named Qt SQL connection from a connector's parameters, and the
// table list, column list and table query of the open connection.
#include "ExternalConnection.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>
#include <cerrno>
#include <cstring>

#include "db/DatabaseError.h"

namespace app {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// "DRIVER={...};SERVER={...};..." with every value in braces, so that a ";" in
// a password adds no attribute. The user and password go into the string, not
// to Qt, which would append them unquoted.
QString OdbcConnectionString(const std::string& driver, const ConnectionParameters& p) {
  std::string s = "DRIVER=" + OdbcValue(driver);
  if (!p.host.empty()) s += ";SERVER=" + OdbcValue(p.host);
  if (p.port > 0) s += ";PORT=" + OdbcValue(std::to_string(p.port));
  if (!p.database.empty()) s += ";DATABASE=" + OdbcValue(p.database);
  if (!p.user.empty()) s += ";UID=" + OdbcValue(p.user);
  if (!p.password.empty()) s += ";PWD=" + OdbcValue(p.password);
  return Q(s);
}

// Firebird's client waits as long as its configuration says (minutes) for a
// host that does not answer, and Qt passes it no limit: a TCP connect with
// our own limit finds such a host first. "" when the port answers.
std::string ProbeHost(const std::string& host, int port, int seconds) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 ||
      found == nullptr) {
    return "Unknown host " + host;
  }
  std::string error = "Connection to " + host + ":" + std::to_string(port) + " timed out";
  const int fd = socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd >= 0) {
    if (connect(fd, found->ai_addr, found->ai_addrlen) == 0) {
      error.clear();
    } else if (errno == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      if (poll(&p, 1, seconds * 1000) == 1) {
        int code = 0;
        socklen_t length = sizeof code;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &length);
        error = code == 0 ? ""
                          : "Connection to " + host + ":" + std::to_string(port) + ": " +
                                std::strerror(code);
      }
    } else {
      error = "Connection to " + host + ":" + std::to_string(port) + ": " + std::strerror(errno);
    }
    close(fd);
  }
  freeaddrinfo(found);
  return error;
}

QString TimeoutOptions(const std::string& driver) {
  const QString seconds = QString::number(ExternalConnection::kConnectTimeoutSeconds);
  if (driver == "QPSQL") return "connect_timeout=" + seconds;
  if (driver == "QMYSQL") return "MYSQL_OPT_CONNECT_TIMEOUT=" + seconds;
  if (driver == "QODBC") return "SQL_ATTR_LOGIN_TIMEOUT=" + seconds;
  return {};
}

}  // namespace

std::string ErrorText(const QSqlError& error) {
  // The server's own words when it gave any ("no such table: t"); Qt's
  // summary ("Unable to execute statement") only when it did not.
  QString text = error.databaseText().trimmed();
  if (text.isEmpty()) text = error.driverText().trimmed();
  if (text.isEmpty()) text = "Unknown error";
  return text.toStdString();
}

ExternalConnection::ExternalConnection(std::string name) : name_(std::move(name)) {}

ExternalConnection::~ExternalConnection() { Disconnect(); }

void ExternalConnection::SetParameters(const ConnectionParameters& parameters) {
  parameters_ = parameters;
}

QSqlDatabase ExternalConnection::Database() const {
  return QSqlDatabase::database(Q(name_), false);
}

bool ExternalConnection::Connected() const {
  return QSqlDatabase::contains(Q(name_)) && Database().isOpen();
}

void ExternalConnection::Fail(const std::string& what, const QSqlError& error) const {
  throw db::DatabaseError(what + ErrorText(error));
}

void ExternalConnection::Connect() {
  Disconnect();
  std::optional<ExternalProtocol> protocol = forced_protocol_;
  if (!protocol) protocol = ProtocolFor(parameters_.protocol);
  if (!protocol) {
    throw db::DatabaseError("Unknown protocol \"" + parameters_.protocol + "\"");
  }
  if (!QSqlDatabase::isDriverAvailable(Q(protocol->qt_driver))) {
    throw db::DatabaseError("The Qt SQL driver " + protocol->qt_driver + " for protocol \"" +
                            parameters_.protocol + "\" is not installed");
  }
  driver_ = protocol->qt_driver;
  QSqlDatabase database = QSqlDatabase::addDatabase(Q(driver_), Q(name_));
  database.setNumericalPrecisionPolicy(QSql::HighPrecision);
  QString options = TimeoutOptions(driver_);
  if (driver_ == "QODBC") {
    database.setDatabaseName(OdbcConnectionString(protocol->odbc_driver, parameters_));
  } else if (driver_ == "QSQLITE") {
    // Read-only: a mistyped path must fail, not become a new empty database.
    database.setDatabaseName(Q(parameters_.database));
    options = "QSQLITE_OPEN_READONLY";
  } else {
    database.setDatabaseName(Q(parameters_.database));
    if (driver_ == "QIBASE" && !protocol->embedded && !parameters_.host.empty()) {
      const int port = parameters_.port > 0 ? parameters_.port : 3050;
      if (const std::string problem = ProbeHost(parameters_.host, port, kConnectTimeoutSeconds);
          !problem.empty()) {
        database = QSqlDatabase();
        Disconnect();
        throw db::DatabaseError(problem);
      }
    }
    if (!protocol->embedded) {
      database.setHostName(Q(parameters_.host));
      if (parameters_.port > 0) database.setPort(parameters_.port);
    }
    database.setUserName(Q(parameters_.user));
    database.setPassword(Q(parameters_.password));
  }
  database.setConnectOptions(options);
  QSqlError error;
  if (!database.open()) {
    error = database.lastError();
  } else if (driver_ == "QSQLITE") {
    // SQLite reads the file only when asked something: a file that is no
    // database would otherwise pass as a good connection.
    QSqlQuery q(database);
    if (!q.exec("SELECT count(*) FROM sqlite_master")) error = q.lastError();
  }
  if (error.isValid()) {
    database = QSqlDatabase();
    Disconnect();
    throw db::DatabaseError(ErrorText(error));
  }
}

QVariant ExternalConnection::Handle() const {
  return Connected() ? Database().driver()->handle() : QVariant();
}

void ExternalConnection::Disconnect() noexcept {
  driver_.clear();
  if (!QSqlDatabase::contains(Q(name_))) return;
  {
    QSqlDatabase database = Database();
    database.close();
  }
  QSqlDatabase::removeDatabase(Q(name_));
}

char ExternalConnection::QuoteCharacter() const {
  // The driver's own quote character, as it puts it around a name: `x` for
  // MySQL, "x" for the others; ODBC asks the driver.
  const QString quoted = Database().driver()->escapeIdentifier("x", QSqlDriver::TableName);
  if (quoted.size() == 3 && quoted[1] == 'x' && quoted[0] == quoted[2] &&
      quoted[0].unicode() < 128) {
    return static_cast<char>(quoted[0].unicode());
  }
  return '"';
}

std::string ExternalConnection::SelectAllSql(const std::string& table) const {
  return "SELECT * FROM " + QuoteTableName(table, QuoteCharacter());
}

std::vector<std::string> ExternalConnection::TableNames() {
  QSqlDatabase database = Database();
  if (!database.isOpen()) throw db::DatabaseError("Not connected");
  std::vector<std::string> names;
  if (driver_ == "QPSQL") {
    // Qt's own list leaves out names of some schemas; the standard catalogue
    // has them all.
    QSqlQuery q(database);
    q.setForwardOnly(true);
    if (!q.exec("SELECT table_schema, table_name FROM information_schema.tables "
                "WHERE table_schema NOT IN ('pg_catalog', 'information_schema') "
                "ORDER BY table_schema <> 'public', table_schema, table_name")) {
      Fail("", q.lastError());
    }
    while (q.next()) {
      const std::string schema = q.value(0).toString().toStdString();
      const std::string table = q.value(1).toString().toStdString();
      names.push_back(schema == "public" ? table : schema + "." + table);
    }
    if (q.lastError().isValid()) Fail("", q.lastError());
    return names;
  }
  // Qt's own lists answer an empty list, and no error, when the listing
  // fails: read from the server's catalogue where there is one, so that a
  // failure is told from a database without tables.
  QString sql;
  if (driver_ == "QSQLITE") {
    sql =
        "SELECT name FROM sqlite_master WHERE type IN ('table', 'view') "
        "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY name";
  } else if (driver_ == "QMYSQL") {
    sql =
        "SELECT table_name FROM information_schema.tables "
        "WHERE table_schema = DATABASE() ORDER BY table_name";
  } else if (driver_ == "QIBASE") {
    sql =
        "SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS "
        "WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 ORDER BY 1";
  }
  if (!sql.isEmpty()) {
    QSqlQuery q(database);
    q.setForwardOnly(true);
    if (!q.exec(sql)) Fail("", q.lastError());
    while (q.next()) names.push_back(q.value(0).toString().toStdString());
    if (q.lastError().isValid()) Fail("", q.lastError());
    return names;
  }
  QStringList tables = database.tables(QSql::Tables);
  tables += database.tables(QSql::Views);
  if (database.lastError().isValid()) Fail("", database.lastError());
  for (const QString& t : tables) names.push_back(t.toStdString());
  return names;
}

std::vector<std::string> ExternalConnection::ColumnNames(const std::string& table) {
  // Asked of the server itself: Qt's record() answers an empty record, and no
  // error, for a table that does not exist, and no columns at all through some
  // ODBC drivers.
  QSqlQuery q(Database());
  q.setForwardOnly(true);
  if (!q.exec(Q(SelectAllSql(table) + " WHERE 1=0"))) Fail("", q.lastError());
  std::vector<std::string> names;
  const QSqlRecord record = q.record();
  for (int i = 0; i < record.count(); ++i) names.push_back(record.fieldName(i).toStdString());
  return names;
}

QSqlQuery ExternalConnection::OpenTable(const std::string& table, bool forward_only,
                                        std::vector<bool>* number_columns) {
  QSqlDatabase database = Database();
  if (!database.isOpen()) throw db::DatabaseError("Not connected");
  QSqlQuery q(database);
  q.setForwardOnly(forward_only);
  q.setNumericalPrecisionPolicy(QSql::HighPrecision);
  if (!q.exec(Q(SelectAllSql(table)))) Fail("", q.lastError());
  const QSqlRecord record = q.record();
  std::vector<bool> numbers;
  bool scaled = false;
  for (int i = 0; i < record.count(); ++i) {
    const int type = record.field(i).metaType().id();
    numbers.push_back(type == QMetaType::Double || type == QMetaType::Float);
    scaled = scaled || (numbers.back() && record.field(i).precision() > 0);
  }
  if (number_columns != nullptr) *number_columns = numbers;
  // Firebird's driver turns NUMERIC and DECIMAL values into doubles, which
  // lose digits past the 15th: the server spells them out instead.
  if (driver_ == "QIBASE" && scaled && forward_only) {
    std::string columns;
    for (int i = 0; i < record.count(); ++i) {
      const std::string column = QuotedIdentifier(record.fieldName(i).toStdString(), '"');
      if (!columns.empty()) columns += ", ";
      if (numbers[static_cast<std::size_t>(i)] && record.field(i).precision() > 0) {
        columns += "CAST(" + column + " AS VARCHAR(64)) AS " + column;
      } else {
        columns += column;
      }
    }
    q.clear();
    q = QSqlQuery(database);
    q.setForwardOnly(true);
    if (!q.exec(
            Q("SELECT " + columns + SelectAllSql(table).substr(std::string("SELECT *").size())))) {
      Fail("", q.lastError());
    }
  }
  return q;
}

}  // namespace app
