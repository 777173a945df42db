// Field kinds from a Qt SQL record, and a cursor over the query's rows that
// reads one row's values at a time.
#include "SqlQueryDataSet.h"

#include <QDate>
#include <QDateTime>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QTime>

#include "ExternalConnection.h"

namespace app {
namespace {

constexpr double kMsecsPerDay = 86400000.0;

double DaySerial(const QDate& date) {
  return static_cast<double>(QDate(1899, 12, 30).daysTo(date));
}

}  // namespace

db::FieldDef FieldDefOf(const QSqlField& field, bool wide_integers) {
  db::FieldDef def;
  def.Name = field.name().toStdString();
  switch (field.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
      def.DataType = wide_integers ? db::FieldType::ftLargeint : db::FieldType::ftInteger;
      break;
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
      def.DataType = db::FieldType::ftLargeint;
      break;
    case QMetaType::Double:
    case QMetaType::Float:
      def.DataType = db::FieldType::ftFloat;
      break;
    case QMetaType::Bool:
      def.DataType = db::FieldType::ftBoolean;
      break;
    case QMetaType::QDate:
      def.DataType = db::FieldType::ftDate;
      break;
    case QMetaType::QTime:
      def.DataType = db::FieldType::ftTime;
      break;
    case QMetaType::QDateTime:
      def.DataType = db::FieldType::ftDateTime;
      break;
    case QMetaType::QByteArray:
      def.DataType = db::FieldType::ftBlob;
      break;
    default:
      // A text with a size of its own keeps it; text without one (PostgreSQL's
      // text, SQLite's columns) is a memo, so nothing is cut.
      if (field.length() > 0 && field.length() <= 65535) {
        def.DataType = db::FieldType::ftString;
        def.Size = field.length();
      } else {
        def.DataType = db::FieldType::ftMemo;
      }
  }
  return def;
}

SqlQueryDataSet::SqlQueryDataSet(QSqlQuery& query) : query_(query) { SetName("ZTable1"); }

SqlQueryDataSet::~SqlQueryDataSet() { Close(); }

void SqlQueryDataSet::InternalInitFieldDefs() {
  FieldDefs().Clear();
  const QSqlRecord record = query_.record();
  const bool wide = query_.driver()->dbmsType() == QSqlDriver::SQLite;
  for (int i = 0; i < record.count(); ++i) FieldDefs().Add(FieldDefOf(record.field(i), wide));
}

void SqlQueryDataSet::InternalOpen() {
  cursor_ = -1;
  loaded_ = -2;
  count_ = -1;
  row_.assign(static_cast<std::size_t>(FieldDefs().Count()), db::FieldValue{});
}

bool SqlQueryDataSet::Load(int row) {
  if (row < 0) return false;
  if (row == loaded_) return true;
  if (!query_.seek(row)) {
    if (query_.lastError().isValid()) throw db::DatabaseError(ErrorText(query_.lastError()));
    return false;
  }
  loaded_ = row;
  for (int i = 0; i < FieldCount(); ++i) {
    db::FieldValue& value = row_[static_cast<std::size_t>(i)];
    const QVariant v = query_.value(i);
    value.SetNull();
    if (v.isNull()) continue;
    value.is_null = false;
    const db::Field& field = Fields(i);
    switch (field.Kind()) {
      case db::StorageKind::kInteger:
        value.i = v.toLongLong();
        break;
      case db::StorageKind::kBoolean:
        value.i = v.toBool() ? 1 : 0;
        break;
      case db::StorageKind::kFloat:
        value.f = v.toDouble();
        break;
      case db::StorageKind::kDateTime:
        if (field.DataType() == db::FieldType::ftDate) {
          value.f = DaySerial(v.toDate());
        } else if (field.DataType() == db::FieldType::ftTime) {
          value.f = v.toTime().msecsSinceStartOfDay() / kMsecsPerDay;
        } else {
          const QDateTime dt = v.toDateTime();
          value.f = DaySerial(dt.date()) + dt.time().msecsSinceStartOfDay() / kMsecsPerDay;
        }
        break;
      case db::StorageKind::kBytes:
        if (v.typeId() == QMetaType::QByteArray) {
          const QByteArray bytes = v.toByteArray();
          value.s.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        } else {
          value.s = v.toString().toStdString();
        }
        break;
      default:
        value.s = v.toString().toStdString();
    }
  }
  return true;
}

bool SqlQueryDataSet::Accepts() {
  return !Filtered() || OfferToFilterHandler();
}

db::GetResult SqlQueryDataSet::GetRecord(db::GetMode mode, bool do_check) {
  const int start = cursor_;
  if (mode == db::GetMode::kCurrent) {
    if (cursor_ >= 0 && Load(cursor_) && Accepts()) return db::GetResult::grOK;
    if (do_check) Raise("No record");
    return db::GetResult::grError;
  }
  const int step = mode == db::GetMode::kNext ? 1 : -1;
  int next = cursor_;
  while (true) {
    next += step;
    if (next < 0) {
      cursor_ = start;
      return db::GetResult::grBOF;
    }
    if (!Load(next)) {
      cursor_ = start;
      return db::GetResult::grEOF;
    }
    cursor_ = next;
    if (Accepts()) return db::GetResult::grOK;
  }
}

void SqlQueryDataSet::ReadOnly() const { Raise("Cannot modify a read-only dataset"); }
void SqlQueryDataSet::InternalInsert(bool) { ReadOnly(); }
void SqlQueryDataSet::InternalEdit() { ReadOnly(); }
void SqlQueryDataSet::InternalPost() { ReadOnly(); }
void SqlQueryDataSet::InternalDelete() { ReadOnly(); }
void SqlQueryDataSet::SetFieldData(db::Field&, const db::FieldData*) { ReadOnly(); }

db::Bookmark SqlQueryDataSet::InternalGetBookmark() const {
  return {static_cast<db::RecordId>(cursor_), 0};
}

void SqlQueryDataSet::InternalGotoBookmark(const db::Bookmark& bookmark) {
  const int row = static_cast<int>(bookmark.id);
  if (!Load(row)) Raise(db::kSInvalidBookmark);
  cursor_ = row;
}

int SqlQueryDataSet::GetRecordCount() const {
  if (count_ >= 0) return count_;
  if (query_.driver()->hasFeature(QSqlDriver::QuerySize) && query_.size() >= 0) {
    count_ = query_.size();
    return count_;
  }
  // Counted once by walking to the last row; the next read moves back.
  QSqlQuery& q = const_cast<QSqlQuery&>(query_);
  const_cast<SqlQueryDataSet*>(this)->loaded_ = -2;
  count_ = q.last() ? q.at() + 1 : 0;
  return count_;
}

bool SqlQueryDataSet::GetFieldData(const db::Field& field, db::FieldData& data) const {
  if (cursor_ < 0) return false;
  // Counting the rows moved the query away; the current row is read again.
  if (loaded_ != cursor_ && !const_cast<SqlQueryDataSet*>(this)->Load(cursor_)) return false;
  const db::FieldValue& value = row_[static_cast<std::size_t>(field.FieldNo() - 1)];
  if (value.is_null) return false;
  data.i = value.i;
  data.f = value.f;
  data.s = value.s;
  return true;
}

}  // namespace app
