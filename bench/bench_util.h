// What the benchmarks share: wall time, the median of a series, and scratch
// folders that go with the benchmark.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The middle value; of an even number of values, the upper of the two middle
// ones.
inline double Median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// A new folder under the system's temporary folder, "<prefix>-XXXXXX", with a
// trailing "/"; removed with everything in it when the benchmark ends. Ends
// the benchmark when it cannot be made.
inline std::string ScratchFolder(const char* prefix) {
  struct Folders {
    std::vector<std::string> paths;
    ~Folders() {
      std::error_code ec;
      for (const std::string& path : paths) std::filesystem::remove_all(path, ec);
    }
  };
  static Folders folders;
  std::string pattern =
      (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::fprintf(stderr, "cannot make a temporary folder under %s\n", pattern.c_str());
    std::exit(1);
  }
  folders.paths.push_back(pattern);
  return pattern + "/";
}

}  // namespace bench
