// The process-wide decimal and thousand separators. They come from the user's
// locale at start-up and may be changed later (a connection sets them); number
// reading and writing everywhere in the program follows them.
#pragma once

namespace rtl {

char DecimalSeparator();
char ThousandSeparator();
void SetDecimalSeparator(char c);
void SetThousandSeparator(char c);

// setlocale(LC_ALL, "") and takes both separators from localeconv(), as
// SeparatorsFromLocale says. Call once at start-up, before any other thread runs.
void InitLocaleSeparators();

struct SeparatorPair {
  char decimal;
  char thousand;
};
// The separators for the locale's decimal_point and thousands_sep texts. A text
// that is empty or longer than one byte falls back: the decimal separator to ".",
// the thousand separator to ",", or to "." when the decimal separator is already
// "," (a locale with "," and a multi-byte grouping space must not read "1,5" as 15).
SeparatorPair SeparatorsFromLocale(const char* decimal_point, const char* thousands_sep);

// Restores both separators on destruction; for tests and for code that switches
// them for one operation.
class ScopedSeparators {
 public:
  ScopedSeparators(char decimal, char thousand);
  ~ScopedSeparators();
  ScopedSeparators(const ScopedSeparators&) = delete;
  ScopedSeparators& operator=(const ScopedSeparators&) = delete;

 private:
  char old_decimal_;
  char old_thousand_;
};

}  // namespace rtl
