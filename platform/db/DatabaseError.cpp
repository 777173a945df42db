// Message building for the dataset layer's errors.
#include "db/DatabaseError.h"

namespace db {

std::string FormatMessage(std::string_view format, std::initializer_list<std::string_view> args) {
  std::string out;
  out.reserve(format.size() + 32);
  auto next = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's' && next != args.end()) {
      out.append(*next++);
      ++i;
    } else {
      out.push_back(format[i]);
    }
  }
  return out;
}

std::string PrefixedMessage(std::string_view component_name, std::string_view message) {
  std::string out;
  if (!component_name.empty()) {
    out.append(component_name);
    out.append(" : ");
  }
  out.append(message);
  return out;
}

}  // namespace db
