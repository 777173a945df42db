// Protocol names, identifier quoting, ODBC values and import file names.
#include "ExternalNames.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace app {
namespace {

struct ProtocolEntry {
  std::string_view name;
  std::string_view qt_driver;
  std::string_view odbc_driver;
  bool embedded;
};

// The vendor names without a Qt driver of their own go through ODBC with the
// driver name that vendor's ODBC driver registers under.
constexpr std::array<ProtocolEntry, 26> kProtocols{{
    {"ado", "QODBC", "SQL Server", false},
    {"asa7", "QODBC", "Adaptive Server Anywhere 7.0", false},
    {"asa8", "QODBC", "Adaptive Server Anywhere 8.0", false},
    {"asa9", "QODBC", "Adaptive Server Anywhere 9.0", false},
    {"firebird-1.0", "QIBASE", "", false},
    {"firebird-1.5", "QIBASE", "", false},
    {"firebird-2.0", "QIBASE", "", false},
    {"firebirdd-1.5", "QIBASE", "", true},
    {"firebirdd-2.0", "QIBASE", "", true},
    {"interbase-5", "QIBASE", "", false},
    {"interbase-6", "QIBASE", "", false},
    {"mssql", "QODBC", "FreeTDS", false},
    {"mysql", "QMYSQL", "", false},
    {"mysql-4.1", "QMYSQL", "", false},
    {"mysql-5", "QMYSQL", "", false},
    {"mysqld-4.1", "QMYSQL", "", false},
    {"mysqld-5", "QMYSQL", "", false},
    {"oracle", "QODBC", "Oracle", false},
    {"oracle-9i", "QODBC", "Oracle", false},
    {"postgresql", "QPSQL", "", false},
    {"postgresql-7", "QPSQL", "", false},
    {"postgresql-8", "QPSQL", "", false},
    {"sqlite", "QSQLITE", "", false},
    {"sqlite-2.8", "QODBC", "SQLite", false},
    {"sqlite-3", "QSQLITE", "", false},
    {"sybase", "QODBC", "FreeTDS", false},
}};

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string QuotedIdentifier(std::string_view name, char quote) {
  std::string out(1, quote);
  for (char c : name) {
    out += c;
    if (c == quote) out += c;
  }
  out += quote;
  return out;
}

namespace {

std::string PartAsSql(std::string_view part, char quote) {
  return IsPlainIdentifier(part) ? std::string(part) : QuotedIdentifier(part, quote);
}

}  // namespace

std::optional<ExternalProtocol> ProtocolFor(std::string_view name) {
  while (!name.empty() && std::isspace(static_cast<unsigned char>(name.front()))) {
    name.remove_prefix(1);
  }
  while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) {
    name.remove_suffix(1);
  }
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const ProtocolEntry& e : kProtocols) {
    if (e.name == lower) {
      return ExternalProtocol{std::string(e.qt_driver), std::string(e.odbc_driver), e.embedded};
    }
  }
  return std::nullopt;
}

bool IsPlainIdentifier(std::string_view name) {
  if (name.empty() || IsDigit(name.front()) || name.front() == '$') return false;
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return IsAsciiLetter(c) || IsDigit(c) || c == '_' || c == '$'; });
}

std::string QuoteTableName(std::string_view name, char quote) {
  const std::size_t dot = name.find('.');
  if (dot != std::string_view::npos && IsPlainIdentifier(name.substr(0, dot))) {
    return std::string(name.substr(0, dot)) + "." + PartAsSql(name.substr(dot + 1), quote);
  }
  return PartAsSql(name, quote);
}

std::string OdbcValue(std::string_view value) {
  // Some drivers (SQLite's) take braces as part of the value: a value that
  // needs none goes as it is.
  const bool needs_braces =
      value.find_first_of(";{}") != std::string_view::npos ||
      (!value.empty() && (std::isspace(static_cast<unsigned char>(value.front())) ||
                          std::isspace(static_cast<unsigned char>(value.back()))));
  if (!needs_braces) return std::string(value);
  std::string out = "{";
  for (char c : value) {
    out += c;
    if (c == '}') out += c;
  }
  out += '}';
  return out;
}

std::string ImportTargetProblem(std::string_view name) {
  if (name.empty()) return "The target file name is empty.";
  if (name == "." || name == "..")
    return "The target file name \"" + std::string(name) + "\" names a folder.";
  if (name.find_first_of(std::string_view("/\\\0", 3)) != std::string_view::npos) {
    return "The target file name may not hold \"/\", \"\\\" or a NUL character.";
  }
  return "";
}

}  // namespace app
