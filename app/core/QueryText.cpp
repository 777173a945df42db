// The editor's text rules and the SQL text files.
#include "QueryText.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "DatasetDialogs.h"
#include "rtl/AtomicFile.h"

namespace app {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EndsTypedText(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte <= ' ' || byte == 0x7F || c == '(' || c == ')' || c == '[' || c == ']' || c == '.';
}

// Letters, digits and underscores; a byte of a multi-byte character is taken
// for a letter, so "café" is one word.
bool IsWordByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         byte >= 0x80;
}

int Clamp(std::string_view line, int caret) {
  if (caret < 0) return 0;
  return caret > static_cast<int>(line.size()) ? static_cast<int>(line.size()) : caret;
}

// The first position at or after `from` where `name` occurs in `text`, letters
// compared without regard to case; npos when none.
size_t FindIgnoringCase(std::string_view text, std::string_view name, size_t from) {
  if (name.size() > text.size()) return std::string_view::npos;
  for (size_t i = from; i + name.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < name.size() && Lower(text[i + k]) == Lower(name[k])) ++k;
    if (k == name.size()) return i;
  }
  return std::string_view::npos;
}

}  // namespace

std::string TypedText(std::string_view line, int caret) {
  const int end = Clamp(line, caret);
  int start = end;
  while (start > 0 && !EndsTypedText(line[start - 1])) --start;
  return std::string(line.substr(start, end - start));
}

bool AddIfMatching(std::string_view typed, std::string_view candidate) {
  if (typed.empty() || typed.size() > candidate.size()) return false;
  for (size_t i = 0; i < typed.size(); ++i) {
    if (Lower(typed[i]) != Lower(candidate[i])) return false;
  }
  return true;
}

std::vector<std::string> CompletionCandidates(const std::vector<std::string>& words,
                                              std::string_view typed) {
  std::vector<std::string> candidates;
  for (const std::string& word : words) {
    if (AddIfMatching(typed, word)) candidates.push_back(word);
  }
  return candidates;
}

int CompletionSelection(const std::vector<std::string>& candidates) {
  return candidates.empty() ? -1 : 0;
}

TextRange CompletionTarget(std::string_view line, int caret, bool left_only) {
  const int at = Clamp(line, caret);
  TextRange range{at, at};
  while (range.first > 0 && IsWordByte(line[range.first - 1])) --range.first;
  if (!left_only) {
    while (range.last < static_cast<int>(line.size()) && IsWordByte(line[range.last])) {
      ++range.last;
    }
  }
  return range;
}

std::string InsertAtCaret(std::string_view line, int caret, std::string_view item) {
  return InsertAtCaret(line, static_cast<std::size_t>(std::max(caret, 0)), item, nullptr);
}

std::string SubstituteParameters(std::string_view line, const std::vector<QueryParameter>& params) {
  std::string text(line);
  for (const QueryParameter& param : params) {
    if (param.name.empty()) continue;
    std::string next;
    size_t from = 0;
    for (size_t at = FindIgnoringCase(text, param.name, 0); at != std::string::npos;
         at = FindIgnoringCase(text, param.name, from)) {
      next.append(text, from, at - from);
      next += param.value;
      from = at + param.name.size();
    }
    next.append(text, from, std::string::npos);
    text = std::move(next);
  }
  return text;
}

std::vector<std::string> EditorLines(std::string_view text) {
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.emplace_back();
    } else {
      lines.back() += c;
    }
  }
  return lines;
}

std::string NormalizeLineBreaks(std::string_view bytes) {
  if (bytes.empty()) return {};
  std::vector<std::string> lines = EditorLines(bytes);
  // A final line break ends the last line; it does not open another one.
  if (bytes.back() == '\n' || bytes.back() == '\r') lines.pop_back();
  std::string text;
  text.reserve(bytes.size() + 1);
  for (const std::string& line : lines) {
    text += line;
    text += '\n';
  }
  return text;
}

std::string ReadTextFile(const std::string& file_name) {
  std::ifstream in(file_name, std::ios::binary);
  if (!in) {
    throw std::runtime_error("Unable to open file \"" + file_name + "\": " + std::strerror(errno));
  }
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error("Could not read file \"" + file_name + "\"");
  return NormalizeLineBreaks(bytes);
}

void WriteTextFile(const std::string& file_name, std::string_view text) {
  if (file_name.empty()) throw std::runtime_error("No file name given");
  rtl::AtomicFileWriter writer(file_name);
  if (!writer.Open() || !writer.Append(text) || !writer.Commit()) {
    throw std::runtime_error(writer.Error());
  }
}

const std::vector<std::string>& FixedCompletionWords() {
  static const std::vector<std::string> kWords = {
      "SELECT",
      "FROM",
      "SELECT * FROM",
      "WHERE",
      "HAVING",
      "GROUP BY",
      "ORDER BY",
      "AS",
      "IN ()",
      "LIKE ()",
      "CREATE TABLE",
      "ALTER TABLE",
      "DROP TABLE",
      "ADD COLUMN",
      "DROP COLUMN",
      "ASSIGN TO",
      "SAVE TABLE",
      "RELEASE TABLE",
      "COMMIT",
      "INSERT INTO",
      "VALUES ()",
      "UPDATE",
      "SET",
      "DELETE FROM",
      "FIX(expression, precision)",
      "TRUNC(expression, precision)",
      "ASNUMBER(expression)",
      "FORMAT(value,formatstring",
      "FORMAT(value,'[literalstring]%[width][.prec]type')",
      "YEAR()",
      "MONTH()",
      "DAY()",
      "WEEKNUMBERS()",
      "DATEADD (interval, number, datestring)",
      "SOUNDEX(expression)",
      "LOWER(expression)",
      "UPPER(expression)",
      "TRIM(expression)",
      "LEFT(expression, count)",
      "RIGHT(expression, count)",
      "MID(expression, from, count)",
      "LENGTH(expression)",
      "REPLACE(source, oldpattern, newpattern)",
      "SUBSTR_AFTER(source, substring)",
      "SUBSTR_BEFORE(source, substring)",
      "SQR(expression)",
      "SQRT(expression)",
      "SIN(expression)",
      "COS(expression)",
      "CEIL(expression)",
      "FLOOR(expression)",
  };
  return kWords;
}

std::vector<std::string> BuildCompletionWords(const std::vector<TableFields>& tables) {
  std::vector<std::string> words = FixedCompletionWords();
  for (const TableFields& table : tables) {
    words.push_back(table.table);
    for (const std::string& field : table.fields) {
      words.push_back(field);
      words.push_back(table.table + "." + field);
    }
  }
  return words;
}

}  // namespace app
