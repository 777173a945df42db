// The connection to an external SQL server: one named Qt SQL connection made
// from a connector's seven parameters, opened and closed around each piece of
// work, with the table list, a table's column list and a "SELECT * FROM" query
// over one table.
#pragma once

#include <QSqlQuery>
#include <optional>
#include <string>
#include <vector>

#include "ExternalNames.h"

namespace app {

struct ConnectionParameters {
  std::string protocol;
  std::string database;
  std::string host;
  int port = 0;  // 0: the driver's default port
  std::string user;
  std::string password;
  std::string catalog;
};

class ExternalConnection {
 public:
  // Seconds a connect may wait for a host that does not answer.
  static constexpr int kConnectTimeoutSeconds = 10;

  // `name` is the Qt connection name; two objects must not share one.
  explicit ExternalConnection(std::string name = "ZConnection1");
  // Disconnects and removes the Qt connection. Every query given out must be
  // gone by then.
  ~ExternalConnection();
  ExternalConnection(const ExternalConnection&) = delete;
  ExternalConnection& operator=(const ExternalConnection&) = delete;

  // Nothing is checked here; Connect finds what is wrong.
  void SetParameters(const ConnectionParameters& parameters);
  const ConnectionParameters& Parameters() const { return parameters_; }
  // The protocol's driver chosen directly, bypassing the protocol name (an ODBC
  // driver of this machine, for instance).
  void SetProtocol(const ExternalProtocol& protocol) { forced_protocol_ = protocol; }

  // Throws db::DatabaseError saying why: an unknown protocol, a Qt driver or
  // an ODBC driver that is not installed, or the server's own refusal. A
  // connection that is open is closed first. SQLite files are opened read-only
  // and must exist.
  void Connect();
  // Closes the connection; nothing happens when it is closed. Queries given
  // out must be gone.
  void Disconnect() noexcept;
  bool Connected() const;

  // The names of the database's tables and views; a PostgreSQL table outside
  // the schema "public" as "schema.table". Throws db::DatabaseError when the
  // server refuses the listing.
  std::vector<std::string> TableNames();
  // The column names of `table`, in order; throws db::DatabaseError with the
  // server's error for a table it does not have.
  std::vector<std::string> ColumnNames(const std::string& table);
  // "SELECT * FROM " + the table name quoted for this server (QuoteTableName).
  std::string SelectAllSql(const std::string& table) const;
  // Runs SelectAllSql(table); numbers are fetched as the server's exact text.
  // A forward-only query streams its rows; the other kind can move back.
  // `number_columns`, when given, gets true for each column that holds
  // fractional numbers (which may then come as text). Throws
  // db::DatabaseError with the server's error.
  QSqlQuery OpenTable(const std::string& table, bool forward_only,
                      std::vector<bool>* number_columns = nullptr);
  // The Qt driver of the open connection ("QMYSQL", ...); "" when closed.
  const std::string& Driver() const { return driver_; }
  // The driver's own handle of the open connection (a MYSQL* for QMYSQL).
  QVariant Handle() const;

 private:
  QSqlDatabase Database() const;
  char QuoteCharacter() const;
  [[noreturn]] void Fail(const std::string& what, const QSqlError& error) const;

  std::string name_;
  ConnectionParameters parameters_;
  std::optional<ExternalProtocol> forced_protocol_;
  std::string driver_;  // the Qt driver of the open connection
};

// The text of a Qt SQL error: the server's words first, then the driver's.
std::string ErrorText(const QSqlError& error);

}  // namespace app
