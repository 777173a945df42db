// Reading a filter text: the tokenizer and a recursive-descent parser that
// builds the typed tree. From loosest to tightest: OR, AND, NOT, the
// comparisons, "+" and "-", "*" and "/", then signs, brackets, literals, names
// and function calls; binary operators group from the left, so 1 + 2 * 3 is 7
// and 10 - 4 - 3 is 3.
#include <charconv>
#include <string>

#include "datasets/vobufdataset_parser_tree.h"
#include "db/DatabaseError.h"
#include "rtl/Locale.h"
#include "rtl/Numbers.h"
#include "rtl/ScopeExit.h"
#include "rtl/Text.h"

namespace vofilter {
namespace {

constexpr std::string_view kSUnexpectedEnd = "Unexpected end of the filter expression.";
constexpr std::string_view kSUnexpectedToken = "Unexpected \"%s\" at position %s.";
constexpr std::string_view kSInvalidCharacter = "Invalid character \"%s\" at position %s.";
constexpr std::string_view kSUnterminatedText = "Missing closing quote of the text at position %s.";
constexpr std::string_view kSOperandTypes = "Operator \"%s\" cannot be applied to %s and %s.";
constexpr std::string_view kSOperandType = "Operator \"%s\" cannot be applied to %s.";
constexpr std::string_view kSArgumentTypes = "Function %s cannot be applied to (%s).";
constexpr std::string_view kSTooDeep = "The filter expression is nested too deeply.";

// Brackets, signs and NOTs inside each other; the parser recurses once per level.
constexpr int kMaxDepth = 200;

enum class TokenKind : std::uint8_t {
  kEnd,
  kNumber,
  kText,
  kName,
  kLeftBracket,
  kRightBracket,
  kComma,
  kPlus,
  kMinus,
  kStar,
  kSlash,
  kEqual,
  kNotEqual,
  kLess,
  kGreater,
  kLessEqual,
  kGreaterEqual,
  kAnd,
  kOr,
  kNot,
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::string_view text;     // as written (a text literal with its quotes)
  std::size_t position = 0;  // byte offset in the filter text
};

// Letters of names: ASCII letters, "_" and every byte of a multibyte character,
// so a UTF-8 field name such as STRAßE is one name.
bool IsNameStart(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_' || u >= 0x80;
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameChar(char c) { return IsNameStart(c) || IsDigit(c); }

// Words (AND, OR, NOT and the function names) in any letter case; `word` is upper case.
bool SameWord(std::string_view text, std::string_view word) {
  return text.size() == word.size() && rtl::AsciiUpperCase(text) == word;
}

std::string PositionText(std::size_t position) {
  return rtl::IntToText(static_cast<std::int64_t>(position) + 1);
}

// The tokens of one character, and their kinds in the same order.
constexpr std::string_view kSingleCharacters = "(),+-*/=";
constexpr TokenKind kSingleCharacterKinds[] = {
    TokenKind::kLeftBracket, TokenKind::kRightBracket, TokenKind::kComma, TokenKind::kPlus,
    TokenKind::kMinus,       TokenKind::kStar,         TokenKind::kSlash, TokenKind::kEqual};

std::vector<Token> Tokenize(std::string_view text) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
      continue;
    }
    Token token;
    token.position = i;
    std::size_t end = i + 1;
    std::size_t single = kSingleCharacters.find(c);
    if (single != std::string_view::npos) {
      token.kind = kSingleCharacterKinds[single];
    } else if (c == '<' || c == '>') {
      // "<", "<=", "<>", ">", ">="
      char second = end < text.size() ? text[end] : '\0';
      token.kind = c == '<' ? TokenKind::kLess : TokenKind::kGreater;
      if (second == '=') token.kind = c == '<' ? TokenKind::kLessEqual : TokenKind::kGreaterEqual;
      if (c == '<' && second == '>') token.kind = TokenKind::kNotEqual;
      if (token.kind != TokenKind::kLess && token.kind != TokenKind::kGreater) ++end;
    } else if (c == '\'' || c == '"') {
      // A text runs to the next quote of the same kind; the other kind is an
      // ordinary character inside it ("it's", 'say "hi"').
      std::size_t close = text.find(c, end);
      if (close == std::string_view::npos) {
        throw db::DatabaseError(db::FormatMessage(kSUnterminatedText, {PositionText(i)}));
      }
      token.kind = TokenKind::kText;
      end = close + 1;
    } else if (IsDigit(c) || (c == '.' && end < text.size() && IsDigit(text[end]))) {
      token.kind = TokenKind::kNumber;
      while (end < text.size() && IsDigit(text[end])) ++end;
      if (c != '.' && end < text.size() && text[end] == '.') {
        ++end;
        while (end < text.size() && IsDigit(text[end])) ++end;
      }
    } else if (IsNameStart(c)) {
      while (end < text.size() && IsNameChar(text[end])) ++end;
      std::string_view word = text.substr(i, end - i);
      token.kind = SameWord(word, "AND")   ? TokenKind::kAnd
                   : SameWord(word, "OR")  ? TokenKind::kOr
                   : SameWord(word, "NOT") ? TokenKind::kNot
                                           : TokenKind::kName;
    } else {
      throw db::DatabaseError(
          db::FormatMessage(kSInvalidCharacter, {text.substr(i, 1), PositionText(i)}));
    }
    token.text = text.substr(i, end - i);
    tokens.push_back(token);
    i = end;
  }
  Token end_token;
  end_token.position = text.size();
  tokens.push_back(end_token);
  return tokens;
}

std::unique_ptr<Node> MakeNode(NodeKind kind, TExpressionType type) {
  auto node = std::make_unique<Node>();
  node->kind = kind;
  node->type = type;
  return node;
}

// Whole numbers that fit 32 bits are integers, larger ones large integers, and
// those beyond 64 bits floats; a full stop makes a float whatever the locale's
// decimal separator.
std::unique_ptr<Node> NumberConstant(std::string_view text) {
  if (text.find('.') == std::string_view::npos) {
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc() && end == text.data() + text.size()) {
      bool fits32 = value <= INT32_MAX;
      auto node = MakeNode(NodeKind::kConstant,
                           fits32 ? TExpressionType::etInteger : TExpressionType::etLargeInt);
      node->int_value = value;
      return node;
    }
  }
  std::string digits;
  if (text.front() == '.') digits.push_back('0');
  digits.append(text);
  if (digits.back() == '.') digits.push_back('0');
  auto node = MakeNode(NodeKind::kConstant, TExpressionType::etFloat);
  node->float_value = rtl::ParsePlainFloat(digits).value_or(0.0);
  return node;
}

struct FunctionWord {
  std::string_view name;
  NodeKind kind;
};
constexpr FunctionWord kFunctions[] = {
    {"STR", NodeKind::kStr},     {"DTOS", NodeKind::kDtos},       {"SUBSTR", NodeKind::kSubstr},
    {"SUBS", NodeKind::kSubstr}, {"UPPER", NodeKind::kUpper},     {"UPPERCASE", NodeKind::kUpper},
    {"LOWER", NodeKind::kLower}, {"LOWERCASE", NodeKind::kLower},
};

class Parser {
 public:
  Parser(std::string_view text, const SyntaxOptions& options, const VariableBinder& bind)
      : tokens_(Tokenize(text)), options_(options), bind_(bind) {}

  std::unique_ptr<Node> ParseAll() {
    auto node = ParseOr();
    if (Peek().kind != TokenKind::kEnd) Unexpected(Peek());
    return node;
  }

 private:
  const Token& Peek() const { return tokens_[next_]; }
  const Token& Take() {
    const Token& token = Peek();
    if (token.kind != TokenKind::kEnd) ++next_;
    return token;
  }
  void Expect(TokenKind kind) {
    if (Peek().kind != kind) Unexpected(Peek());
    Take();
  }
  [[noreturn]] static void Unexpected(const Token& token) {
    if (token.kind == TokenKind::kEnd) throw db::DatabaseError(std::string(kSUnexpectedEnd));
    throw db::DatabaseError(
        db::FormatMessage(kSUnexpectedToken, {token.text, PositionText(token.position)}));
  }
  [[noreturn]] static void OperandTypes(const Token& op, const Node& left, const Node& right) {
    throw db::DatabaseError(db::FormatMessage(
        kSOperandTypes, {op.text, ExpressionTypeName(left.type), ExpressionTypeName(right.type)}));
  }

  std::unique_ptr<Node> Binary(NodeKind kind, TExpressionType type, std::unique_ptr<Node> left,
                               std::unique_ptr<Node> right) {
    auto node = MakeNode(kind, type);
    node->args.push_back(std::move(left));
    node->args.push_back(std::move(right));
    return node;
  }

  std::unique_ptr<Node> ParseOr() {
    auto left = ParseAnd();
    while (Peek().kind == TokenKind::kOr) {
      const Token& op = Take();
      left = Logical(NodeKind::kOr, op, std::move(left), ParseAnd());
    }
    return left;
  }

  std::unique_ptr<Node> ParseAnd() {
    auto left = ParseNot();
    while (Peek().kind == TokenKind::kAnd) {
      const Token& op = Take();
      left = Logical(NodeKind::kAnd, op, std::move(left), ParseNot());
    }
    return left;
  }

  std::unique_ptr<Node> Logical(NodeKind kind, const Token& op, std::unique_ptr<Node> left,
                                std::unique_ptr<Node> right) {
    if (left->type != TExpressionType::etBoolean || right->type != TExpressionType::etBoolean) {
      OperandTypes(op, *left, *right);
    }
    return Binary(kind, TExpressionType::etBoolean, std::move(left), std::move(right));
  }

  // Counts the levels of the recursive steps, so that a text of thousands of
  // brackets fails instead of exhausting the stack; the level is left again
  // when the step returns or throws.
  auto Nest() {
    if (++depth_ > kMaxDepth) throw db::DatabaseError(std::string(kSTooDeep));
    return rtl::ScopeExit([this] { --depth_; });
  }

  // NOT binds looser than the comparisons: NOT A = B is NOT (A = B).
  std::unique_ptr<Node> ParseNot() {
    if (Peek().kind != TokenKind::kNot) return ParseComparison();
    auto nesting = Nest();
    const Token& op = Take();
    auto operand = ParseNot();
    if (operand->type != TExpressionType::etBoolean) {
      throw db::DatabaseError(
          db::FormatMessage(kSOperandType, {op.text, ExpressionTypeName(operand->type)}));
    }
    auto node = MakeNode(NodeKind::kNot, TExpressionType::etBoolean);
    node->args.push_back(std::move(operand));
    return node;
  }

  static bool ComparisonOp(TokenKind kind, CompareOp& op) {
    switch (kind) {
      case TokenKind::kEqual:
        op = CompareOp::kEqual;
        return true;
      case TokenKind::kNotEqual:
        op = CompareOp::kNotEqual;
        return true;
      case TokenKind::kLess:
        op = CompareOp::kLess;
        return true;
      case TokenKind::kGreater:
        op = CompareOp::kGreater;
        return true;
      case TokenKind::kLessEqual:
        op = CompareOp::kLessEqual;
        return true;
      case TokenKind::kGreaterEqual:
        op = CompareOp::kGreaterEqual;
        return true;
      default:
        return false;
    }
  }

  // Texts with texts, numbers of any kind with each other, dates with dates.
  std::unique_ptr<Node> ParseComparison() {
    auto left = ParseSum();
    CompareOp compare;
    while (ComparisonOp(Peek().kind, compare)) {
      const Token& op = Take();
      auto right = ParseSum();
      bool texts =
          left->type == TExpressionType::etString && right->type == TExpressionType::etString;
      bool numbers = IsNumber(left->type) && IsNumber(right->type);
      bool dates =
          left->type == TExpressionType::etDateTime && right->type == TExpressionType::etDateTime;
      if (!texts && !numbers && !dates) OperandTypes(op, *left, *right);
      auto node =
          Binary(NodeKind::kCompare, TExpressionType::etBoolean, std::move(left), std::move(right));
      node->op = compare;
      if (texts) {
        node->case_insensitive = options_.case_insensitive;
        node->partial = options_.partial_match && compare == CompareOp::kEqual;
      }
      left = std::move(node);
    }
    return left;
  }

  std::unique_ptr<Node> ParseSum() {
    auto left = ParseTerm();
    while (Peek().kind == TokenKind::kPlus || Peek().kind == TokenKind::kMinus) {
      const Token& op = Take();
      left = Arithmetic(op, std::move(left), ParseTerm());
    }
    return left;
  }

  std::unique_ptr<Node> ParseTerm() {
    auto left = ParseFactor();
    while (Peek().kind == TokenKind::kStar || Peek().kind == TokenKind::kSlash) {
      const Token& op = Take();
      left = Arithmetic(op, std::move(left), ParseFactor());
    }
    return left;
  }

  // "+" joins two texts; otherwise both operands are numbers. A float operand
  // makes a float, else a large integer one a large integer; "/" always gives a
  // float, so 7 / 2 is 3.5 and a division by zero is infinite, never an error.
  std::unique_ptr<Node> Arithmetic(const Token& op, std::unique_ptr<Node> left,
                                   std::unique_ptr<Node> right) {
    if (op.kind == TokenKind::kPlus && left->type == TExpressionType::etString &&
        right->type == TExpressionType::etString) {
      return Binary(NodeKind::kConcat, TExpressionType::etString, std::move(left),
                    std::move(right));
    }
    if (!IsNumber(left->type) || !IsNumber(right->type)) OperandTypes(op, *left, *right);
    TExpressionType type = TExpressionType::etInteger;
    if (left->type == TExpressionType::etFloat || right->type == TExpressionType::etFloat ||
        op.kind == TokenKind::kSlash) {
      type = TExpressionType::etFloat;
    } else if (left->type == TExpressionType::etLargeInt ||
               right->type == TExpressionType::etLargeInt) {
      type = TExpressionType::etLargeInt;
    }
    NodeKind kind = op.kind == TokenKind::kPlus    ? NodeKind::kAdd
                    : op.kind == TokenKind::kMinus ? NodeKind::kSubtract
                    : op.kind == TokenKind::kStar  ? NodeKind::kMultiply
                                                   : NodeKind::kDivide;
    return Binary(kind, type, std::move(left), std::move(right));
  }

  std::unique_ptr<Node> ParseFactor() {
    auto nesting = Nest();
    const Token& token = Take();
    switch (token.kind) {
      case TokenKind::kMinus:
      case TokenKind::kPlus: {
        auto operand = ParseFactor();
        if (!IsNumber(operand->type)) {
          throw db::DatabaseError(
              db::FormatMessage(kSOperandType, {token.text, ExpressionTypeName(operand->type)}));
        }
        if (token.kind == TokenKind::kPlus) return operand;
        if (operand->kind == NodeKind::kConstant) {  // -5 is a constant of its own
          operand->int_value =
              static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(operand->int_value));
          operand->float_value = -operand->float_value;
          return operand;
        }
        auto node = MakeNode(NodeKind::kNegate, operand->type);
        node->args.push_back(std::move(operand));
        return node;
      }
      case TokenKind::kNumber:
        return NumberConstant(token.text);
      case TokenKind::kText: {
        auto node = MakeNode(NodeKind::kConstant, TExpressionType::etString);
        node->text_value.assign(token.text.substr(1, token.text.size() - 2));
        return node;
      }
      case TokenKind::kLeftBracket: {
        auto node = ParseOr();
        Expect(TokenKind::kRightBracket);
        return node;
      }
      case TokenKind::kName:
        if (Peek().kind == TokenKind::kLeftBracket) {
          for (const FunctionWord& function : kFunctions) {
            if (SameWord(token.text, function.name)) return ParseFunction(token, function.kind);
          }
        }
        return Variable(token.text);
      default:
        Unexpected(token);
    }
  }

  std::unique_ptr<Node> Variable(std::string_view name) {
    BoundVariable bound = bind_(name);
    auto node = MakeNode(NodeKind::kVariable, bound.type);
    node->variable = bound.index;
    return node;
  }

  std::unique_ptr<Node> ParseFunction(const Token& name, NodeKind kind) {
    Expect(TokenKind::kLeftBracket);
    auto node = MakeNode(kind, TExpressionType::etString);
    if (Peek().kind != TokenKind::kRightBracket) {
      node->args.push_back(ParseOr());
      while (Peek().kind == TokenKind::kComma) {
        Take();
        node->args.push_back(ParseOr());
      }
    }
    Expect(TokenKind::kRightBracket);
    if (!ArgumentsFit(*node)) {
      std::string types;
      for (const auto& arg : node->args) {
        if (!types.empty()) types.append(", ");
        types.append(ExpressionTypeName(arg->type));
      }
      throw db::DatabaseError(db::FormatMessage(kSArgumentTypes, {name.text, types}));
    }
    return node;
  }

  // STR(number [, width [, decimals]]), DTOS(date), SUBSTR(text, from, count),
  // UPPER(text), LOWER(text).
  static bool ArgumentsFit(const Node& node) {
    const auto& args = node.args;
    auto is = [&args](std::size_t i, TExpressionType type) { return args[i]->type == type; };
    switch (node.kind) {
      case NodeKind::kStr:
        if (args.empty() || args.size() > 3 || !IsNumber(args[0]->type)) return false;
        for (std::size_t i = 1; i < args.size(); ++i) {
          if (!is(i, TExpressionType::etInteger)) return false;
        }
        return true;
      case NodeKind::kDtos:
        return args.size() == 1 && is(0, TExpressionType::etDateTime);
      case NodeKind::kSubstr:
        return args.size() == 3 && is(0, TExpressionType::etString) &&
               is(1, TExpressionType::etInteger) && is(2, TExpressionType::etInteger);
      default:
        return args.size() == 1 && is(0, TExpressionType::etString);
    }
  }

  std::vector<Token> tokens_;
  std::size_t next_ = 0;
  int depth_ = 0;
  const SyntaxOptions& options_;
  const VariableBinder& bind_;
};

}  // namespace

std::unique_ptr<Node> ParseExpression(std::string_view text, const SyntaxOptions& options,
                                      const VariableBinder& bind) {
  Parser parser(text, options, bind);
  return parser.ParseAll();
}

}  // namespace vofilter
