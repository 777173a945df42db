// The tokenizer: a character-class table drives one scan over the text, and
// identifiers are looked up in the dialect's vocabulary grouped by length, so
// classifying a word folds its case into a small stack buffer and allocates
// nothing. IN lists are scanned here too, running sub-selects through the owner.
#include "engine/vekSQLTokenizer.h"

#include <array>
#include <iterator>
#include <numbers>
#include <span>

#include "rtl/Dates.h"
#include "rtl/Numbers.h"
#include "rtl/Text.h"

namespace vek {
namespace {

enum CharFlag : std::uint8_t {
  kSpace = 1,     // codes up to 32: blanks, tabs, line breaks, other controls
  kLetter = 2,    // A-Z, a-z: starts an identifier
  kDigit = 4,     // starts a number
  kWordPart = 8,  // continues an identifier: letters, digits, "_" and "."
};

constexpr std::array<std::uint8_t, 256> MakeCharFlags() {
  std::array<std::uint8_t, 256> flags{};
  for (int c = 0; c <= 32; ++c) flags[c] = kSpace;
  for (int c = 'A'; c <= 'Z'; ++c) flags[c] = kLetter | kWordPart;
  for (int c = 'a'; c <= 'z'; ++c) flags[c] = kLetter | kWordPart;
  for (int c = '0'; c <= '9'; ++c) flags[c] = kDigit | kWordPart;
  flags['_'] = kWordPart;
  flags['.'] = kWordPart;
  return flags;
}
constexpr std::array<std::uint8_t, 256> kCharFlags = MakeCharFlags();

bool Has(char c, CharFlag flag) { return (kCharFlags[static_cast<unsigned char>(c)] & flag) != 0; }

// How an identifier that is one of the dialect's words becomes a token.
enum class WordRule : std::uint8_t {
  kKeyword,   // a keyword on its own (FROM)
  kSelect,    // SELECT, or SELECT DISTINCT as one token
  kPair,      // a keyword only when `next` follows (ORDER BY); else `fallback`
  kJoin,      // LEFT/RIGHT/FULL [OUTER] JOIN; else `fallback`
  kLogical,   // and, or
  kPi,        // the number pi
  kDate,      // today's date as a text
  kTime,      // the current time as a text
  kFunction,  // function words, not, like
  kIn,        // in, which must be followed by a bracketed list
};

struct Word {
  std::string_view upper;
  WordRule rule;
  TTokenOperator op;
  std::string_view next = {};
  // For kPair and kJoin without their second word: the function the word then
  // names (left(name, 2)), or toNone for a plain variable.
  TTokenOperator fallback = toNone;
};

using enum WordRule;

constexpr Word kWords2[] = {
    {"AS", kKeyword, tosqlAS}, {"ON", kKeyword, tosqlON}, {"OR", kLogical, toOr},
    {"PI", kPi, toNumber},     {"IN", kIn, tosqlIN},
};
constexpr Word kWords3[] = {
    {"ADD", kKeyword, tosqlADD}, {"ASC", kKeyword, tosqlASC}, {"SET", kKeyword, tosqlSET},
    {"AND", kLogical, toAnd},    {"NOT", kFunction, toNot},   {"SIN", kFunction, toSin},
    {"COS", kFunction, toCos},   {"SQR", kFunction, toSqr},   {"MID", kFunction, toMid},
    {"DAY", kFunction, toDay},   {"FIX", kFunction, toFix},
};
constexpr Word kWords4[] = {
    {"INTO", kKeyword, tosqlINTO},
    {"FROM", kKeyword, tosqlFROM},
    {"DESC", kKeyword, tosqlDESC},
    {"DROP", kKeyword, tosqlDROP},
    {"JOIN", kKeyword, tosqlINNERJOIN},
    {"SAVE", kPair, tosqlSAVETABLE, "TABLE"},
    {"LEFT", kJoin, tosqlLEFTOUTERJOIN, {}, toLeft},
    {"FULL", kJoin, tosqlFULLOUTERJOIN},
    {"DATE", kDate, toAString},
    {"TIME", kTime, toAString},
    {"LIKE", kFunction, toLike},
    {"TRIM", kFunction, toTRIM},
    {"SQRT", kFunction, toSqrt},
    {"YEAR", kFunction, toYear},
    {"CEIL", kFunction, toCeil},
};
constexpr Word kWords5[] = {
    {"WHERE", kKeyword, tosqlWHERE},
    {"USING", kKeyword, tosqlUSING},
    {"TABLE", kKeyword, tosqlTABLE},
    {"ALTER", kKeyword, tosqlALTER},
    {"ORDER", kPair, tosqlORDER, "BY"},
    {"GROUP", kPair, tosqlGROUP, "BY"},
    {"INNER", kPair, tosqlINNERJOIN, "JOIN"},
    {"CROSS", kPair, tosqlCROSSJOIN, "JOIN"},
    {"RIGHT", kJoin, tosqlRIGHTOUTERJOIN, {}, toRight},
    {"LOWER", kFunction, toLOWER},
    {"UPPER", kFunction, toUPPER},
    {"MONTH", kFunction, toMonth},
    {"FLOOR", kFunction, toFloor},
    {"TRUNC", kFunction, toFix},
};
constexpr Word kWords6[] = {
    {"UPDATE", kKeyword, tosqlUPDATE}, {"INSERT", kKeyword, tosqlINSERT},
    {"DELETE", kKeyword, tosqlDELETE}, {"COMMIT", kKeyword, tosqlCOMMIT},
    {"VALUES", kKeyword, tosqlVALUES}, {"CREATE", kKeyword, tosqlCREATE},
    {"COLUMN", kKeyword, tosqlCOLUMN}, {"HAVING", kKeyword, tosqlHAVING},
    {"SELECT", kSelect, tosqlSELECT},  {"ASSIGN", kPair, tosqlASSIGN, "TO"},
    {"LENGTH", kFunction, toLen},      {"FORMAT", kFunction, toFormat},
    {"EASTER", kFunction, toEaster},   {"ISDATE", kFunction, toIsDate},
};
constexpr Word kWords7[] = {
    {"RELEASE", kPair, tosqlRELEASETABLE, "TABLE"},
    {"CONNECT", kPair, tosqlCONNECT, "TO"},
    {"SOUNDEX", kFunction, toSoundex},
    {"DATEADD", kFunction, toDateAdd},
    {"REPLACE", kFunction, toReplace},
};
constexpr Word kWords8[] = {
    {"ROLLBACK", kKeyword, tosqlROLLBACK},
    {"ASNUMBER", kFunction, toAsNumber},
};
constexpr Word kWords9[] = {{"ISNUMERIC", kFunction, toIsNumeric}};
constexpr Word kWords10[] = {{"WEEKNUMBER", kFunction, toWeekNumber}};
constexpr Word kWords12[] = {{"SUBSTR_AFTER", kFunction, tosubstr_after}};
constexpr Word kWords13[] = {{"SUBSTR_BEFORE", kFunction, tosubstr_before}};
// The vocabulary by word length: an identifier is compared only with the few
// words of its own length.
constexpr std::span<const Word> kWordsByLength[] = {
    {},      {},      kWords2, kWords3,  kWords4, kWords5,  kWords6,
    kWords7, kWords8, kWords9, kWords10, {},      kWords12, kWords13,
};
constexpr std::size_t kLongestWord = std::size(kWordsByLength) - 1;

consteval bool LengthsMatch() {
  for (std::size_t length = 0; length < std::size(kWordsByLength); ++length) {
    for (const Word& word : kWordsByLength[length]) {
      if (word.upper.size() != length) return false;
    }
  }
  return true;
}
static_assert(LengthsMatch());

// The vocabulary entry of an upper-cased identifier; nullptr for a plain name.
const Word* FindWord(std::string_view upper) {
  if (upper.size() > kLongestWord) return nullptr;
  for (const Word& word : kWordsByLength[upper.size()]) {
    if (word.upper == upper) return &word;
  }
  return nullptr;
}

// Same letters ignoring case; `upper` is already upper case.
bool SameWord(std::string_view word, std::string_view upper) {
  if (word.size() != upper.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (rtl::AsciiUpper(word[i]) != upper[i]) return false;
  }
  return true;
}

// An IN list inside an IN list inside ... is tokenized recursively; a limit
// keeps a hostile statement from exhausting the stack.
constexpr int kMaxListNesting = 64;

class Scanner {
 public:
  Scanner(std::string_view text, const SubExpressionHandler* handler, int nesting)
      : text_(text), handler_(handler), nesting_(nesting) {}

  TokenizeResult Run(std::vector<TToken>& list) {
    TToken token;
    while (Next(token)) list.push_back(std::move(token));
    if (failure_.ok()) failure_.position = text_.size();
    return failure_;
  }

 private:
  // True when a token was scanned into `token`; false at the end of the text
  // or on failure (then `failure_` says why).
  bool Next(TToken& token) {
    SkipSpace();
    if (AtEnd()) return false;
    token = TToken{};
    token.Position = pos_;
    const char c = text_[pos_];
    if (Has(c, kLetter)) return ScanWord(token);
    if (Has(c, kDigit)) return ScanNumber(token);
    switch (c) {
      case '\'':
        return ScanQuoted(token);
      case ',':
        Punctuation(token, tkComma, toComma, 0);
        token.Value = rtl::Variant::Text(",");
        return true;
      case '#':
        Punctuation(token, tkHash, toHash, 0);
        token.Value = rtl::Variant::Text("#");
        return true;
      case '(':
        Punctuation(token, tkOpen, toOpen, 1);
        return true;
      case ')':
        Punctuation(token, tkClose, toClose, 1);
        return true;
      case '=':
        Operator(token, Follows('*') ? toROJ : toEq, 3);
        return true;
      case '+':
        Operator(token, toAdd, 4);
        return true;
      case '-':
        Operator(token, toSubtract, 3);
        return true;
      case '*':
        if (Follows('=')) {
          Operator(token, toLOJ, 3);
        } else {
          Operator(token, toMultiply, 6);
        }
        return true;
      case '/':
        Operator(token, toDivide, 5);
        return true;
      case '>':
        // A comparison with nothing after it ("where a >") is no statement.
        if (pos_ + 1 == text_.size()) return Fail(pos_);
        Operator(token, Follows('=') ? toGe : toGt, 3);
        return true;
      case '<':
        if (pos_ + 1 == text_.size()) return Fail(pos_);
        if (Follows('=')) {
          Operator(token, toLe, 3);
        } else if (Follows('>')) {
          Operator(token, toNe, 3);
        } else {
          Operator(token, toLt, 3);
        }
        return true;
      default:
        return Fail(pos_);
    }
  }

  bool AtEnd() const { return pos_ >= text_.size(); }
  bool Follows(char c) const { return pos_ + 1 < text_.size() && text_[pos_ + 1] == c; }
  void SkipSpace() {
    while (!AtEnd() && Has(text_[pos_], kSpace)) ++pos_;
  }

  bool Fail(std::size_t position) {
    failure_.error = TokenizeError::kScan;
    failure_.position = position;
    return false;
  }

  // A one-character token.
  void Punctuation(TToken& token, TTokenKind kind, TTokenOperator op, int level) {
    token.Name.assign(1, text_[pos_]);
    token.Kind = kind;
    token.Operator = op;
    token.Level = level;
    ++pos_;
  }

  // One or two characters: the two-character operators are exactly those
  // whose second character is "=", "*" or ">".
  void Operator(TToken& token, TTokenOperator op, int level) {
    const bool two = op == toROJ || op == toLOJ || op == toGe || op == toLe || op == toNe;
    const std::size_t length = two ? 2 : 1;
    token.Name.assign(text_.substr(pos_, length));
    token.Kind = tkOperator;
    token.Operator = op;
    token.Level = level;
    pos_ += length;
  }

  // 'it''s' is the one text it's: a doubled apostrophe stands for one.
  bool ScanQuoted(TToken& token) {
    const std::size_t start = pos_;
    ++pos_;
    for (;;) {
      const std::size_t quote = text_.find('\'', pos_);
      if (quote == std::string_view::npos) return Fail(start);
      token.Name.append(text_.substr(pos_, quote - pos_));
      pos_ = quote + 1;
      if (AtEnd() || text_[pos_] != '\'') break;
      token.Name.push_back('\'');
      ++pos_;
    }
    token.Kind = tkOperand;
    token.Operator = toAString;
    token.Value = rtl::Variant::Text(token.Name);
    return true;
  }

  // Number literals are SQL syntax: "." is their decimal point whatever the
  // process-wide separator, so "where x = 1.5" means the same everywhere.
  bool ScanNumber(TToken& token) {
    const std::size_t start = pos_;
    int points = 0;
    while (!AtEnd() && (Has(text_[pos_], kDigit) || text_[pos_] == '.')) {
      if (text_[pos_] == '.') ++points;
      ++pos_;
    }
    if (points > 1) return Fail(start);
    std::string_view digits = text_.substr(start, pos_ - start);
    // "1." is the number one.
    std::string_view number = digits.back() == '.' ? digits.substr(0, digits.size() - 1) : digits;
    std::optional<double> value = rtl::ParsePlainFloat(number);
    if (!value) return Fail(start);
    token.Name.assign(digits);
    token.Kind = tkOperand;
    token.Operator = toNumber;
    token.Value = rtl::Variant::Float(*value);
    return true;
  }

  // The word after the scan position when it is `upper` (in any case) and is
  // followed by white space or the end; the position after it, or 0 when not.
  std::size_t PeekWord(std::string_view upper) const {
    std::size_t at = pos_;
    while (at < text_.size() && Has(text_[at], kSpace)) ++at;
    const std::size_t start = at;
    while (at < text_.size() && Has(text_[at], kLetter)) ++at;
    if (at < text_.size() && !Has(text_[at], kSpace)) return 0;
    return SameWord(text_.substr(start, at - start), upper) ? at : 0;
  }

  // Consumes the next word when it is `upper`.
  bool TakeWord(std::string_view upper) {
    const std::size_t after = PeekWord(upper);
    if (after == 0) return false;
    pos_ = after;
    return true;
  }

  bool ScanWord(TToken& token) {
    const std::size_t start = pos_;
    while (!AtEnd() && Has(text_[pos_], kWordPart)) ++pos_;
    const std::string_view word = text_.substr(start, pos_ - start);
    token.Name.assign(word);

    const Word* entry = nullptr;
    if (word.size() <= kLongestWord) {
      char upper[kLongestWord];
      for (std::size_t i = 0; i < word.size(); ++i) upper[i] = rtl::AsciiUpper(word[i]);
      entry = FindWord(std::string_view(upper, word.size()));
    }
    if (entry == nullptr) return Variable(token);

    switch (entry->rule) {
      case kKeyword:
        return Keyword(token, entry->op);
      case kSelect:
        return Keyword(token, TakeWord("DISTINCT") ? tosqlSELECTDISTINCT : tosqlSELECT);
      case kPair:
        if (TakeWord(entry->next)) return Keyword(token, entry->op);
        return Fallback(token, entry->fallback);
      case kJoin:
        if (TakeWord("JOIN")) return Keyword(token, entry->op);
        // "left outer x": OUTER is consumed even when JOIN does not follow.
        if (TakeWord("OUTER") && TakeWord("JOIN")) return Keyword(token, entry->op);
        return Fallback(token, entry->fallback);
      case kLogical:
        token.Kind = tkOperator;
        token.Operator = entry->op;
        return true;
      case kPi:
        token.Kind = tkOperand;
        token.Operator = toNumber;
        token.Value = rtl::Variant::Float(std::numbers::pi);
        return true;
      case kDate:
        token.Kind = tkOperand;
        token.Operator = toAString;
        token.Value = rtl::Variant::Text(rtl::TodayText());
        return true;
      case kTime:
        token.Kind = tkOperand;
        token.Operator = toAString;
        token.Value = rtl::Variant::Text(rtl::NowTimeText());
        return true;
      case kFunction:
        return Function(token, entry->op);
      case kIn:
        Function(token, tosqlIN);
        return ScanInList(token);
    }
    return Variable(token);
  }

  bool Keyword(TToken& token, TTokenOperator op) {
    token.Kind = tkKeyword;
    token.Operator = op;
    return true;
  }
  bool Function(TToken& token, TTokenOperator op) {
    token.Kind = tkOperator;
    token.Operator = op;
    token.Level = 7;
    return true;
  }
  bool Variable(TToken& token) {
    token.Kind = tkOperand;
    token.Operator = toVariable;
    return true;
  }
  bool Fallback(TToken& token, TTokenOperator function) {
    return function == toNone ? Variable(token) : Function(token, function);
  }

  // "in (...)": the bracketed list after the word, either a sub-select run by
  // the owner or items separated by commas. Brackets inside quotes do not
  // count, so in ('a)b') is the one item a)b.
  bool ScanInList(TToken& token) {
    SkipSpace();
    if (AtEnd() || text_[pos_] != '(') return Fail(pos_);
    const std::size_t open = pos_;
    std::size_t close = open;
    int depth = 0;
    bool quoted = false;
    for (; close < text_.size(); ++close) {
      const char c = text_[close];
      if (c == '\'') {
        quoted = !quoted;
      } else if (quoted) {
        continue;
      } else if (c == '(') {
        ++depth;
      } else if (c == ')' && --depth == 0) {
        break;
      }
    }
    if (close == text_.size()) return Fail(open);
    pos_ = close + 1;

    std::size_t first = open + 1;
    std::size_t last = close;
    while (first < last && Has(text_[first], kSpace)) ++first;
    while (last > first && Has(text_[last - 1], kSpace)) --last;
    const std::string_view list = text_.substr(first, last - first);

    if (IsSubSelect(list)) return RunSubSelect(token, list, first);
    return SplitList(token, list, first);
  }

  // The list text starts with the word select in any case and white space.
  static bool IsSubSelect(std::string_view list) {
    constexpr std::string_view kMarker = "SELECT";
    return list.size() > kMarker.size() && SameWord(list.substr(0, kMarker.size()), kMarker) &&
           Has(list[kMarker.size()], kSpace);
  }

  bool RunSubSelect(TToken& token, std::string_view list, std::size_t offset) {
    if (handler_ == nullptr || !*handler_) return Fail(offset);
    Status status = (*handler_)(list, token.Items);
    if (!status.ok()) {
      failure_.error = TokenizeError::kSubSelect;
      failure_.position = offset;
      failure_.message = status.message();
      return false;
    }
    BuildExpression(token);
    return true;
  }

  // Each item is the text of the tokens between two commas; brackets inside
  // the list only group, so in ((1),(2)) has the items 1 and 2.
  bool SplitList(TToken& token, std::string_view list, std::size_t offset) {
    if (nesting_ >= kMaxListNesting) return Fail(offset);
    std::vector<TToken> tokens;
    TokenizeResult inner = Scanner(list, nullptr, nesting_ + 1).Run(tokens);
    if (!inner.ok()) {
      failure_ = std::move(inner);
      failure_.position += offset;
      return false;
    }
    bool any = false;
    for (const TToken& item : tokens) {
      if (item.Kind == tkOpen || item.Kind == tkClose) continue;
      if (!any) token.Items.emplace_back();
      any = true;
      if (item.Kind == tkComma) {
        token.Items.emplace_back();
      } else {
        token.Items.back().append(item.Name);
      }
    }
    BuildExpression(token);
    return true;
  }

  static void BuildExpression(TToken& token) {
    token.Expression.clear();
    for (const std::string& item : token.Items) {
      token.Expression.push_back('[');
      token.Expression.append(item);
      token.Expression.push_back(']');
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  const SubExpressionHandler* handler_;
  int nesting_;
  TokenizeResult failure_;
};

constexpr const char* kOperatorNames[] = {
    "toNone",
    "toAString",
    "toNumber",
    "toVariable",
    "toComma",
    "toOpen",
    "toClose",
    "toHash",
    "tosqlCount",
    "tosqlSum",
    "tosqlAvg",
    "tosqlMAX",
    "tosqlMIN",
    "tosqlStdDev",
    "toEq",
    "toNe",
    "toGt",
    "toGe",
    "toLt",
    "toLe",
    "toLOJ",
    "toROJ",
    "toAdd",
    "toSubtract",
    "toMultiply",
    "toDivide",
    "toAnd",
    "toOr",
    "toNot",
    "toLike",
    "tosqlALTER",
    "tosqlTABLE",
    "tosqlCOLUMN",
    "tosqlADD",
    "tosqlDROP",
    "tosqlCOMMIT",
    "tosqlCREATE",
    "tosqlDELETE",
    "tosqlFROM",
    "tosqlWHERE",
    "tosqlINSERT",
    "tosqlINTO",
    "tosqlVALUES",
    "tosqlSELECT",
    "tosqlAS",
    "tosqlORDER",
    "tosqlUPDATE",
    "tosqlSELECTDISTINCT",
    "tosqlINNERJOIN",
    "tosqlLEFTOUTERJOIN",
    "tosqlRIGHTOUTERJOIN",
    "tosqlFULLOUTERJOIN",
    "tosqlCROSSJOIN",
    "tosqlON",
    "tosqlUSING",
    "tosqlSET",
    "tosqlCONNECT",
    "tosqlASSIGN",
    "tosqlSAVETABLE",
    "tosqlRELEASETABLE",
    "tosqlGROUP",
    "tosqlASC",
    "tosqlDESC",
    "tosqlHAVING",
    "tosqlIN",
    "toLOWER",
    "toUPPER",
    "toTRIM",
    "toSoundex",
    "toSin",
    "toCos",
    "toSqr",
    "toSqrt",
    "toAsNumber",
    "toLeft",
    "toRight",
    "toMid",
    "tosubstr_after",
    "tosubstr_before",
    "toFormat",
    "toDateAdd",
    "toYear",
    "toMonth",
    "toDay",
    "toEaster",
    "toWeekNumber",
    "toLen",
    "toFix",
    "toCeil",
    "toFloor",
    "toIsNumeric",
    "toIsDate",
    "toReplace",
    "tosqlROLLBACK",
};
static_assert(std::size(kOperatorNames) == tosqlROLLBACK + 1);

}  // namespace

const char* TokenOperatorName(TTokenOperator op) {
  return op < std::size(kOperatorNames) ? kOperatorNames[op] : "?";
}

TokenizeResult TvekSQLTokenizer::Tokenize(std::string_view text, std::vector<TToken>& list) {
  return Scanner(text, &on_sub_expression_, 0).Run(list);
}

}  // namespace vek
