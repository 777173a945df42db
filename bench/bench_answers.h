// The cross-engine check of the benchmark: every engine's answer boiled down to
// one comparable text (row count and sums rounded to 2 decimals; a digest of the
// sorted file; the rewritten table against the reference), and the in-process
// times the engines print in warm mode.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

inline std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (true) {
    std::size_t end = text.find(separator, start);
    if (end == std::string_view::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

inline double Number(std::string_view text) {
  return std::strtod(std::string(text).c_str(), nullptr);
}

// "rows=N sums=a,b" with each sum rounded to 2 decimals.
inline std::string RoundedAnswer(long rows, const std::vector<double>& sums) {
  std::string answer = "rows=" + std::to_string(rows);
  for (std::size_t i = 0; i < sums.size(); ++i) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2f", sums[i]);
    answer += (i == 0 ? " sums=" : ",");
    answer += buffer;
  }
  return answer;
}

// The "answer rows=N sum=x sum=y" line printed by bench_orlenda and
// duckdb_run.js; false when there is none.
inline bool ParseAnswerLine(const std::string& output, std::string& answer) {
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("answer ", 0) != 0) continue;
    long rows = -1;
    std::vector<double> sums;
    for (std::string_view word : Split(std::string_view(line).substr(7), ' ')) {
      if (word.rfind("rows=", 0) == 0)
        rows = std::strtol(std::string(word.substr(5)).c_str(), nullptr, 10);
      if (word.rfind("sum=", 0) == 0) sums.push_back(Number(word.substr(4)));
    }
    if (rows < 0) return false;
    answer = RoundedAnswer(rows, sums);
    return true;
  }
  return false;
}

// The sqlite3 shell's result rows (";"-separated, no header), its timer lines
// skipped.
inline std::string SummarizeShellRows(const std::string& output, const std::vector<int>& columns) {
  std::istringstream lines(output);
  std::string line;
  long rows = 0;
  std::vector<double> sums(columns.size(), 0.0);
  while (std::getline(lines, line)) {
    if (line.rfind("Run Time:", 0) == 0) continue;
    std::vector<std::string_view> cells = Split(line, ';');
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (static_cast<std::size_t>(columns[i]) < cells.size()) sums[i] += Number(cells[columns[i]]);
    }
    ++rows;
  }
  return RoundedAnswer(rows, sums);
}

struct WarmTime {
  double wall = 0, user = 0, sys = 0;
};

// Sums the warm-mode time lines: "warm wall=W user=U sys=S" (our runners) or
// the sqlite3 shell's "Run Time: real W user U sys S", one per statement.
// False when there is none.
inline bool ParseWarmTime(const std::string& output, WarmTime& time) {
  std::istringstream lines(output);
  std::string line;
  bool found = false;
  time = WarmTime{};
  while (std::getline(lines, line)) {
    double w, u, s;
    if (std::sscanf(line.c_str(), "warm wall=%lf user=%lf sys=%lf", &w, &u, &s) == 3 ||
        std::sscanf(line.c_str(), "Run Time: real %lf user %lf sys %lf", &w, &u, &s) == 3) {
      time.wall += w;
      time.user += u;
      time.sys += s;
      found = true;
    }
  }
  return found;
}

// Q3's file: its header, row count, sum of ids, whether the names ascend
// (bytewise), and a hash of the names in file order. Rows with equal names may
// come in any order, so the hash covers the name column alone.
inline std::string DigestSortedFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "no file " + path;
  std::string header, line, previous;
  std::getline(in, header);
  long rows = 0;
  double id_sum = 0;
  bool ascending = true;
  std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
  while (std::getline(in, line)) {
    std::vector<std::string_view> cells = Split(line, ';');
    std::string_view name = cells.size() > 1 ? cells[1] : std::string_view();
    if (rows > 0 && name < previous) ascending = false;
    previous.assign(name);
    for (char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    hash = (hash ^ '\n') * 1099511628211ull;
    id_sum += Number(cells[0]);
    ++rows;
  }
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, "header=%s rows=%ld sum(id)=%.0f names=%016llx%s",
                header.c_str(), rows, id_sum, static_cast<unsigned long long>(hash),
                ascending ? " ascending" : " NOT-ASCENDING");
  return buffer;
}

// Q5's file against the reference: "identical to reference (N bytes)" or where
// they first differ.
inline std::string CompareWithReference(const std::string& path, const std::string& reference) {
  std::ifstream a(path, std::ios::binary), b(reference, std::ios::binary);
  if (!a) return "no file " + path;
  if (!b) return "no reference " + reference;
  std::vector<char> x(1 << 20), y(1 << 20);
  long offset = 0;
  while (true) {
    a.read(x.data(), x.size());
    b.read(y.data(), y.size());
    std::streamsize n = a.gcount(), m = b.gcount();
    std::streamsize common = std::min(n, m);
    for (std::streamsize i = 0; i < common; ++i) {
      if (x[i] != y[i]) return "DIFFERS from reference at byte " + std::to_string(offset + i);
    }
    if (n != m)
      return "DIFFERS from reference in length after byte " + std::to_string(offset + common);
    offset += n;
    if (n == 0) return "identical to reference (" + std::to_string(offset) + " bytes)";
  }
}

}  // namespace bench
