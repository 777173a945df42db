// The process-wide decimal and thousand separators. They come from the user's
// locale at start-up and may be changed later (a connection sets them); number
// reading and writing everywhere in the program follows them.
#pragma once

namespace rtl {

char DecimalSeparator();
char ThousandSeparator();
void SetDecimalSeparator(char c);
void SetThousandSeparator(char c);

// setlocale(LC_ALL, "") and takes both separators from localeconv(). A separator
// the locale gives as empty or as more than one byte falls back to "." for the
// decimal and "," for the thousand separator. Call once at start-up.
void InitLocaleSeparators();

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
