// The process-wide separators and their start-up values from the user's locale.
// Plain globals: the program sets them from one thread and only reads them later.
#include "rtl/Separators.h"

#include <clocale>

namespace rtl {
namespace {

char g_decimal = '.';
char g_thousand = ',';

bool IsSingleByte(const char* text) {
  return text != nullptr && text[0] != '\0' && text[1] == '\0';
}

}  // namespace

char DecimalSeparator() { return g_decimal; }
char ThousandSeparator() { return g_thousand; }
void SetDecimalSeparator(char c) { g_decimal = c; }
void SetThousandSeparator(char c) { g_thousand = c; }

SeparatorPair SeparatorsFromLocale(const char* decimal_point, const char* thousands_sep) {
  SeparatorPair pair{'.', ','};
  if (IsSingleByte(decimal_point)) pair.decimal = decimal_point[0];
  if (IsSingleByte(thousands_sep)) {
    pair.thousand = thousands_sep[0];
  } else if (pair.decimal == ',') {
    pair.thousand = '.';
  }
  return pair;
}

void InitLocaleSeparators() {
  std::setlocale(LC_ALL, "");
  const std::lconv* conv = std::localeconv();
  const SeparatorPair pair = SeparatorsFromLocale(conv->decimal_point, conv->thousands_sep);
  g_decimal = pair.decimal;
  g_thousand = pair.thousand;
}

ScopedSeparators::ScopedSeparators(char decimal, char thousand)
    : old_decimal_(g_decimal), old_thousand_(g_thousand) {
  g_decimal = decimal;
  g_thousand = thousand;
}

ScopedSeparators::~ScopedSeparators() {
  g_decimal = old_decimal_;
  g_thousand = old_thousand_;
}

}  // namespace rtl
