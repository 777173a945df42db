// Table files as the engine reads and writes them, for the dataset package:
// the engine's row rules for the delimited-text reader, and a writer of any
// open dataset in the engine's cell encoding. One format on both sides, so
// that a value saved by either side reads back the same through the other.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sdf/SdfDataSet.h"

namespace db {
class DataSet;
}
class TVoBufDataset;

// Cuts one row line of a table file into its values by the engine's rules
// (vek::SplitText, then vek::DecodeCell for each piece), decoding them in
// place in the line. An empty line has no values. Plugged into a
// sdf::TSdfDataSet with SetRowCutter.
void CutTableFileRow(std::span<char> line, std::vector<sdf::TSdfValue>& values);

// Appends one row's texts, in field order, to `out`, its line end included.
using TStoredRowWriter =
    std::function<void(const std::vector<std::string_view>& texts, std::string& out)>;

// Writes `dataset`'s rows, in its current order, straight from its stored
// records to `file_name` (whole or not at all): the `names` joined by ";" as
// the first line, then each row through `append_row`. No cursor move and no
// field read per value: a million rows in a fraction of the time. False, with
// nothing written, when a field is not a stored text or the dataset cannot be
// walked so (not browsing, no usable index); the file's errors are thrown
// (db::DatabaseError).
bool WriteStoredTextRows(TVoBufDataset& dataset, const std::vector<std::string>& names,
                         const std::string& file_name, const TStoredRowWriter& append_row);

struct TableFileOptions {
  // True: every row, with the dataset's filter switched off meanwhile (a
  // table's data is saved whole); false: only the rows the filter lets through.
  bool all_rows = true;
  // The decimal separator of float fields; '\0' writes with the process-wide one.
  char decimal_separator = '\0';
};

// Writes `dataset` to `file_name` as a table file: the field names joined by
// ";" as they are, then one line per row in the dataset's current order, every
// value's text (null as "", booleans "True"/"False", dates yyyy-mm-dd, date-
// times yyyy-mm-dd hh:mm:ss) encoded by vek::EncodeCell, every line ending in
// a line feed. A pending edit is posted first; afterwards the filter flag and
// the current row are as they were, also after a failure, and the controls are
// enabled again. The file is replaced whole or not at all.
// Throws db::DatabaseError for a closed dataset, for field names that the
// header line could not keep ("Invalid column name: " + name), and for a file
// that cannot be written ("Could not write file <name>: <reason>"); the old
// file then stays as it was.
void SaveDataSetToTableFile(db::DataSet& dataset, const std::string& file_name,
                            const TableFileOptions& options = {});
