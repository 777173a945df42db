// The exception types of the dataset layer, the framework's fixed message
// texts, and the "%s" filling used to build messages from them. Errors raised on
// behalf of a named dataset carry the name and " : " in front of the text.
#pragma once

#include <exception>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace db {

class DatabaseError : public std::runtime_error {
 public:
  explicit DatabaseError(const std::string& message) : std::runtime_error(message) {}
};

// A value that a field cannot take or give in the asked form ("abc" as an
// integer, 70000 in a smallint field). Callers that retry another conversion
// catch this one alone.
class ConversionError : public DatabaseError {
 public:
  explicit ConversionError(const std::string& message) : DatabaseError(message) {}
};

// A change that could not be written to its destination while a dataset applied
// its logged changes: its own message, and the error that the write raised,
// kept as it was thrown (rethrow it to look at it).
class UpdateError : public DatabaseError {
 public:
  UpdateError(const std::string& message, std::exception_ptr original)
      : DatabaseError(message), original_(std::move(original)) {}
  const std::exception_ptr& OriginalException() const { return original_; }

 private:
  std::exception_ptr original_;
};

// Replaces each "%s" of `format`, left to right, by the next argument; a "%s"
// without an argument left stays as it is.
std::string FormatMessage(std::string_view format, std::initializer_list<std::string_view> args);

// `message` with `component_name` + " : " in front, or unchanged for an empty name.
std::string PrefixedMessage(std::string_view component_name, std::string_view message);

// The framework's texts.
inline constexpr std::string_view kSActiveDataset =
    "Operation cannot be performed on an active dataset";
inline constexpr std::string_view kSInactiveDataset =
    "Operation cannot be performed on an inactive dataset";
inline constexpr std::string_view kSEmptyDataset =
    "Operation cannot be performed on an empty dataset";
inline constexpr std::string_view kSNotEditing =
    "Operation not allowed, dataset \"%s\" is not in an edit or insert state.";
inline constexpr std::string_view kSFieldNotFound = "Field not found : \"%s\"";
inline constexpr std::string_view kSDuplicateName = "Duplicate name '%s' in %s";
inline constexpr std::string_view kSNeedField = "Field %s is required, but not supplied.";
inline constexpr std::string_view kSReadOnlyField = "Field %s is read-only";
inline constexpr std::string_view kSInvalidValue = "\"%s\" is not a valid %s value for field %s";
inline constexpr std::string_view kSOutOfRange = "%s is out of range for field %s";
inline constexpr std::string_view kSNoRecord = "No record";
inline constexpr std::string_view kSRecordNotFound = "Could not find the requested record.";
inline constexpr std::string_view kSInvalidBookmark = "Invalid bookmark";
inline constexpr std::string_view kSParamNotFound = "Parameter \"%s\" not found";

}  // namespace db
