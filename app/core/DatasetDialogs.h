// What the filter, find and CSV-export dialogs do to the dataset they serve,
// without a window: composing a filter text at the caret, storing and applying
// it, removing it, finding a value (exact, then onward), and exporting the rows
// to a CSV file.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "db/DataSet.h"

namespace app {

// The items of the filter dialog's expression list, in order ("*" twice).
inline constexpr std::array<std::string_view, 33> kFilterExpressions = {
    "=",     "<>",       "<",     ">",     "<=",   ">=",      "IS NULL", "IS NOT NULL", "AND",
    "OR",    "NOT",      "+",     "-",     "*",    "/",       "LIKE",    "IN",          "*",
    "Upper", "Lower",    "SubString", "Trim", "TrimLeft", "TrimRight", "Year", "Month", "Day",
    "Hour",  "Minute",   "Second", "GetDate", "Date", "Time"};

// The size of the Filters table's FILTERTEXT.
inline constexpr std::size_t kFilterTextSize = 100;

inline constexpr std::string_view kNotFound = "Not found.";
inline constexpr std::string_view kApplyFilterError = "Error while trying to apply filter. ";
inline constexpr std::string_view kExportFailed = " I could not export the dataset. ";
inline constexpr std::string_view kExportDone = "Dataset is successfully exported to the file: ";

// One line of the memo with `item` put in at byte `caret`: the text before the
// caret, a blank, the item, the rest of the line and a blank at its end
// ("a|b" with "=" gives "a =b "). `caret` past the end counts as the end.
// `new_caret`, when given, receives the position just after the item.
std::string InsertAtCaret(std::string_view line, std::size_t caret, std::string_view item,
                          std::size_t* new_caret = nullptr);

// The filter text as the Filters table keeps it: trailing blanks dropped (a
// character field reads back without them).
std::string StoredFilterText(std::string_view text);
// The message for a filter text that does not fit FILTERTEXT, or "" when it
// fits. Such a text is neither stored nor applied: cut, it could be another
// valid expression that shows other rows.
std::string FilterTextTooLong(std::string_view text);

// Stores `text` as FILTERTEXT of the current row of `filters` and posts it; with
// no row at all a new one is appended (its project is stamped by the table's
// own rule). The table's errors pass out, the row left in edit.
void StoreFilterText(db::DataSet& filters, std::string_view text);

// Apply Filter's steps on the target, after the text was stored: with the
// target's controls disabled, sets its Filter to `text` and switches Filtered
// on. When the filter is refused, Filter becomes "" and Filtered goes back to
// what it was before, and the returned message is "Error while trying to apply
// filter. " + the reason; "" when applied. The target is refreshed in every
// case (when open). `store`, when given, runs first with the controls already
// disabled; its exception passes out after the refresh, the filter untouched.
std::string ApplyFilter(db::DataSet& target, std::string_view text,
                        const std::function<void()>& store = {});

// Remove Filter: Filtered off, Filter "", Filtered on (every row shows).
void RemoveFilter(db::DataSet& target);

// Find: the first row whose field `field_name` holds `value` exactly (the
// target's Locate), made current. False when there is none. Throws for an empty
// field name ("No field (column) is selected."), a closed target and a field it
// lacks, and when `value` cannot be a value of the field.
bool FindValue(db::DataSet& target, std::string_view field_name, std::string_view value);

// Find Next: walks forward from the row after the current one and stops at the
// first whose field `field_name` matches `value` (FieldMatchesText). False when
// none does: the current row is then the one it was. Never throws for the field
// name or the value: an unknown name or a value the field's kind cannot take
// matches nothing.
bool FindNextValue(db::DataSet& target, std::string_view field_name, std::string_view value);

// A text field matches the identical text; a field of another kind matches when
// `text` converts to its kind and the values are equal (numbers as numbers,
// "True"/"False" for truth values, "yyyy-mm-dd[ hh:mm[:ss]]" for dates); a null
// value matches nothing.
bool FieldMatchesText(const db::Field& field, std::string_view text);

// Writes every row that `target` shows, in its order, to `file_name`: the field
// names joined by ";", then one line per row, text values in double quotes (an
// inner quote doubled), truth values "True"/"False", dates "YYYY-MM-DD",
// date-times "YYYY-MM-DD HH:MM:SS", other kinds as their text with "." as the
// decimal point, null as nothing; every line ends with a line feed. The file is
// replaced whole or not at all, and the target is back on its row afterwards.
// Throws "No filename set for export" for an empty name, "Dataset not in browse
// mode" for a target closed or being edited, and the writer's errors.
void ExportToCsv(db::DataSet& target, const std::string& file_name);

}  // namespace app
