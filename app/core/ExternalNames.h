// What the connection to external SQL servers decides without a server: the
// protocol names mapped to drivers, table names made safe for SQL text, ODBC
// connection-string values, and the file names an import may write.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace app {

// How one protocol name is reached.
struct ExternalProtocol {
  // The Qt SQL driver: "QPSQL", "QMYSQL", "QIBASE", "QSQLITE" or "QODBC".
  std::string qt_driver;
  // For "QODBC": the ODBC driver's name as the driver manager knows it.
  std::string odbc_driver;
  // A local database file opened by an embedded engine: no host, no server.
  bool embedded = false;
};

// The protocol named `name` (letter case and blanks around it ignored), or none
// for a name this program does not know.
std::optional<ExternalProtocol> ProtocolFor(std::string_view name);

// True for a name that SQL text may hold as it is: letters a-z/A-Z, digits,
// "_" and "$", not starting with a digit or "$".
bool IsPlainIdentifier(std::string_view name);

// A table name as it goes into SQL text: a plain name, or "schema.name" of two
// plain parts, is sent as it is, so that the server folds its letter case as it
// does for names typed by hand; any other part is put between `quote`s, with a
// `quote` inside doubled. A name "x; drop table t; --" becomes one quoted name,
// never a statement. The text before the first "." is taken as a schema only
// when it is plain.
std::string QuoteTableName(std::string_view name, char quote);

// `name` between `quote`s with a `quote` inside doubled, always.
std::string QuotedIdentifier(std::string_view name, char quote);

// A value of an ODBC connection string: one holding ";", "{" or "}", or
// blanks at either end, goes in braces with "}" doubled, so that nothing
// inside it ends the attribute ("a;b}c" becomes "{a;b}}c}"); others as they
// are.
std::string OdbcValue(std::string_view value);

// Why `name` cannot name an import's file in the project folder, or "" when it
// can: empty, "." or "..", or holding "/", "\" or NUL.
std::string ImportTargetProblem(std::string_view name);

}  // namespace app
