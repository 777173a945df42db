// The reporter in force and the default one, which writes to stderr.
#include "datasets/Reporter.h"

#include <cstdio>

namespace {

class StderrReporter final : public Reporter {
 public:
  void Show(std::string_view text) override {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
  }
};

StderrReporter default_reporter;
Reporter* current_reporter = &default_reporter;

}  // namespace

Reporter* SetReporter(Reporter* reporter) {
  Reporter* previous = current_reporter;
  current_reporter = reporter != nullptr ? reporter : &default_reporter;
  return previous == &default_reporter ? nullptr : previous;
}

void ShowMessage(std::string_view text) { current_reporter->Show(text); }
