// A small status value: errors inside the engine are passed up as values and
// turned once, at ExecuteSQL, into the engine's result 0 and its last error text.
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

}  // namespace vek
