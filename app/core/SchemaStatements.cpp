// The texts of the three schema statements.
#include "SchemaStatements.h"

#include <algorithm>

#include "rtl/Locale.h"

namespace app {

namespace {

using Names = std::vector<std::string>;

std::string Quoted(const std::string& name) { return "'" + name + "'"; }

bool Has(const Names& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// The header name that `registered_name` (an element of `registered`) re-cases:
// equal but for case (as the engine compares column names), not itself
// registered, and not re-cased by an earlier registered name; nullptr for none.
const std::string* RecasedFrom(const std::string& registered_name, const Names& registered,
                               const Names& header) {
  for (const std::string& h : header) {
    if (Has(registered, h) || !rtl::AnsiSameText(h, registered_name)) continue;
    for (const std::string& f : registered) {
      if (!Has(header, f) && rtl::AnsiSameText(h, f)) return &f == &registered_name ? &h : nullptr;
    }
  }
  return nullptr;
}

}  // namespace

std::string AddMissingColumns(const std::string& table, const Names& registered,
                              const Names& header) {
  const std::string t = Quoted(table);
  std::string text;
  for (const std::string& f : registered) {
    if (Has(header, f)) continue;
    if (const std::string* h = RecasedFrom(f, registered, header)) {
      text += "ALTER TABLE " + t + " DROP COLUMN " + Quoted(*h) + "; ";
    }
    text += "ALTER TABLE " + t + " ADD COLUMN " + Quoted(f) + "; SAVE TABLE " + t + ";";
  }
  return text;
}

std::string DropSurplusColumns(const std::string& table, const Names& registered,
                               const Names& header) {
  const std::string t = Quoted(table);
  std::string text;
  for (const std::string& h : header) {
    if (Has(registered, h)) continue;
    const bool recased = std::any_of(registered.begin(), registered.end(), [&](const auto& f) {
      return !Has(header, f) && RecasedFrom(f, registered, header) == &h;
    });
    if (recased) continue;
    text += "ALTER TABLE " + t + " DROP COLUMN " + Quoted(h) + "; SAVE TABLE " + t + "; ";
  }
  return text;
}

std::string CreateTableFromFields(const std::string& table, const Names& registered) {
  std::string text = "CREATE TABLE " + Quoted(table) + "(";
  for (std::size_t i = 0; i < registered.size(); ++i) {
    if (i > 0) text += ",";
    text += Quoted(registered[i]);
  }
  return text + ");";
}

}  // namespace app
