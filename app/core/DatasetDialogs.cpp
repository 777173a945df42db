// The dialogs' operations on their target dataset: filter text composition,
// storing and applying, Find and Find Next, and the CSV export.
#include "DatasetDialogs.h"

#include <cmath>
#include <exception>

#include "sdf/CSVExporter.h"
#include "db/DatabaseError.h"
#include "rtl/Numbers.h"

namespace app {

std::string InsertAtCaret(std::string_view line, std::size_t caret, std::string_view item,
                          std::size_t* new_caret) {
  caret = std::min(caret, line.size());
  std::string result;
  result.reserve(line.size() + item.size() + 2);
  result.append(line.substr(0, caret));
  result += ' ';
  result.append(item);
  if (new_caret != nullptr) *new_caret = result.size();
  result.append(line.substr(caret));
  result += ' ';
  return result;
}

std::string StoredFilterText(std::string_view text) {
  const std::size_t end = text.find_last_not_of(' ');
  return std::string(end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1));
}

std::string FilterTextTooLong(std::string_view text) {
  const std::size_t length = StoredFilterText(text).size();
  if (length <= kFilterTextSize) return {};
  return "The filter text is " + std::to_string(length) + " characters long; a saved filter holds " +
         std::to_string(kFilterTextSize) + ". It was neither saved nor applied.";
}

void StoreFilterText(db::DataSet& filters, std::string_view text) {
  const db::DataSetState state = filters.State();
  if (state != db::DataSetState::kEdit && state != db::DataSetState::kInsert) {
    // Edit on a table without rows appends one.
    filters.Edit();
  }
  filters.FieldByName("FILTERTEXT").SetAsString(StoredFilterText(text));
  filters.Post();
}

std::string ApplyFilter(db::DataSet& target, std::string_view text,
                        const std::function<void()>& store) {
  const bool was_filtered = target.Filtered();
  std::string error;
  auto refresh = [&target] {
    if (target.Active()) target.Refresh();
  };
  target.DisableControls();
  try {
    if (store) store();
    try {
      target.SetFilterText(text);
      target.SetFiltered(true);
    } catch (const std::exception& e) {
      // The refused text must not look applied: the rows all show, and the
      // switch is where the user left it.
      error = std::string(kApplyFilterError) + e.what();
      target.SetFilterText("");
      target.SetFiltered(was_filtered);
    }
  } catch (...) {
    try {
      refresh();
    } catch (...) {
      // The store's own error is the one to report.
    }
    target.EnableControls();
    throw;
  }
  try {
    refresh();
  } catch (...) {
    target.EnableControls();
    throw;
  }
  target.EnableControls();
  return error;
}

void RemoveFilter(db::DataSet& target) {
  target.SetFiltered(false);
  target.SetFilterText("");
  target.SetFiltered(true);
}

bool FindValue(db::DataSet& target, std::string_view field_name, std::string_view value) {
  if (field_name.empty()) throw db::DatabaseError("No field (column) is selected.");
  target.CheckActive();
  target.DisableControls();
  bool found = false;
  try {
    found = target.Locate(field_name, rtl::Variant::Text(value),
                          db::loCaseInsensitive | db::loPartialKey);
  } catch (...) {
    target.EnableControls();
    throw;
  }
  target.EnableControls();
  return found;
}

namespace {

bool SameSecond(double a, double b) {
  return std::llround(a * 86400.0) == std::llround(b * 86400.0);
}

}  // namespace

bool FieldMatchesText(const db::Field& field, std::string_view text) {
  if (field.IsNull()) return false;
  switch (field.Kind()) {
    case db::StorageKind::kText:
    case db::StorageKind::kBytes:
      return field.AsString() == text;
    case db::StorageKind::kInteger:
      if (const auto number = rtl::TextToInt64(text)) return *number == field.AsInteger();
      if (const auto number = rtl::TextToFloat(text)) {
        return *number == static_cast<double>(field.AsInteger());
      }
      return false;
    case db::StorageKind::kFloat:
    case db::StorageKind::kBcd:
      if (const auto number = rtl::TextToFloat(text)) return *number == field.AsFloat();
      return false;
    case db::StorageKind::kBoolean:
      if (const auto truth = rtl::TextToBool(text)) return *truth == field.AsBoolean();
      return false;
    case db::StorageKind::kDateTime: {
      double serial = 0;
      return db::ParseDateTimeText(text, serial) && SameSecond(serial, field.AsDateTime());
    }
  }
  return false;
}

bool FindNextValue(db::DataSet& target, std::string_view field_name, std::string_view value) {
  if (!target.Active() || target.IsEmpty()) return false;
  db::Field* field = field_name.empty() ? nullptr : target.FindField(field_name);
  // Without a field nothing can match: the walk would end where it started.
  if (field == nullptr) return false;
  const db::Bookmark start = target.GetBookmark();
  bool found = false;
  target.DisableControls();
  try {
    // At the last row (or past it) Next only marks the end: nothing after it
    // is compared, the current row included.
    target.Next();
    while (!target.Eof()) {
      bool match = false;
      try {
        match = FieldMatchesText(*field, value);
      } catch (const std::exception&) {
        // A value that cannot be read in its kind matches nothing.
      }
      if (match) {
        found = true;
        break;
      }
      target.Next();
    }
    if (!found && start.IsSet() && target.BookmarkValid(start)) target.GotoBookmark(start);
  } catch (...) {
    target.EnableControls();
    throw;
  }
  target.EnableControls();
  return found;
}

void ExportToCsv(db::DataSet& target, const std::string& file_name) {
  if (file_name.empty()) throw db::DatabaseError("No filename set for export");
  if (target.State() != db::DataSetState::kBrowse) {
    throw db::DatabaseError("Dataset not in browse mode");
  }
  sdf::TCSVExporter exporter;
  exporter.SetDataset(&target);
  exporter.SetFileName(file_name);
  exporter.SetFromCurrent(false);
  exporter.SetRestorePosition(true);
  sdf::TCSVFormatSettings& settings = exporter.FormatSettings();
  settings.FieldDelimiter = ';';
  settings.HeaderRow = true;
  settings.QuoteStrings = sdf::TQuoteStrings::qsAlways;
  settings.QuoteChar = '"';
  settings.DoubleQuoteChar = true;
  settings.BooleanTrue = "True";
  settings.BooleanFalse = "False";
  settings.DateFormat = "yyyy-mm-dd";
  settings.DateTimeFormat = "yyyy-mm-dd hh:mm:ss";
  exporter.Execute();
}

}  // namespace app
