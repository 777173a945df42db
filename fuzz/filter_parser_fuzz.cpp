// Fuzzes the buffered dataset's filter parser: the input is a filter text,
// compiled against fields of every kind a filter can read and, when it
// compiles, evaluated over one record of values and one of nulls, with the
// matching options the input's length picks.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "datasets/vobufdataset_parser.h"
#include "db/DatabaseError.h"
#include "rtl/Dates.h"

namespace {

using db::FieldType;

const std::vector<TFilterField> kFields = {
    {"NAME", FieldType::ftString, 50},   {"NOTE", FieldType::ftString, 300},
    {"QTY", FieldType::ftInteger, 0},    {"SMALL", FieldType::ftSmallint, 0},
    {"BIG", FieldType::ftLargeint, 0},   {"PRICE", FieldType::ftFloat, 0},
    {"BORN", FieldType::ftDate, 0},      {"STAMP", FieldType::ftDateTime, 0},
    {"ACTIVE", FieldType::ftBoolean, 0}, {"COST", FieldType::ftCurrency, 0},
    {"MEMO", FieldType::ftMemo, 0},
};

bool Values(int field_index, db::FieldData& data) {
  switch (kFields.at(static_cast<std::size_t>(field_index)).DataType) {
    case FieldType::ftString:
    case FieldType::ftMemo:
      data.s = "Smith*";
      break;
    case FieldType::ftInteger:
    case FieldType::ftSmallint:
      data.i = -7;
      break;
    case FieldType::ftLargeint:
      data.i = 5000000000;
      break;
    case FieldType::ftBoolean:
      data.i = 1;
      break;
    default:
      data.f = 36925.5;  // a float, or a date serial
      break;
  }
  return true;
}

bool Nulls(int, db::FieldData&) { return false; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TVoBufDatasetParser parser(kFields);
  parser.SetCaseInsensitive((size & 1) != 0);
  parser.SetPartialMatch((size & 2) != 0);
  try {
    parser.CompileFilter(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const db::DatabaseError&) {
    return 0;  // unknown names, syntax and type errors: clean refusals
  }
  (void)parser.ToString();
  (void)parser.EvaluateRecord(Values).Accepted();
  (void)parser.EvaluateRecord(Nulls).Accepted();
  // Switching an option compiles the text again, which must not fail now.
  parser.SetPartialMatch(!parser.PartialMatch());
  (void)parser.EvaluateRecord(Values).Accepted();
  return 0;
}
