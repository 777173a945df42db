// The message reporter: every report of the dataset package (a refused database
// folder, a failed query) is shown through it, synchronously. The program binds
// it to its message box; by default the texts go to stderr; tests install a
// recorder that keeps them in order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class Reporter {
 public:
  virtual ~Reporter() = default;
  // Shows `text` and returns once it has been shown (for a message box: closed).
  virtual void Show(std::string_view text) = 0;
};

// Installs the reporter that every later ShowMessage uses and returns the one
// it replaces. Not owned: it must stay alive while installed. nullptr puts the
// default back (each text and a line feed written to stderr).
Reporter* SetReporter(Reporter* reporter);

// Shows `text` through the reporter in force.
void ShowMessage(std::string_view text);

// Keeps every text shown while it lives, in order: installs itself on
// construction and puts the previous reporter back on destruction.
class RecordingReporter final : public Reporter {
 public:
  RecordingReporter() : previous_(SetReporter(this)) {}
  ~RecordingReporter() override { SetReporter(previous_); }
  RecordingReporter(const RecordingReporter&) = delete;
  RecordingReporter& operator=(const RecordingReporter&) = delete;

  void Show(std::string_view text) override { Texts.emplace_back(text); }

  std::vector<std::string> Texts;

 private:
  Reporter* previous_;
};
