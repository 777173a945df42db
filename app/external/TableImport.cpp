// The streaming writer of imported tables.
#include "TableImport.h"

#include <QDate>
#include <QDateTime>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>
#include <QTime>
#include <charconv>
#include <vector>

#include "ImportFile.h"
#include "MySqlStream.h"
#include "PgStream.h"
#include "db/DatabaseError.h"
#include "ExternalConnection.h"
#include "rtl/Separators.h"

namespace app {
namespace {

void AppendDigits(std::string& out, int value, int width) {
  char digits[12];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  for (int pad = width - static_cast<int>(end - digits); pad > 0; --pad) out += '0';
  out.append(digits, end);
}

void AppendDate(std::string& out, const QDate& date) {
  int y = 0, m = 0, d = 0;
  date.getDate(&y, &m, &d);
  if (y < 0) {
    out += '-';
    y = -y;
  }
  AppendDigits(out, y, 4);
  out += '-';
  AppendDigits(out, m, 2);
  out += '-';
  AppendDigits(out, d, 2);
}

void AppendTime(std::string& out, const QTime& time) {
  AppendDigits(out, time.hour(), 2);
  out += ':';
  AppendDigits(out, time.minute(), 2);
  out += ':';
  AppendDigits(out, time.second(), 2);
  if (time.msec() != 0) {
    out += '.';
    AppendDigits(out, time.msec(), 3);
  }
}

// UTF-16 to UTF-8, without a temporary for the common all-ASCII text.
void AppendText(std::string& out, const QString& text) {
  const char16_t* p = reinterpret_cast<const char16_t*>(text.constData());
  const qsizetype n = text.size();
  for (qsizetype i = 0; i < n; ++i) {
    if (p[i] >= 0x80) {
      const QByteArray utf8 = text.toUtf8();
      out.append(utf8.constData(), static_cast<std::size_t>(utf8.size()));
      return;
    }
  }
  const std::size_t start = out.size();
  out.resize(start + static_cast<std::size_t>(n));
  for (qsizetype i = 0; i < n; ++i)
    out[start + static_cast<std::size_t>(i)] = static_cast<char>(p[i]);
}

template <class T>
void AppendNumber(std::string& out, T value) {
  char digits[32];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, end);
}

// The text of `value` into `out` (emptied first).
void ValueText(const QVariant& value, bool number_column, std::string& out) {
  out.clear();
  if (value.isNull()) return;
  switch (value.typeId()) {
    case QMetaType::Bool:
      out = value.toBool() ? "True" : "False";
      return;
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::SChar:
    case QMetaType::Char:
    case QMetaType::Long:
    case QMetaType::LongLong:
      AppendNumber(out, value.toLongLong());
      return;
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
      AppendNumber(out, value.toULongLong());
      return;
    case QMetaType::QDate:
      AppendDate(out, value.toDate());
      return;
    case QMetaType::QTime:
      AppendTime(out, value.toTime());
      return;
    case QMetaType::QDateTime: {
      const QDateTime dt = value.toDateTime();
      AppendDate(out, dt.date());
      out += ' ';
      AppendTime(out, dt.time());
      return;
    }
    case QMetaType::QByteArray: {
      const QByteArray bytes = value.toByteArray();
      out.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
      return;
    }
    case QMetaType::Double:
    case QMetaType::Float:
      // Only when a driver gave a binary double (SQLite's REAL): the shortest
      // text that reads back as the same double.
      AppendNumber(out, value.toDouble());
      break;
    case QMetaType::QString:
      AppendText(out, *static_cast<const QString*>(value.constData()));
      break;
    default:
      AppendText(out, value.toString());
      break;
  }
  // A fractional number fetched as the server's text ("12.5000") takes the
  // process-wide decimal separator; its digits stay as they are.
  const char separator = rtl::DecimalSeparator();
  if (number_column && separator != '.') {
    for (char& c : out) {
      if (c == '.') c = separator;
    }
  }
}

}  // namespace

std::string ImportedValueText(const QVariant& value, bool number_column) {
  std::string text;
  ValueText(value, number_column, text);
  return text;
}

long long WriteQueryToTableFile(QSqlQuery& query, const std::string& file,
                                const std::vector<bool>& number_columns) {
  const QSqlRecord record = query.record();
  const int columns = record.count();
  std::vector<std::string> names;
  std::vector<bool> numbers = number_columns;
  for (int i = 0; i < columns; ++i) {
    names.push_back(record.fieldName(i).toStdString());
    const int type = record.field(i).metaType().id();
    if (number_columns.empty())
      numbers.push_back(type == QMetaType::Double || type == QMetaType::Float);
  }
  numbers.resize(static_cast<std::size_t>(columns), false);
  ImportFile import(file, names);
  std::string value;
  long long rows = 0;
  // next() answers false at the end and on a failed fetch alike: the error
  // tells them apart.
  while (query.next()) {
    for (int i = 0; i < columns; ++i) {
      // The value's text already has the process-wide decimal separator.
      ValueText(query.value(i), numbers[static_cast<std::size_t>(i)], value);
      import.AppendCell(value);
    }
    import.EndRow();
    ++rows;
  }
  if (query.lastError().isValid()) {
    throw db::DatabaseError("Reading the rows failed after row " + std::to_string(rows) + ": " +
                            ErrorText(query.lastError()));
  }
  import.Commit();
  return rows;
}

namespace {

// A client library's stream of a table's rows.
template <class Stream>
class StreamRows : public TableRows {
 public:
  StreamRows(ExternalConnection& connection, const std::string& table)
      : stream_(connection.Handle(), connection.SelectAllSql(table)) {}
  long long WriteTo(const std::string& file) override { return stream_.WriteTo(file); }

 private:
  Stream stream_;
};

// A table's rows read through Qt's driver.
class QueryRows : public TableRows {
 public:
  QueryRows(ExternalConnection& connection, const std::string& table)
      : query_(connection.OpenTable(table, true, &numbers_)) {}
  long long WriteTo(const std::string& file) override {
    return WriteQueryToTableFile(query_, file, numbers_);
  }

 private:
  std::vector<bool> numbers_;
  QSqlQuery query_;
};

}  // namespace

std::unique_ptr<TableRows> OpenTableRows(ExternalConnection& connection, const std::string& table) {
  if (connection.Driver() == "QMYSQL") {
    return std::make_unique<StreamRows<MySqlTableStream>>(connection, table);
  }
  if (connection.Driver() == "QPSQL") {
    return std::make_unique<StreamRows<PgTableStream>>(connection, table);
  }
  return std::make_unique<QueryRows>(connection, table);
}

}  // namespace app
