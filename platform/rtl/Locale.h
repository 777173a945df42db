// Case folding and collation under the user's locale, in one place: the engine's
// name look-ups, LIKE, replace, ORDER BY and the datasets' indexes and Locate all
// use these. Multibyte aware (UTF-8 "é" upper-cases to "É"); bytes that do not
// form a valid character in the locale's encoding are kept as they are. ASCII
// folding and trimming are in Text.h.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace rtl {

// Every character mapped by towupper/towlower under the global C locale (set by
// setlocale, see InitLocaleSeparators). A mapped character that the encoding
// cannot write stays as it was.
std::string AnsiUpperCase(std::string_view text);
std::string AnsiLowerCase(std::string_view text);

// Case-insensitive comparison under the locale: both sides upper-cased, then
// compared by the locale's collation. -1, 0 or 1.
int AnsiCompareText(std::string_view a, std::string_view b);
bool AnsiSameText(std::string_view a, std::string_view b);

// Case-sensitive comparison by the locale's collation (strcoll): -1, 0 or 1.
// Texts holding NUL bytes compare segment by segment between them; when all
// segments agree, the text with fewer segments is the smaller.
int AnsiCompareStr(std::string_view a, std::string_view b);

// True when the locale's collation is plain byte order ("C", "POSIX", and the
// C.UTF-8 locale, which orders by code point: the byte order of UTF-8), so
// that texts compare as bytes and need no keys.
bool CollationIsByteOrder();

// A key whose byte order (unsigned, as std::string compares) equals the order of
// AnsiCompareStr (strxfrm), for sorting many texts by one precomputed key each.
std::string CollationKey(std::string_view text);

// Case-insensitive position of `pattern` in `text` from byte `from` (0-based),
// character by character on the original bytes: each character is compared by
// its upper-case form, so "ÉA" is found in "xéa" at byte 1. npos when absent,
// when `pattern` is empty or when `from` is not inside `text`.
std::size_t FindTextIgnoreCase(std::string_view text, std::string_view pattern,
                               std::size_t from = 0);
// The same, also giving the byte length of the match in `text`, which can differ
// from the pattern's length when a letter's case forms differ in byte length.
// `match_length` is left alone when nothing is found.
std::size_t FindTextIgnoreCase(std::string_view text, std::string_view pattern, std::size_t from,
                               std::size_t& match_length);

}  // namespace rtl
