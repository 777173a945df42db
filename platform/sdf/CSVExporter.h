// TCSVExporter: writes the rows of a dataset to a delimited text file, one line
// per row after an optional header line of field names.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace db {
class DataSet;
}

namespace sdf {

enum class TQuoteStrings {
  qsNever,   // text values as they are
  qsAlways,  // text values between the quote character, also when empty; the
             // text inside is written unchanged (quotes are not doubled)
};

struct TCSVFormatSettings {
  char FieldDelimiter = ',';
  bool HeaderRow = true;
  TQuoteStrings QuoteStrings = TQuoteStrings::qsNever;
  char QuoteChar = '"';
  // Under qsAlways: a quote character inside a text is written twice (a"b
  // gives "a""b"), so that every CSV reader reads the text back whole.
  bool DoubleQuoteChar = false;
  std::string BooleanFalse = "False";
  std::string BooleanTrue = "True";
  // Patterns of date fields and of date-time and time-stamp fields: yyyy, yy,
  // mm (minutes when the token before it is an hour, with only other
  // characters between, as in "hh:mm"; else month), m, dd, d, hh, h, nn, n,
  // ss, s; any other character, a lone "y" included, as it is; letter case is
  // ignored. The value is rounded to whole seconds. Quoted under qsAlways are
  // only ftString, ftFixedChar, ftWideString and ftFixedWideChar; time fields,
  // currency, memos and all other kinds are written as the field's own text
  // (AsString), without quotes.
  std::string DateFormat = "yyyy-mm-dd";
  std::string DateTimeFormat = "yyyy-mm-dd hh:mm:ss";
  // The decimal separator of float, currency and BCD fields; '\0' writes with
  // the process-wide one.
  char DecimalSeparator = '\0';
  // When set, every value's text, of every field kind (null as ""), is
  // appended to the line through it instead of as it stands, and QuoteStrings
  // is not applied: a writer of a file format with its own cell encoding
  // plugs that in here.
  std::function<void(std::string_view text, std::string& out)> EncodeValue;
};

class TCSVExporter {
 public:
  db::DataSet* Dataset() const { return dataset_; }
  void SetDataset(db::DataSet* dataset) { dataset_ = dataset; }
  const std::string& FileName() const { return file_name_; }
  void SetFileName(std::string name) { file_name_ = std::move(name); }
  // False: the export starts at the first row; true: at the current one (also
  // when the dataset stands at its end with the last row current, as after Last).
  bool FromCurrent() const { return from_current_; }
  void SetFromCurrent(bool value) { from_current_ = value; }
  // True: the dataset is back on the row that was current before, afterwards.
  bool RestorePosition() const { return restore_position_; }
  void SetRestorePosition(bool value) { restore_position_ = value; }
  TCSVFormatSettings& FormatSettings() { return settings_; }
  const TCSVFormatSettings& FormatSettings() const { return settings_; }

  // Writes the header line (the names of all fields in field order) when
  // HeaderRow is set, then one line per row the dataset shows, walking it from
  // the first (or current) row to its end; every line ends with a line feed; n
  // fields give n - 1 delimiters, null values give empty fields (text fields
  // under qsAlways give two quote characters). The dataset's controls are
  // disabled meanwhile, and a pending edit is posted first. With
  // RestorePosition the dataset goes back to its row afterwards, after a
  // failure too (when that row still exists). The file is written whole or not at all: the rows go
  // to a temporary file beside it that replaces it at the end, so a failure
  // leaves the old file as it was. Throws db::DatabaseError without a dataset
  // ("Dataset not assigned"), for a closed one, and for a file that cannot be
  // written ("Could not write file <name>: <reason>").
  void Execute();

 private:
  // Writes the header and the rows; the dataset's position and controls are
  // Execute's concern.
  void WriteFile(db::DataSet& ds) const;

  db::DataSet* dataset_ = nullptr;
  std::string file_name_;
  bool from_current_ = false;
  bool restore_position_ = false;
  TCSVFormatSettings settings_;
};

}  // namespace sdf
