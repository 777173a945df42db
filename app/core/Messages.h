// The program's messages and questions: every handler reports through this
// interface, which the program binds to Qt's message boxes and tests replace
// with a recorder. Calls are synchronous: they return once the user answered.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace app {

class Messages {
 public:
  virtual ~Messages() = default;
  // A message box with one text and an OK button.
  virtual void Info(std::string_view text) = 0;
  // A question with Yes and No; true for Yes.
  virtual bool YesNo(std::string_view text) = 0;
  // A question with OK and Cancel; true for OK.
  virtual bool OkCancel(std::string_view text) = 0;
  // The error box shown for an exception that reached a handler's edge.
  virtual void Error(std::string_view text) = 0;
};

// Keeps every message in order and answers questions from a script (OK / Yes
// when the script is empty).
class RecordingMessages final : public Messages {
 public:
  enum class Kind { kInfo, kYesNo, kOkCancel, kError };
  struct Entry {
    Kind kind;
    std::string text;
    bool operator==(const Entry&) const = default;
  };

  void Info(std::string_view text) override { entries.push_back({Kind::kInfo, std::string(text)}); }
  bool YesNo(std::string_view text) override { return Ask(Kind::kYesNo, text); }
  bool OkCancel(std::string_view text) override { return Ask(Kind::kOkCancel, text); }
  void Error(std::string_view text) override { entries.push_back({Kind::kError, std::string(text)}); }

  // The texts alone, in order.
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const Entry& e : entries) texts.push_back(e.text);
    return texts;
  }

  std::vector<Entry> entries;
  // Answers for the next questions, front first.
  std::deque<bool> answers;

 private:
  bool Ask(Kind kind, std::string_view text) {
    entries.push_back({kind, std::string(text)});
    if (answers.empty()) return true;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

}  // namespace app
