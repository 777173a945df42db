// The program's message interface bound to Qt's message boxes, and the bridge
// that shows the dataset package's reports through the same boxes.
#pragma once

#include <string_view>

#include "Messages.h"
#include "datasets/Reporter.h"

class QWidget;

namespace app {

// Modal boxes over `parent` (which may be null), titled with the program's name.
class QtMessages final : public Messages {
 public:
  explicit QtMessages(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  void Info(std::string_view text) override;
  bool YesNo(std::string_view text) override;
  bool OkCancel(std::string_view text) override;
  void Error(std::string_view text) override;

 private:
  QWidget* parent_;
};

// Installs itself as the dataset package's reporter while it lives, showing
// every report as an Info message; puts the previous reporter back at the end.
// `messages` must outlive it.
class MessagesReporter final : public Reporter {
 public:
  explicit MessagesReporter(Messages& messages)
      : messages_(messages), previous_(SetReporter(this)) {}
  ~MessagesReporter() override { SetReporter(previous_); }
  MessagesReporter(const MessagesReporter&) = delete;
  MessagesReporter& operator=(const MessagesReporter&) = delete;

  void Show(std::string_view text) override { messages_.Info(text); }

 private:
  Messages& messages_;
  Reporter* previous_;
};

}  // namespace app
