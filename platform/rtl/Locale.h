// Case folding and collation under the user's locale, in one place: the engine's
// name look-ups, LIKE, replace, ORDER BY and the datasets' indexes and Locate all
// use these. Multibyte aware (UTF-8 "é" upper-cases to "É"); bytes that do not form
// a valid character in the locale's encoding are kept as they are.
#pragma once

#include <string>
#include <string_view>

namespace rtl {

std::string AnsiUpperCase(std::string_view text);
std::string AnsiLowerCase(std::string_view text);

// Only the ASCII letters change; every other byte stays.
std::string AsciiUpperCase(std::string_view text);
std::string AsciiLowerCase(std::string_view text);

// Case-insensitive comparison under the locale: both sides upper-cased, then
// compared by the locale's collation. <0, 0, >0.
int AnsiCompareText(std::string_view a, std::string_view b);
bool AnsiSameText(std::string_view a, std::string_view b);

// Case-sensitive comparison by the locale's collation (strcoll). Texts holding a
// NUL byte compare their bytes after the first NUL too.
int AnsiCompareStr(std::string_view a, std::string_view b);

// A key whose byte order equals the collation order (strxfrm), for sorting many
// texts by one precomputed key each.
std::string CollationKey(std::string_view text);

// Case-insensitive position of `pattern` in `text` from byte `from` (0-based),
// character by character on the original bytes; npos when absent or `pattern`
// is empty. Letters whose case forms differ in byte length are matched too.
std::size_t FindTextIgnoreCase(std::string_view text, std::string_view pattern,
                               std::size_t from = 0);

}  // namespace rtl
