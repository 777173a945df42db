// Test helpers for table files: the names in a folder, and running a piece of
// a test where folder permissions bind, also when the tests run as root (who
// may delete and create files in a read-only folder).
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "testing/Privileges.h"

namespace vek::testing {

// The names of the entries of a folder, sorted.
inline std::vector<std::string> FileNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Runs a piece of a test as an unprivileged user when the tests run as root.
using orlenda::testing::WithoutPrivileges;

}  // namespace vek::testing
