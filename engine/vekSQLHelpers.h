// Free routines of the engine: a case-sensitive position search, writing a whole
// text to a file, the numeric sound code, Easter Sunday, dates as "yyyy-mm-dd"
// texts and week numbers. No state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/vekSQLStatus.h"

namespace vek {

// 1-based position of the first occurrence of `sub` in `s` at or after the
// 1-based position `from`, comparing bytes exactly; 0 when `sub` is empty, `from`
// is below 1 or beyond the length of `s`, or there is no occurrence.
int PosEx(std::string_view sub, std::string_view s, int from = 1);

// Creates the file exclusively (fails when it already exists) and writes `text`
// with no line end; a file left incomplete is removed. Fails with
// "Cannot create file \"<name>\": <reason>" or "Cannot write file ...".
Status SaveStringToFile(const std::string& file_name, std::string_view text);

// The numeric sound code: first character's upper-case code plus up to three
// weighted digits (Robert and Rupert both give 3852; "" gives 0).
std::int32_t Soundex(std::string_view text);

// Easter Sunday of a Gregorian year; nullopt outside 1..9999.
std::optional<double> EasterDate(int year);

// "yyyy-mm-dd" (the year with at least four digits); the time of day is ignored.
// Empty for a serial outside 0001-01-01 .. 9999-12-31.
std::string DateToISO(double date);

// Bytes 1-4, 6-7 and 9-10 read as whole numbers forming a valid date; bytes 5
// and 8 are not examined. nullopt when they form no valid date, so that the
// valid date 1899-12-30 (serial 0) is never taken for "no date".
std::optional<double> ISOToDate(std::string_view text);

// The date parts of a text as ISOToDate reads them, each nullopt when its bytes
// are missing or not a whole number (year(), month() and day() use these). A
// part cut short by the end of the text is read as far as it goes.
std::optional<std::int64_t> DatePart(std::string_view text, int first_byte, int length);

// Week of the year, weeks running Sunday to Saturday, week 1 holding January 1st
// (1..54); 0 for a serial outside 0001-01-01 .. 9999-12-31.
int WeekNumber(double date);

}  // namespace vek
