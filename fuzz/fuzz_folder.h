// A temporary folder for a fuzz target's files, made once per process and
// emptied after every input, so that no input sees what an earlier one left
// behind and a finding reproduces from its input alone.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fuzzing {

class FuzzFolder {
 public:
  FuzzFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orlenda-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();  // no folder, nothing to fuzz: fail loudly, not with false findings
    }
    path_ = pattern;
  }
  ~FuzzFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

  void Write(const std::string& name, const char* data, std::size_t size) const {
    std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
    out.write(data, static_cast<std::streamsize>(size));
  }

  // Removes everything in the folder, keeping the folder.
  void Empty() const {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(path_, ec)) {
      std::filesystem::remove_all(entry.path(), ec);
    }
  }

 private:
  std::string path_;
};

}  // namespace fuzzing
