// The expression compiler and evaluator: a precedence-climbing parser turns the
// tokens into a flat postfix program once; Evaluate runs that program on a value
// stack that is kept between evaluations, so numeric work allocates nothing.
#include "engine/vekSQLExpression2.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <new>
#include <unordered_set>
#include <utility>

#include "engine/vekSQLFunctions.h"
#include "engine/vekSQLOperators.h"
#include "rtl/Locale.h"
#include "rtl/Numbers.h"
#include "rtl/Text.h"

namespace vek {

using rtl::Variant;
using rtl::VarType;

namespace {

// ---- The program ----------------------------------------------------------------

enum class Code : std::uint8_t {
  kConstant,
  kVariable,
  kEq,
  kNe,
  kLt,
  kLe,
  kGt,
  kGe,
  kAdd,  // kAdd .. kDivide in the order of ArithmeticOp
  kSubtract,
  kMultiply,
  kDivide,
  kNegate,
  kPlus,
  kAnd,
  kOr,
  kNot,
  kLike,
  kIn,
  kCall,
};

struct Instruction {
  Code code;
  TTokenOperator function = toNone;  // kCall
  std::uint32_t count = 0;           // kCall: arguments written
  std::uint32_t index = 0;           // kConstant, kVariable, kIn: entry of its table
};

struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

// Lists longer than this get a hash set; shorter ones are searched in order.
constexpr std::size_t kHashedListSize = 8;

struct InList {
  std::vector<std::string> items;
  std::unordered_set<std::string, TextHash, std::equal_to<>> hashed;

  bool Contains(std::string_view value) const {
    if (!hashed.empty()) return hashed.find(value) != hashed.end();
    for (const std::string& item : items) {
      if (item == value) return true;
    }
    return false;
  }
};

struct Variable {
  std::string name;
  int handle = -1;
};

// Operator levels of the parser, lowest first. Prefix "not" parses its operand at
// kNotLevel, so "not a = b" negates the comparison while "not a and b" negates a.
constexpr int kOrLevel = 1;
constexpr int kAndLevel = 2;
constexpr int kNotLevel = 3;
constexpr int kCompareLevel = 4;
constexpr int kAddLevel = 5;
constexpr int kMultiplyLevel = 6;
constexpr int kUnaryLevel = 7;

// Deeper nesting than this ("((((...", "- - - ...") is refused rather than
// risking the parser's own stack.
constexpr int kMaxNesting = 500;

int BinaryLevel(TTokenOperator op) {
  switch (op) {
    case toOr:
      return kOrLevel;
    case toAnd:
      return kAndLevel;
    case toEq:
    case toNe:
    case toGt:
    case toGe:
    case toLt:
    case toLe:
    case toLike:
    case tosqlIN:
      return kCompareLevel;
    case toAdd:
    case toSubtract:
      return kAddLevel;
    case toMultiply:
    case toDivide:
      return kMultiplyLevel;
    default:
      return 0;
  }
}

// The compiled program and the state its evaluations reuse (stack slots, text
// buffers), so that evaluating allocates nothing for numeric work.
struct ProgramData {
  std::vector<Instruction> code;
  std::vector<std::string> dump;  // one text per instruction, for ToString
  std::vector<Variant> constants;
  std::vector<Variable> variables;
  std::vector<InList> lists;
  bool bound = false;

  std::vector<Variant> stack;
  Variant call_result;
  std::string scratch_left;
  std::string scratch_right;

  // Runs the program; false when the evaluation fails. `depth` is the number of
  // values left on the stack.
  bool Run(VariableSource* source, std::size_t& depth);
};

// ---- The compiler -------------------------------------------------------------

class Compiler {
 public:
  Compiler(const std::vector<TToken>& tokens, int first, int last, ProgramData& program);
  Status Compile();

 private:
  const TToken* Peek() const { return pos_ <= last_ ? &tokens_[pos_] : nullptr; }
  const TToken* Previous() const { return pos_ > first_ ? &tokens_[pos_ - 1] : nullptr; }

  Status ParseExpression(int min_level);
  Status ParseOperand();
  Status ParseCall(const TToken& function);

  Status MissingOperand(const TToken* at) const;
  Status Misplaced(const TToken& token) const;

  void Emit(Code code, std::string text, int stack_change);
  void EmitConstant(const TToken& token);
  void EmitVariable(const TToken& token);
  void EmitBinary(const TToken& token);
  void EmitIn(const TToken& token);
  void EmitCall(const TToken& function, std::uint32_t count);

  const std::vector<TToken>& tokens_;
  int first_;
  int last_;
  int pos_;
  int nesting_ = 0;
  int depth_ = 0;      // values the program leaves on the stack so far
  int max_depth_ = 0;  // most values it holds at once
  ProgramData& program_;
};

std::string Quoted(std::string_view name) { return "\"" + std::string(name) + "\""; }

Compiler::Compiler(const std::vector<TToken>& tokens, int first, int last, ProgramData& program)
    : tokens_(tokens),
      first_(std::max(first, 0)),
      last_(std::min(last, static_cast<int>(tokens.size()) - 1)),
      pos_(first_),
      program_(program) {}

Status Compiler::Compile() {
  if (first_ > last_) return Status::OK();
  Status s = ParseExpression(0);
  if (!s.ok()) return s;
  if (const TToken* t = Peek()) return Misplaced(*t);
  program_.stack.resize(static_cast<std::size_t>(max_depth_));
  return Status::OK();
}

Status Compiler::ParseExpression(int min_level) {
  if (++nesting_ > kMaxNesting) return Status::Error("Expression nested too deeply");
  Status s = ParseOperand();
  if (!s.ok()) return s;
  while (const TToken* t = Peek()) {
    if (t->Operator == toLOJ || t->Operator == toROJ) return Misplaced(*t);
    int level = BinaryLevel(t->Operator);
    if (level == 0 || level < min_level) break;
    ++pos_;
    if (t->Operator == tosqlIN) {
      EmitIn(*t);
      continue;
    }
    s = ParseExpression(level + 1);
    if (!s.ok()) return s;
    EmitBinary(*t);
  }
  --nesting_;
  return Status::OK();
}

Status Compiler::ParseOperand() {
  const TToken* t = Peek();
  if (!t) return MissingOperand(nullptr);
  switch (t->Operator) {
    case toAString:
    case toNumber:
      ++pos_;
      EmitConstant(*t);
      return Status::OK();
    case toVariable:
      ++pos_;
      EmitVariable(*t);
      return Status::OK();
    case toOpen: {
      ++pos_;
      Status s = ParseExpression(0);
      if (!s.ok()) return s;
      const TToken* close = Peek();
      if (!close) return Status::Error("Unbalanced brackets: missing \")\"");
      if (close->Operator != toClose) return Misplaced(*close);
      ++pos_;
      return Status::OK();
    }
    case toNot:
    case toSubtract:
    case toAdd: {
      ++pos_;
      int level = t->Operator == toNot ? kNotLevel : kUnaryLevel;
      Status s = ParseExpression(level);
      if (!s.ok()) return s;
      if (t->Operator == toNot) {
        Emit(Code::kNot, "not", 0);
      } else {
        Emit(t->Operator == toSubtract ? Code::kNegate : Code::kPlus,
             t->Operator == toSubtract ? "u-" : "u+", 0);
      }
      return Status::OK();
    }
    case toLOJ:
    case toROJ:
      return Misplaced(*t);
    default:
      break;
  }
  if (IsFunctionOperator(t->Operator)) {
    ++pos_;
    return ParseCall(*t);
  }
  if (t->Kind == tkKeyword || t->Kind == tkHash) return Misplaced(*t);
  return MissingOperand(t);
}

Status Compiler::ParseCall(const TToken& function) {
  const TToken* open = Peek();
  if (!open || open->Operator != toOpen) {
    return Status::Error("Function " + Quoted(function.Name) + " needs its arguments in brackets");
  }
  ++pos_;
  std::uint32_t count = 0;
  if (const TToken* t = Peek(); t && t->Operator == toClose) {
    ++pos_;
  } else {
    for (;;) {
      Status s = ParseExpression(0);
      if (!s.ok()) return s;
      ++count;
      const TToken* next = Peek();
      if (!next) return Status::Error("Unbalanced brackets: missing \")\"");
      ++pos_;
      if (next->Operator == toComma) continue;
      if (next->Operator == toClose) break;
      --pos_;
      return Misplaced(*next);
    }
  }
  EmitCall(function, count);
  return Status::OK();
}

Status Compiler::MissingOperand(const TToken* at) const {
  if (const TToken* before = Previous()) {
    return Status::Error("Missing operand after " + Quoted(before->Name));
  }
  if (at) return Status::Error("Missing operand before " + Quoted(at->Name));
  return Status::Error("Missing operand");
}

// `token` stands where an operator or the end of the expression was expected, or
// is something no expression may hold.
Status Compiler::Misplaced(const TToken& token) const {
  if (token.Operator == toLOJ || token.Operator == toROJ) {
    return Status::Error("The outer join operator " + Quoted(token.Name) + " is not supported");
  }
  if (token.Kind == tkKeyword) {
    return Status::Error("Keyword " + Quoted(token.Name) + " is not allowed in an expression");
  }
  switch (token.Operator) {
    case toClose:
      return Status::Error("Unbalanced brackets: \")\" without \"(\"");
    case toComma:
      return Status::Error("Comma outside a function call");
    case toHash:
      return Status::Error("Unexpected \"#\" in an expression");
    default:
      break;
  }
  if (const TToken* before = Previous()) {
    return Status::Error("Missing operator between " + Quoted(before->Name) + " and " +
                         Quoted(token.Name));
  }
  return Status::Error("Unexpected " + Quoted(token.Name) + " in an expression");
}

void Compiler::Emit(Code code, std::string text, int stack_change) {
  program_.code.push_back(Instruction{code});
  program_.dump.push_back(std::move(text));
  depth_ += stack_change;
  max_depth_ = std::max(max_depth_, depth_);
}

void Compiler::EmitConstant(const TToken& token) {
  Variant value = token.Value;
  std::string text;
  if (token.Operator == toNumber) {
    if (value.type != VarType::kFloat)
      value = Variant::Float(rtl::ParsePlainFloat(token.Name).value_or(0));
    text = token.Name;
  } else {
    if (value.type != VarType::kText) value = Variant::Text(token.Name);
    // The words date and time are written as such; quoted texts in quotes.
    if (value.s == token.Name) {
      text = "'";
      for (char c : value.s) text += c == '\'' ? std::string("''") : std::string(1, c);
      text += "'";
    } else {
      text = token.Name;
    }
  }
  program_.constants.push_back(std::move(value));
  Emit(Code::kConstant, std::move(text), 1);
  program_.code.back().index = static_cast<std::uint32_t>(program_.constants.size() - 1);
}

void Compiler::EmitVariable(const TToken& token) {
  std::uint32_t index = 0;
  while (index < program_.variables.size() && program_.variables[index].name != token.Name) ++index;
  if (index == program_.variables.size()) program_.variables.push_back({token.Name, -1});
  Emit(Code::kVariable, token.Name, 1);
  program_.code.back().index = index;
}

void Compiler::EmitBinary(const TToken& token) {
  Code code = Code::kEq;
  std::string text = token.Name;
  switch (token.Operator) {
    case toEq:
      code = Code::kEq;
      break;
    case toNe:
      code = Code::kNe;
      break;
    case toLt:
      code = Code::kLt;
      break;
    case toLe:
      code = Code::kLe;
      break;
    case toGt:
      code = Code::kGt;
      break;
    case toGe:
      code = Code::kGe;
      break;
    case toAdd:
      code = Code::kAdd;
      break;
    case toSubtract:
      code = Code::kSubtract;
      break;
    case toMultiply:
      code = Code::kMultiply;
      break;
    case toDivide:
      code = Code::kDivide;
      break;
    case toAnd:
      code = Code::kAnd;
      text = "and";
      break;
    case toOr:
      code = Code::kOr;
      text = "or";
      break;
    case toLike:
      code = Code::kLike;
      text = "like";
      break;
    default:
      break;
  }
  Emit(code, std::move(text), -1);
}

void Compiler::EmitIn(const TToken& token) {
  InList list;
  list.items = token.Items;
  if (list.items.size() > kHashedListSize) list.hashed.insert(list.items.begin(), list.items.end());
  std::string text = "in";
  for (const std::string& item : list.items) text += "[" + item + "]";
  program_.lists.push_back(std::move(list));
  Emit(Code::kIn, std::move(text), 0);
  program_.code.back().index = static_cast<std::uint32_t>(program_.lists.size() - 1);
}

void Compiler::EmitCall(const TToken& function, std::uint32_t count) {
  int takes = FunctionArgCount(function.Operator);
  // Missing arguments are filled in on the stack before the call runs.
  int base = depth_ - static_cast<int>(count);
  max_depth_ = std::max(max_depth_, base + takes);
  Emit(Code::kCall, rtl::AsciiLowerCase(function.Name) + "/" + std::to_string(count),
       1 - static_cast<int>(count));
  program_.code.back().function = function.Operator;
  program_.code.back().count = count;
}

// Whether a comparison holds for the three-way result of CompareValues; values
// without order (NaN) are unequal and neither less nor greater.
bool CompareHolds(Code op, int c) {
  switch (op) {
    case Code::kEq:
      return c == 0;
    case Code::kNe:
      return c != 0;
    case Code::kLt:
      return c == -1;
    case Code::kLe:
      return c == -1 || c == 0;
    case Code::kGt:
      return c == 1;
    default:
      return c == 1 || c == 0;  // kGe
  }
}

// ---- The evaluator --------------------------------------------------------------

bool ProgramData::Run(VariableSource* source, std::size_t& depth) {
  std::size_t sp = 0;
  for (const Instruction& ins : code) {
    switch (ins.code) {
      case Code::kConstant:
        stack[sp++] = constants[ins.index];
        break;
      case Code::kVariable: {
        const Variable& var = variables[ins.index];
        Variant& slot = stack[sp++];
        if (var.handle < 0) {
          slot.SetText(var.name);
        } else if (!source->GetVariable(var.handle, slot)) {
          return false;
        }
        break;
      }
      case Code::kEq:
      case Code::kNe:
      case Code::kLt:
      case Code::kLe:
      case Code::kGt:
      case Code::kGe: {
        // A null (the sum of no rows) makes every comparison false, so
        // "having s > 1" and "having s <= 1" both drop such a row. Logic
        // stays two-valued: "not (s > 1)" is true.
        if (stack[sp - 2].IsNull() || stack[sp - 1].IsNull()) {
          --sp;
          stack[sp - 1].SetBool(false);
          break;
        }
        int c;
        if (!CompareValues(stack[sp - 2], stack[sp - 1], c)) return false;
        --sp;
        stack[sp - 1].SetBool(CompareHolds(ins.code, c));
        break;
      }
      case Code::kAdd:
      case Code::kSubtract:
      case Code::kMultiply:
      case Code::kDivide:
        if (!Arithmetic(static_cast<ArithmeticOp>(static_cast<int>(ins.code) -
                                                  static_cast<int>(Code::kAdd)),
                        stack[sp - 2], stack[sp - 1])) {
          return false;
        }
        --sp;
        break;
      case Code::kNegate:
      case Code::kPlus:
        if (!UnarySign(stack[sp - 1], ins.code == Code::kNegate)) return false;
        break;
      case Code::kAnd:
      case Code::kOr: {
        bool a;
        bool b;
        if (!ValueToBool(stack[sp - 2], a) || !ValueToBool(stack[sp - 1], b)) return false;
        --sp;
        stack[sp - 1].SetBool(ins.code == Code::kAnd ? (a && b) : (a || b));
        break;
      }
      case Code::kNot: {
        bool a;
        if (!ValueToBool(stack[sp - 1], a)) return false;
        stack[sp - 1].SetBool(!a);
        break;
      }
      case Code::kLike: {
        Variant& left = stack[sp - 2];
        bool match =
            !left.IsNull() && !stack[sp - 1].IsNull() &&
            Like(ValueTextView(left, scratch_left), ValueTextView(stack[sp - 1], scratch_right));
        --sp;
        left.SetBool(match);
        break;
      }
      case Code::kIn: {
        Variant& v = stack[sp - 1];
        v.SetBool(!v.IsNull() && lists[ins.index].Contains(ValueTextView(v, scratch_left)));
        break;
      }
      case Code::kCall: {
        const std::size_t takes = static_cast<std::size_t>(FunctionArgCount(ins.function));
        const std::size_t base = sp - ins.count;
        // A missing argument is the empty text; of surplus ones the last are used.
        while (sp < base + takes) stack[sp++].SetText({});
        // A function of a null is null.
        if (std::any_of(&stack[base], &stack[sp], [](const Variant& v) { return v.IsNull(); })) {
          stack[base].type = rtl::VarType::kNull;
          sp = base + 1;
          break;
        }
        if (!RunFunction(ins.function, &stack[sp - takes], call_result)) return false;
        std::swap(stack[base], call_result);
        sp = base + 1;
        break;
      }
    }
  }
  depth = sp;
  return true;
}

}  // namespace

struct TvekSQLExpression2::Program : ProgramData {};

TvekSQLExpression2::TvekSQLExpression2() : program_(std::make_unique<Program>()) {}
TvekSQLExpression2::~TvekSQLExpression2() = default;

void TvekSQLExpression2::SetVariableSource(VariableSource* source) {
  source_ = source;
  program_->bound = false;
}

Status TvekSQLExpression2::SetExpression(std::string_view text) {
  expression_text_.assign(text);
  std::vector<TToken> tokens;
  TvekSQLTokenizer tokenizer;
  TokenizeResult result = tokenizer.Tokenize(text, tokens);
  if (!result.ok()) {
    program_ = std::make_unique<Program>();
    if (result.error == TokenizeError::kSubSelect && !result.message.empty()) {
      return Status::Error(result.message);
    }
    return Status::Error("Could not tokenize: " + std::string(text));
  }
  return SetInfixTokens(tokens, 0, static_cast<int>(tokens.size()) - 1);
}

Status TvekSQLExpression2::SetInfixTokens(const std::vector<TToken>& tokens, int first, int last) {
  auto program = std::make_unique<Program>();
  Status s = Compiler(tokens, first, last, *program).Compile();
  program_ = s.ok() ? std::move(program) : std::make_unique<Program>();
  return s;
}

void TvekSQLExpression2::Bind() {
  Program& p = *program_;
  if (p.bound) return;
  for (Variable& var : p.variables) var.handle = source_ ? source_->BindVariable(var.name) : -1;
  p.bound = true;
}

int TvekSQLExpression2::SingleVariableHandle() {
  const Program& p = *program_;
  if (p.code.size() != 1 || p.code[0].code != Code::kVariable) return -1;
  try {
    Bind();
  } catch (...) {
    return -1;  // Evaluate meets the same failure and reports it
  }
  return p.variables[p.code[0].index].handle;
}

bool TvekSQLExpression2::Evaluate(Variant& result) {
  Program& p = *program_;
  if (p.code.empty()) {
    result.SetText({});
    return true;
  }
  try {
    Bind();
    std::size_t depth = 0;
    if (p.Run(source_, depth) && depth > 0) {
      result = p.stack[depth - 1];
      return true;
    }
  } catch (const std::bad_alloc&) {
    // Running out of memory is no value of this row: it fails the statement
    // with its own text, where "condition is not a truth value" would mislead.
    throw;
  } catch (...) {
    // A failing variable source fails this evaluation only.
  }
  result.SetText({});
  return false;
}

Variant TvekSQLExpression2::Evaluate() {
  Variant result;
  Evaluate(result);
  return result;
}

bool TvekSQLExpression2::IsEmpty() const { return program_->code.empty(); }

std::string TvekSQLExpression2::ToString() const {
  std::string text;
  for (const std::string& piece : program_->dump) {
    if (!text.empty()) text += ' ';
    text += piece;
  }
  return text;
}

std::vector<std::string> TvekSQLExpression2::VariableNames() const {
  std::vector<std::string> names;
  for (const Instruction& ins : program_->code) {
    if (ins.code == Code::kVariable) names.push_back(program_->variables[ins.index].name);
  }
  return names;
}

}  // namespace vek
