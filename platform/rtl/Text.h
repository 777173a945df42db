// Small text helpers in one place: trimming blanks, ASCII case folding, and
// comparisons that ignore letter case. Folding and collation under the user's
// locale are in Locale.h; SameText picks between the two.
#pragma once

#include <string>
#include <string_view>

namespace rtl {

// A blank is any byte from 0 to 32: the space and every control character.
constexpr bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }
// `text` without its leading and trailing blanks.
std::string_view TrimBlanks(std::string_view text);

// Only the ASCII letters change; every other byte stays.
constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
std::string AsciiUpperCase(std::string_view text);
std::string AsciiLowerCase(std::string_view text);

// True when every byte is below 0x80.
bool IsAscii(std::string_view text);
// Equal with the ASCII letters folded; every other byte compares as it is.
bool SameAsciiText(std::string_view a, std::string_view b);
// Equal ignoring letter case: two ASCII texts (nearly all names) by their ASCII
// letters, without building folded copies; any other pair under the locale
// (AnsiSameText).
bool SameText(std::string_view a, std::string_view b);

}  // namespace rtl
