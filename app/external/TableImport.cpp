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

#include "AtomicFile.h"
#include "DatabaseError.h"
#include "ExternalConnection.h"
#include "Separators.h"
#include "vekSQL.h"

namespace app {
namespace {

std::string DateTimeText(const QDateTime& dt) {
  const QString format =
      dt.time().msec() != 0 ? "yyyy-MM-dd hh:mm:ss.zzz" : "yyyy-MM-dd hh:mm:ss";
  return dt.toString(format).toStdString();
}

}  // namespace

std::string ImportedValueText(const QVariant& value, bool number_column) {
  if (value.isNull()) return "";
  switch (value.typeId()) {
    case QMetaType::Bool:
      return value.toBool() ? "True" : "False";
    case QMetaType::QDate:
      return value.toDate().toString("yyyy-MM-dd").toStdString();
    case QMetaType::QTime:
      return value.toTime().toString(value.toTime().msec() != 0 ? "hh:mm:ss.zzz" : "hh:mm:ss")
          .toStdString();
    case QMetaType::QDateTime:
      return DateTimeText(value.toDateTime());
    case QMetaType::QByteArray: {
      const QByteArray bytes = value.toByteArray();
      return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
    case QMetaType::Double:
    case QMetaType::Float: {
      // Only when a driver gave a binary double (SQLite's REAL): the shortest
      // text that reads back as the same double.
      char digits[32];
      const auto end = std::to_chars(digits, digits + sizeof digits, value.toDouble()).ptr;
      std::string text(digits, end);
      for (char& c : text) {
        if (c == '.') c = rtl::DecimalSeparator();
      }
      return text;
    }
    default:
      break;
  }
  std::string text = value.toString().toStdString();
  // A fractional number fetched as the server's text ("12.5000") takes the
  // process-wide decimal separator; its digits stay as they are.
  if (number_column && rtl::DecimalSeparator() != '.') {
    for (char& c : text) {
      if (c == '.') c = rtl::DecimalSeparator();
    }
  }
  return text;
}

long long WriteQueryToTableFile(QSqlQuery& query, const std::string& file,
                                const std::vector<bool>& number_columns) {
  const QSqlRecord record = query.record();
  const int columns = record.count();
  if (columns == 0) throw db::DatabaseError("The table has no columns");
  std::vector<std::string> names;
  std::vector<bool> numbers = number_columns;
  for (int i = 0; i < columns; ++i) {
    names.push_back(record.fieldName(i).toStdString());
    const int type = record.field(i).metaType().id();
    if (number_columns.empty()) numbers.push_back(type == QMetaType::Double || type == QMetaType::Float);
  }
  numbers.resize(static_cast<std::size_t>(columns), false);
  if (const vek::Status s = vek::CheckHeaderNames(names); !s.ok()) {
    throw db::DatabaseError(s.message());
  }
  rtl::AtomicFileWriter writer(file);
  auto check = [&](bool ok) {
    if (!ok) throw db::DatabaseError(writer.Error());
  };
  check(writer.Open());
  std::string& out = writer.Buffer();
  for (int i = 0; i < columns; ++i) {
    if (i > 0) out += ';';
    out += names[static_cast<std::size_t>(i)];
  }
  out += '\n';
  long long rows = 0;
  // next() answers false at the end and on a failed fetch alike: the error
  // tells them apart.
  while (query.next()) {
    for (int i = 0; i < columns; ++i) {
      if (i > 0) out += ';';
      vek::EncodeCell(ImportedValueText(query.value(i), numbers[static_cast<std::size_t>(i)]), out);
    }
    out += '\n';
    ++rows;
    check(writer.WriteIfFull());
  }
  if (query.lastError().isValid()) {
    throw db::DatabaseError("Reading the rows failed after row " + std::to_string(rows) + ": " +
                            ErrorText(query.lastError()));
  }
  check(writer.Commit());
  return rows;
}

}  // namespace app
