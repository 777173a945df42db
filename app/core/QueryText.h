// The text rules of the SQL editor and the Queries page, free of any widget:
// the typed text that completion starts from, which candidates it offers,
// what a chosen candidate replaces, what the "Apply" buttons insert, the
// parameter substitution of a parameterized run, and the SQL text files.
// Texts are bytes (UTF-8 in the editor); positions are byte offsets in a line.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace app {

// The characters right before `caret` back to the nearest blank, control
// character or one of "()[].": with the caret after "orders.cu" it is "cu".
// A caret past the line's end counts from the end.
std::string TypedText(std::string_view line, int caret);

// Whether `typed` begins `candidate`, letters compared without regard to case
// ("sel" begins "SELECT"). An empty typed text begins nothing.
bool AddIfMatching(std::string_view typed, std::string_view candidate);

// The entries of `words` that `typed` begins, in their order, duplicates kept.
std::vector<std::string> CompletionCandidates(const std::vector<std::string>& words,
                                              std::string_view typed);

// The item to select among `candidates`: 0 when there is one, -1 for none.
int CompletionSelection(const std::vector<std::string>& candidates);

// The byte range [first, last) that a chosen candidate replaces: the run of
// letters, digits and underscores around `caret` (bytes of multi-byte
// characters count as letters); with `left_only` (Shift held) only the part
// of the run before the caret.
struct TextRange {
  int first = 0;
  int last = 0;
  bool operator==(const TextRange&) const = default;
};
TextRange CompletionTarget(std::string_view line, int caret, bool left_only);

// The line after an "Apply" button put `item` at `caret`: the part before the
// caret, a blank, the item, the rest of the line and a blank at its end
// ("SELECT|FROM" with "*" gives "SELECT *FROM "). A caret past the line's end
// leaves the rest empty.
std::string InsertAtCaret(std::string_view line, int caret, std::string_view item);

// A query parameter of a parameterized run: its name and the value put in its
// place.
struct QueryParameter {
  std::string name;
  std::string value;
};

// `line` with each parameter, in order, put in: every occurrence of its name,
// found from left to right without regard to letter case and inside longer
// words too, becomes its value; the search goes on behind each value put in,
// so a value is not searched again by the same parameter (a = "aa" turns "a"
// into "aa"), while later parameters work on the result. An empty name
// replaces nothing.
std::string SubstituteParameters(std::string_view line, const std::vector<QueryParameter>& params);

// The editor's text as lines, split at LF, CR LF or CR; a text ending in a
// line break has an empty last line, as the editor shows it ("" is one empty
// line).
std::vector<std::string> EditorLines(std::string_view text);

// A file's whole text as the editor takes it: its lines, split at LF, CR LF or
// CR, each followed by one LF ("a\r\nb" gives "a\nb\n"; an empty file "").
std::string NormalizeLineBreaks(std::string_view bytes);

// Reads `file_name` whole; its line breaks become LF (NormalizeLineBreaks).
// Throws std::runtime_error "Unable to open file \"<name>\"" or a read error.
std::string ReadTextFile(const std::string& file_name);
// Replaces `file_name` by exactly the bytes of `text` (no added line break, no
// byte-order mark), whole or not at all: a failure leaves the old file as it
// was. Throws std::runtime_error "Could not write file <name>: <reason>".
void WriteTextFile(const std::string& file_name, std::string_view text);

// The fixed entries that open the completion words, in order.
const std::vector<std::string>& FixedCompletionWords();

// A table of the project and its fields, in catalogue order.
struct TableFields {
  std::string table;
  std::vector<std::string> fields;
};
// The completion words: the fixed entries, then for every table its name,
// and for each of its fields the field name and table + "." + field.
std::vector<std::string> BuildCompletionWords(const std::vector<TableFields>& tables);

}  // namespace app
