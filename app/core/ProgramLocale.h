// The program's locale at start-up: the user's decimal and thousand separators
// are taken once, then numbers go back to the C rules for every library.
#pragma once

namespace app {

// Call once, right after the GUI application object is made (it has set the C
// library's locale from the environment, LC_NUMERIC included). Sets the
// process-wide separators from the C library's view of the user's locale (the
// one source: Qt's own locale object reads the environment itself and may
// disagree when a locale is not installed), then sets LC_NUMERIC back to "C",
// so that strtod, printf and std::stod read and write "1.5" whatever the
// user's locale. Collation and character classes keep the user's locale.
void TakeUserLocale();

}  // namespace app
