// The dataset package's side of the table-file format: row lines cut and
// decoded by the engine's own rules, and whole datasets written with the
// engine's cell encoding through the CSV exporter's value forms.
#include "datasets/VoTableFile.h"

#include <cstring>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "datasets/VoQueryDataSet.h"
#include "db/DatabaseError.h"
#include "db/DataSet.h"
#include "engine/vekSQLTextTable.h"
#include "rtl/AtomicFile.h"
#include "sdf/CSVExporter.h"

namespace {

// A line with a quote or an escape goes through the engine's own splitter and
// decoder. Its pieces are the stretches of the line between the separators
// outside quotes, one after the other; each decoded value is no longer than
// its piece, so it is written back where the piece stood.
void CutSpecialRow(std::span<char> line, std::vector<sdf::TSdfValue>& values) {
  std::vector<std::string_view> pieces;
  vek::SplitTextViews(std::string_view(line.data(), line.size()), pieces);
  for (const std::string_view piece : pieces) {
    const auto offset = static_cast<std::size_t>(piece.data() - line.data());
    const std::string value = vek::DecodeCell(piece);
    if (value.size() > piece.size()) {
      throw std::logic_error("CutTableFileRow: a decoded value outgrows its piece");
    }
    std::memcpy(line.data() + offset, value.data(), value.size());
    values.push_back({offset, value.size()});
  }
}

}  // namespace

bool WriteStoredTextRows(TVoBufDataset& dataset, const std::vector<std::string>& names,
                         const std::string& file_name, const TStoredRowWriter& append_row) {
  std::vector<int> numbers;
  numbers.reserve(static_cast<std::size_t>(dataset.FieldCount()));
  for (int i = 0; i < dataset.FieldCount(); ++i) {
    const db::Field& field = dataset.Fields(i);
    if (field.Kind() != db::StorageKind::kText || field.FieldNo() < 1) return false;
    numbers.push_back(field.FieldNo() - 1);
  }
  rtl::AtomicFileWriter writer(file_name);
  if (!writer.Open()) throw db::DatabaseError(writer.Error());
  std::string& out = writer.Buffer();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i != 0) out += ';';
    out += names[i];
  }
  out += '\n';
  bool ok = true;
  const bool walked =
      dataset.VisitStoredTexts(numbers, [&](const std::vector<std::string_view>& texts) {
        if (!ok) return;
        append_row(texts, out);
        ok = writer.WriteIfFull();
      });
  // Not walked: the temporary file goes with the writer, the target untouched.
  if (!walked) return false;
  if (!ok || !writer.Commit()) throw db::DatabaseError(writer.Error());
  return true;
}

void CutTableFileRow(std::span<char> line, std::vector<sdf::TSdfValue>& values) {
  values.clear();
  if (line.empty()) return;
  // Nearly every line holds neither quotes nor escapes: its values are the
  // stretches between the separators, as they stand. A line that holds one
  // anywhere is cut by the engine's splitter instead. Sixteen bytes at a time
  // where the processor allows: every byte of a table passes here.
  const char* const begin = line.data();
  const std::size_t size = line.size();
  std::size_t cell = 0;
  std::size_t pos = 0;
  auto separator_at = [&](std::size_t at) {
    values.push_back({cell, at - cell});
    cell = at + 1;
  };
#if defined(__SSE2__)
  const __m128i semicolon = _mm_set1_epi8(';');
  const __m128i double_quote = _mm_set1_epi8('"');
  const __m128i apostrophe = _mm_set1_epi8('\'');
  const __m128i backtick = _mm_set1_epi8('`');
  const __m128i backslash = _mm_set1_epi8('\\');
  for (; size - pos >= 16; pos += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(begin + pos));
    const __m128i quoted =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, double_quote), _mm_cmpeq_epi8(v, apostrophe)),
                     _mm_or_si128(_mm_cmpeq_epi8(v, backtick), _mm_cmpeq_epi8(v, backslash)));
    if (_mm_movemask_epi8(quoted) != 0) {
      values.clear();
      CutSpecialRow(line, values);
      return;
    }
    for (auto semis = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, semicolon)));
         semis != 0; semis &= semis - 1) {
      separator_at(pos + static_cast<std::size_t>(__builtin_ctz(semis)));
    }
  }
#endif
  for (; pos < size; ++pos) {
    const char c = begin[pos];
    if (c == ';') {
      separator_at(pos);
    } else if (c == '"' || c == '\'' || c == '`' || c == '\\') {
      values.clear();
      CutSpecialRow(line, values);
      return;
    }
  }
  values.push_back({cell, size - cell});
}

void SaveDataSetToTableFile(db::DataSet& dataset, const std::string& file_name,
                            const TableFileOptions& options) {
  if (!dataset.Active()) throw db::DatabaseError(std::string(db::kSInactiveDataset));
  // A dataset without columns (read from a file without a header line) would
  // leave a file of one empty line in place of the table's lines.
  if (dataset.FieldCount() == 0) {
    throw db::DatabaseError("Could not write file " + file_name + ": the data has no columns");
  }
  // The header line is written as it is: a name holding ";", a quote or a line
  // break would read back as other columns, with every value under the wrong
  // name.
  std::vector<std::string> names;
  for (int i = 0; i < dataset.FieldCount(); ++i) names.push_back(dataset.Fields(i).FieldName());
  if (const vek::Status s = vek::CheckHeaderNames(names); !s.ok()) {
    throw db::DatabaseError(s.message());
  }
  // A pending edit is posted first, so that its row is written and the
  // position taken below is a stored row.
  dataset.CheckBrowseMode();
  if (options.all_rows) {
    auto* buffered = dynamic_cast<TVoBufDataset*>(&dataset);
    auto encoded = [](const std::vector<std::string_view>& texts, std::string& out) {
      for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i != 0) out += ';';
        vek::EncodeCell(texts[i], out);
      }
      out += '\n';
    };
    if (buffered != nullptr && WriteStoredTextRows(*buffered, names, file_name, encoded)) return;
  }
  dataset.DisableControls();
  const db::Bookmark position = dataset.GetBookmark();
  const bool filtered = dataset.Filtered();
  auto restore = [&] {
    dataset.SetFiltered(filtered);
    if (position.IsSet() && dataset.BookmarkValid(position)) dataset.GotoBookmark(position);
    if (dataset.Active()) dataset.Refresh();
  };
  auto write = [&] {
    if (options.all_rows) {
      dataset.SetFiltered(false);
      dataset.Refresh();
    }
    sdf::TCSVExporter writer;
    writer.SetDataset(&dataset);
    writer.SetFileName(file_name);
    writer.SetFromCurrent(false);
    sdf::TCSVFormatSettings& settings = writer.FormatSettings();
    settings.FieldDelimiter = ';';
    settings.HeaderRow = true;
    settings.QuoteStrings = sdf::TQuoteStrings::qsNever;
    settings.BooleanFalse = "False";
    settings.BooleanTrue = "True";
    settings.DateFormat = "yyyy-mm-dd";
    settings.DateTimeFormat = "yyyy-mm-dd hh:mm:ss";
    settings.DecimalSeparator = options.decimal_separator;
    settings.EncodeValue = [](std::string_view text, std::string& out) {
      vek::EncodeCell(text, out);
    };
    writer.Execute();
  };
  // The filter and the position come back after a failure too, and the
  // controls whatever restoring them does.
  RunThenCleanUp([&] { RunThenCleanUp(write, restore); }, [&] { dataset.EnableControls(); });
}
