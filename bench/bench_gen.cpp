// Writes the benchmark's project folder: t.txt (N rows of
// id;grp;cat;name;city;amount;qty;dt), g.txt (100 groups) and c.txt (1,000
// cities). The generator has its own random numbers, so a seed gives the same
// bytes on every machine and library. ASCII, LF line ends, "." decimal point.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr std::uint64_t kDefaultSeed = 20240613;
constexpr int kGroups = 100;
constexpr int kRegions = 20;
constexpr int kCities = 1000;
constexpr const char* kCategories[] = {"alpha",   "bravo", "charlie", "delta", "echo",
                                       "foxtrot", "golf",  "hotel",   "india", "juliet"};

// splitmix64: tiny, fast, and the same everywhere (unlike std distributions).
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // 0 .. n-1; the modulo bias is far below anything the benchmark can see.
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }

 private:
  std::uint64_t state_;
};

// Days since 1970-01-01 to a civil date (Howard Hinnant's days_from_civil inverse).
void CivilFromDays(long days, int& y, int& m, int& d) {
  days += 719468;
  long era = (days >= 0 ? days : days - 146096) / 146097;
  long doe = days - era * 146097;
  long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

void Letters(Random& random, char* out, int count) {
  for (int i = 0; i < count; ++i) out[i] = static_cast<char>('a' + random.Below(26));
  out[count] = '\0';
}

// Opens `dir/name` for writing; exits with a message when it cannot.
FILE* OpenOut(const std::string& dir, const char* name) {
  std::string path = dir + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    std::fprintf(stderr, "bench_gen: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
    std::exit(1);
  }
  static char buffer[1 << 20];
  std::setvbuf(f, buffer, _IOFBF, sizeof buffer);
  return f;
}

void CloseOut(FILE* f, const char* name) {
  if (std::ferror(f) || std::fclose(f) != 0) {
    std::fprintf(stderr, "bench_gen: write error on %s\n", name);
    std::exit(1);
  }
}

void WriteGroups(Random& random, const std::string& dir) {
  FILE* f = OpenOut(dir, "g.txt");
  std::fputs("grp;region;manager;budget\n", f);
  char manager[16];
  for (int g = 0; g < kGroups; ++g) {
    Letters(random, manager, 8);
    std::fprintf(f, "g%03d;r%02d;%s;%d\n", g, random.Below(kRegions), manager,
                 10000 + random.Below(990000));
  }
  CloseOut(f, "g.txt");
}

void WriteCities(Random& random, const std::string& dir) {
  FILE* f = OpenOut(dir, "c.txt");
  std::fputs("city;region;pop\n", f);
  for (int c = 0; c < kCities; ++c) {
    std::fprintf(f, "c%04d;r%02d;%d\n", c, random.Below(kRegions), 100 + random.Below(2000000));
  }
  CloseOut(f, "c.txt");
}

void WriteRows(Random& random, const std::string& dir, long rows) {
  FILE* f = OpenOut(dir, "t.txt");
  std::fputs("id;grp;cat;name;city;amount;qty;dt\n", f);
  const long first_day = 10957;            // 2000-01-01
  const int day_span = 20089 - 10957 + 1;  // through 2024-12-31
  char name[16];
  for (long id = 1; id <= rows; ++id) {
    int grp = random.Below(kGroups);
    const char* cat = kCategories[random.Below(10)];
    Letters(random, name, 10);
    int city = random.Below(kCities);
    int cents = random.Below(1000000);
    int qty = 1 + random.Below(100);
    int y, m, d;
    CivilFromDays(first_day + random.Below(day_span), y, m, d);
    std::fprintf(f, "%ld;g%03d;%s;%s;c%04d;%d.%02d;%d;%04d-%02d-%02d\n", id, grp, cat, name, city,
                 cents / 100, cents % 100, qty, y, m, d);
  }
  CloseOut(f, "t.txt");
}

void Usage() {
  std::fprintf(stderr, "usage: bench_gen --rows N --out DIR [--seed S]\n");
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  long rows = -1;
  std::string out;
  std::uint64_t seed = kDefaultSeed;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (i + 1 >= argc) Usage();
    if (arg == "--rows") {
      rows = std::strtol(argv[++i], nullptr, 10);
    } else if (arg == "--out") {
      out = argv[++i];
    } else if (arg == "--seed") {
      seed = std::strtoull(argv[++i], nullptr, 10);
    } else {
      Usage();
    }
  }
  if (rows < 0 || out.empty()) Usage();
  // Each file has its own stream, so t.txt's rows do not depend on the small tables.
  Random groups(seed), cities(seed + 1), table(seed + 2);
  WriteGroups(groups, out);
  WriteCities(cities, out);
  WriteRows(table, out, rows);
  return 0;
}
