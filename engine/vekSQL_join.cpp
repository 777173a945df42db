// A hash join for SELECTs over several tables whose WHERE is a conjunction.
//
// The nested loop evaluates the whole condition for every combination of rows.
// A conjunct that reads one table has the same value for every combination that
// holds a given row of it, so it is evaluated once per row; an equality of two
// columns of different tables compares texts byte by byte and can neither fail
// nor depend on anything but the two cells, so it is answered by a hash look-up.
// Every row of every table takes part in some combination when no table is
// empty, so a conjunct that fails on any row fails the nested loop too.
#include "engine/vekSQL_join.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/vekSQLTextHash.h"

namespace vek {

struct HashJoin::Equality {
  int left_entry, left_column, right_entry, right_column;
};

struct HashJoin::Filter {
  std::unique_ptr<TvekSQLExpression2> expression;
};

namespace {

// The entry an expression reads: -1 for none, -2 for several.
int EntryRead(RowResolver& resolver, const TvekSQLExpression2& expression) {
  int read = -1;
  for (const std::string& name : expression.VariableNames()) {
    int handle = resolver.BindVariable(name);
    if (handle < 0) continue;
    int entry = resolver.BindingOf(handle).entry;
    if (read == -1) read = entry;
    if (read != entry) return -2;
  }
  return read;
}

// The candidate rows of a table by the text of one of their cells: open
// addressing over the distinct texts, each with its rows in their order.
class RowIndex {
 public:
  void Add(std::string_view key, int row) {
    if ((lists_.size() + 1) * 2 > slots_.size()) Grow();
    const std::uint64_t hash = HashText(key);
    Slot* slot = Probe(key, hash);
    if (slot->list < 0) {
      *slot = {hash, key, static_cast<int>(lists_.size())};
      lists_.emplace_back();
    }
    lists_[slot->list].push_back(row);
  }
  // The rows whose cell is `key`; nullptr for none.
  const std::vector<int>* Find(std::string_view key) const {
    if (slots_.empty()) return nullptr;
    const Slot* slot = const_cast<RowIndex*>(this)->Probe(key, HashText(key));
    return slot->list < 0 ? nullptr : &lists_[slot->list];
  }

 private:
  struct Slot {
    std::uint64_t hash = 0;
    std::string_view key;
    int list = -1;
  };
  Slot* Probe(std::string_view key, std::uint64_t hash) {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      Slot& slot = slots_[i];
      if (slot.list < 0 || (slot.hash == hash && slot.key == key)) return &slot;
    }
  }
  void Grow() {
    std::vector<Slot> old(std::max<std::size_t>(16, slots_.size() * 2));
    old.swap(slots_);
    for (const Slot& slot : old) {
      if (slot.list >= 0) *Probe(slot.key, slot.hash) = slot;
    }
  }

  std::vector<Slot> slots_;
  std::vector<std::vector<int>> lists_;
};

}  // namespace

// For each entry after the first: one equality with an earlier entry drives a
// hash look-up into its candidate rows; the others are checked cell by cell.
struct HashJoin::Level {
  const Equality* driver = nullptr;  // right side is this level's entry
  std::vector<Equality> checks;      // both sides bound at this level
  RowIndex index;
};

HashJoin::HashJoin() = default;
HashJoin::~HashJoin() = default;

bool HashJoin::Compile(const std::vector<TToken>& tokens, int first, int last,
                       RowResolver& resolver) {
  resolver_ = &resolver;
  const int entries = resolver.EntryCount();
  if (entries < 2 || last < first) return false;

  // Cut the condition at AND outside brackets; an OR there rules the walk out.
  std::vector<std::pair<int, int>> conjuncts;
  int depth = 0;
  int start = first;
  for (int i = first; i <= last; ++i) {
    TTokenOperator op = tokens[i].Operator;
    if (op == toOpen) ++depth;
    if (op == toClose) --depth;
    if (depth != 0) continue;
    if (op == toOr) return false;
    if (op == toAnd) {
      conjuncts.emplace_back(start, i - 1);
      start = i + 1;
    }
  }
  conjuncts.emplace_back(start, last);

  row_filters_.clear();
  row_filters_.resize(entries);
  for (auto [from, to] : conjuncts) {
    if (to < from) return false;
    if (to - from == 2 && tokens[from].Operator == toVariable && tokens[from + 1].Operator == toEq &&
        tokens[to].Operator == toVariable) {
      int l = resolver.BindVariable(tokens[from].Name);
      int r = resolver.BindVariable(tokens[to].Name);
      if (l >= 0 && r >= 0 && resolver.BindingOf(l).entry != resolver.BindingOf(r).entry) {
        const auto& lb = resolver.BindingOf(l);
        const auto& rb = resolver.BindingOf(r);
        equalities_.push_back({lb.entry, lb.column, rb.entry, rb.column});
        continue;
      }
    }
    Filter filter;
    filter.expression = std::make_unique<TvekSQLExpression2>();
    filter.expression->SetVariableSource(&resolver);
    if (!filter.expression->SetInfixTokens(tokens, from, to).ok()) return false;
    int reads = EntryRead(resolver, *filter.expression);
    if (reads == -2) return false;
    (reads == -1 ? constant_filters_ : row_filters_[reads]).push_back(std::move(filter));
  }
  return true;
}

void HashJoin::Bind() {
  for (Filter& f : constant_filters_) f.expression->Bind();
  for (auto& filters : row_filters_) {
    for (Filter& f : filters) f.expression->Bind();
  }
}

bool HashJoin::Holds(Filter& filter, bool& result) {
  filter.expression->Evaluate(value_);
  return ValueToBool(value_, result);
}

bool HashJoin::SelectCandidates(int e) {
  RowResolver& resolver = *resolver_;
  candidates_[e].clear();
  const int rows = resolver.Set(e)->RecordCount();
  int saved = resolver.Row(e);
  for (int r = 0; r < rows; ++r) {
    resolver.SetRow(e, r);
    bool pass = true;
    for (Filter& f : row_filters_[e]) {
      bool result = false;
      if (!Holds(f, result)) return false;
      pass = pass && result;
    }
    if (pass) candidates_[e].push_back(r);
  }
  resolver.SetRow(e, saved);
  return true;
}

// Evaluates the constant conditions and the later tables' own ones, and
// indexes the later tables' candidate rows, once: false when a condition is
// no truth value.
bool HashJoin::Prepare() {
  if (prepared_) return prepared_ok_;
  prepared_ = true;
  RowResolver& resolver = *resolver_;
  const int entries = resolver.EntryCount();

  // Conditions that read no table decide for all combinations at once; a false
  // one still leaves the others evaluated, as the nested loop evaluates every
  // conjunct of every combination and fails on any that is no truth value.
  all_constants_hold_ = true;
  for (Filter& f : constant_filters_) {
    bool result = false;
    if (!Holds(f, result)) return false;
    all_constants_hold_ = all_constants_hold_ && result;
  }
  // The rows of each later table that pass its own conjuncts.
  candidates_.assign(entries, {});
  for (int e = 1; e < entries; ++e) {
    if (!SelectCandidates(e)) return false;
  }

  levels_ = std::vector<Level>(entries);
  for (const Equality& eq : equalities_) {
    Equality oriented = eq;
    if (oriented.left_entry > oriented.right_entry) {
      oriented = {eq.right_entry, eq.right_column, eq.left_entry, eq.left_column};
    }
    levels_[oriented.right_entry].checks.push_back(oriented);
  }
  for (int e = 1; e < entries; ++e) {
    Level& level = levels_[e];
    if (level.checks.empty()) continue;
    level.driver = &level.checks.front();
    const TvekRecordSet& set = *resolver.Set(e);
    for (int r : candidates_[e]) {
      level.index.Add(set.Records[r].Cell(level.driver->right_column), r);
    }
  }
  prepared_ok_ = true;
  return true;
}

bool HashJoin::WalkFrom(int e, const std::function<bool()>& visit) {
  RowResolver& resolver = *resolver_;
  auto cell = [&resolver](int entry, int column) {
    return resolver.Set(entry)->Records[resolver.Row(entry)].Cell(column);
  };
  Level& level = levels_[e];
  const std::vector<int>* rows = &candidates_[e];
  if (level.driver) {
    rows = level.index.Find(cell(level.driver->left_entry, level.driver->left_column));
    if (rows == nullptr) return true;
  }
  const int entries = static_cast<int>(levels_.size());
  for (int r : *rows) {
    resolver.SetRow(e, r);
    bool pass = true;
    for (std::size_t c = level.driver ? 1 : 0; c < level.checks.size() && pass; ++c) {
      const Equality& eq = level.checks[c];
      pass = cell(eq.left_entry, eq.left_column) == cell(eq.right_entry, eq.right_column);
    }
    if (!pass) continue;
    if (e + 1 < entries ? !WalkFrom(e + 1, visit) : !visit()) return false;
  }
  return true;
}

JoinOutcome HashJoin::Walk(const std::function<bool()>& visit,
                           const std::function<bool()>& next_rows,
                           const std::function<bool()>& handled) {
  RowResolver& resolver = *resolver_;
  const int entries = resolver.EntryCount();
  // The first entry's rows may come a piece at a time: it is empty only when
  // no piece has rows.
  auto next_piece = [&next_rows] { return next_rows && next_rows(); };
  for (int e = 1; e < entries; ++e) {
    if (resolver.Set(e)->RecordCount() == 0) return JoinOutcome::kDone;
  }
  while (resolver.Set(0)->RecordCount() == 0) {
    if (!next_piece()) return JoinOutcome::kDone;
  }
  if (!Prepare()) return JoinOutcome::kConditionFailed;

  // The first entry's rows in their order, piece after piece; when nothing
  // holds for all combinations, every row's own conjuncts are still evaluated.
  do {
    if (handled && handled()) continue;
    if (!SelectCandidates(0)) return JoinOutcome::kConditionFailed;
    if (all_constants_hold_ && !WalkFrom(0, visit)) return JoinOutcome::kStopped;
  } while (next_piece());
  return JoinOutcome::kDone;
}

}  // namespace vek
