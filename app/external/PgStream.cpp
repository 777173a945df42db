// PostgreSQL's single-row mode written straight to a table file.
#include "PgStream.h"

#include <libpq-fe.h>

#include <vector>

#include "ImportFile.h"
#include "db/DatabaseError.h"

namespace app {
namespace {

// Type numbers of the server's catalogue.
constexpr Oid kBool = 16;
constexpr Oid kBytea = 17;
constexpr Oid kFloat4 = 700;
constexpr Oid kFloat8 = 701;
constexpr Oid kNumeric = 1700;

PGconn* Conn(void* p) { return static_cast<PGconn*>(p); }

std::string ResultError(const PGresult* result) {
  std::string text = PQresultErrorMessage(result);
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text.empty() ? "Unknown error" : text;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// bytea's text "\x6162" as the bytes "ab"; the older escape form through the
// client library.
void ByteaBytes(std::string_view text, std::string& out) {
  out.clear();
  if (text.starts_with("\\x")) {
    for (std::size_t i = 2; i + 1 < text.size(); i += 2) {
      out += static_cast<char>(HexDigit(text[i]) * 16 + HexDigit(text[i + 1]));
    }
    return;
  }
  std::size_t length = 0;
  unsigned char* bytes =
      PQunescapeBytea(reinterpret_cast<const unsigned char*>(std::string(text).c_str()), &length);
  if (bytes != nullptr) {
    out.assign(reinterpret_cast<const char*>(bytes), length);
    PQfreemem(bytes);
  }
}

}  // namespace

PgTableStream::PgTableStream(const QVariant& handle, const std::string& sql) {
  const std::string_view type = handle.isValid() ? handle.typeName() : "";
  if (type == "PGconn*" || type == "pg_conn*") {
    connection_ = *static_cast<PGconn* const*>(handle.data());
  }
  if (connection_ == nullptr) throw db::DatabaseError("Not connected");
  if (PQsendQuery(Conn(connection_), sql.c_str()) == 0) {
    throw db::DatabaseError(PQerrorMessage(Conn(connection_)));
  }
  PQsetSingleRowMode(Conn(connection_));
  PGresult* first = PQgetResult(Conn(connection_));
  const ExecStatusType status = first == nullptr ? PGRES_FATAL_ERROR : PQresultStatus(first);
  if (status != PGRES_SINGLE_TUPLE && status != PGRES_TUPLES_OK) {
    const std::string error = first != nullptr ? ResultError(first) : "No result";
    PQclear(first);
    while (PGresult* rest = PQgetResult(Conn(connection_))) PQclear(rest);
    connection_ = nullptr;
    throw db::DatabaseError(error);
  }
  result_ = first;
}

PgTableStream::~PgTableStream() {
  PQclear(static_cast<PGresult*>(result_));
  if (connection_ != nullptr) {
    while (PGresult* rest = PQgetResult(Conn(connection_))) PQclear(rest);
  }
}

long long PgTableStream::WriteTo(const std::string& file) {
  PGresult* result = static_cast<PGresult*>(result_);
  const int columns = PQnfields(result);
  std::vector<std::string> names;
  std::vector<Oid> types;
  for (int i = 0; i < columns; ++i) {
    names.emplace_back(PQfname(result, i));
    types.push_back(PQftype(result, i));
  }
  ImportFile import(file, names);
  std::string value;
  long long rows = 0;
  while (result != nullptr) {
    const ExecStatusType status = PQresultStatus(result);
    if (status == PGRES_TUPLES_OK) break;  // the end of the rows
    if (status != PGRES_SINGLE_TUPLE) {
      throw db::DatabaseError("Reading the rows failed after row " + std::to_string(rows) + ": " +
                              ResultError(result));
    }
    for (int i = 0; i < columns; ++i) {
      if (PQgetisnull(result, 0, i)) {
        import.AppendCell({});  // NULL is written as ""
        continue;
      }
      std::string_view text(PQgetvalue(result, 0, i),
                            static_cast<std::size_t>(PQgetlength(result, 0, i)));
      bool fractional = false;
      switch (types[static_cast<std::size_t>(i)]) {
        case kBool:
          text = text == "t" ? "True" : "False";
          break;
        case kBytea:
          ByteaBytes(text, value);
          text = value;
          break;
        case kNumeric:
        case kFloat4:
        case kFloat8:
          fractional = true;
          break;
        default:
          break;
      }
      import.AppendCell(text, fractional);
    }
    import.EndRow();
    ++rows;
    PQclear(result);
    result = PQgetResult(Conn(connection_));
    result_ = result;
  }
  if (result == nullptr) {
    throw db::DatabaseError("Reading the rows failed after row " + std::to_string(rows) +
                            ": the connection gave no end of the rows");
  }
  import.Commit();
  return rows;
}

}  // namespace app
