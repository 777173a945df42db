// Errors inside the engine are values: a Status (ok or a message), and for a
// statement a StatementResult (its record-set number or a message). They are
// turned once, where statements are dispatched, into the engine's result 0 and
// its last error text.
#pragma once

#include <string>
#include <utility>

namespace vek {

class Status {
 public:
  Status() = default;
  static Status OK() { return Status(); }
  static Status Error(std::string message) { return Status(false, std::move(message)); }

  bool ok() const { return ok_; }
  const std::string& message() const { return message_; }

 private:
  Status(bool ok, std::string message) : ok_(ok), message_(std::move(message)) {}
  bool ok_ = true;
  std::string message_;
};

// What a statement gives: the number (1-based) of its record set, kNoRecordSet
// when it succeeded without one, or an error with its text.
class StatementResult {
 public:
  static constexpr int kNoRecordSet = -1;

  static StatementResult Done() { return StatementResult(kNoRecordSet); }
  static StatementResult RecordSet(int number) { return StatementResult(number); }
  static StatementResult Error(std::string message) {
    StatementResult r(0);
    r.message_ = std::move(message);
    return r;
  }
  bool ok() const { return value_ != 0; }
  // The record-set number or kNoRecordSet; 0 for an error.
  int value() const { return value_; }
  const std::string& message() const { return message_; }

 private:
  explicit StatementResult(int value) : value_(value) {}
  int value_;
  std::string message_;
};

}  // namespace vek
