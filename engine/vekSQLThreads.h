// Threads inside one statement: a statement may share its work with helper
// threads as long as what it answers, writes and reports is the same as when
// its own thread does all of it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <future>
#include <system_error>
#include <vector>

namespace vek {

// The processors this process may use beside the one it runs on, up to 7: a
// few helpers keep up with the thread that uses what they make. 0 where the
// process may run on one processor only.
int SpareProcessors();

// Runs job(part) for parts 0 .. parts - 1 side by side, part 0 on this thread;
// returns once every part is over, passing on an exception of any of them.
// A part for which no thread can be had runs on this thread too.
template <typename Job>
void SideBySide(std::size_t parts, const Job& job) {
  std::vector<std::future<void>> others;
  std::vector<std::size_t> here = {0};
  others.reserve(parts);
  for (std::size_t p = 1; p < parts; ++p) {
    try {
      others.push_back(std::async(std::launch::async, [&job, p] { job(p); }));
    } catch (const std::system_error&) {
      here.push_back(p);
    }
  }
  for (std::size_t p : here) job(p);
  for (std::future<void>& other : others) other.get();
}

// The parts to cut `count` items into, each at least `min_part` long, as many
// as there are processors to run them side by side: 1 for few items or one
// processor.
inline std::size_t PartsFor(std::size_t count, std::size_t min_part) {
  return std::max<std::size_t>(1, std::min<std::size_t>(SpareProcessors() + 1, count / min_part));
}

// Runs job(from, to) over PartsFor(count, min_part) parts of [0, count) side
// by side.
template <typename Job>
void ForEachPart(std::size_t count, std::size_t min_part, const Job& job) {
  const std::size_t parts = PartsFor(count, min_part);
  SideBySide(parts, [&](std::size_t p) { job(count * p / parts, count * (p + 1) / parts); });
}

}  // namespace vek
