// The guard at every handler's edge: an exception becomes exactly one error
// message with the exception's text, and nothing reaches Qt. And the bridge
// that shows the dataset package's reports through the same messages.
#include "Guard.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <stdexcept>

#include "db/DatabaseError.h"
#include "QtMessages.h"

namespace {

using app::RecordingMessages;
using Kind = RecordingMessages::Kind;

TEST(GuardTest, AnExceptionBecomesOneErrorMessage) {
  struct Case {
    const char* name;
    std::function<void()> handler;
    std::vector<RecordingMessages::Entry> expected;
  };
  const std::vector<Case> cases = {
      {"runs to its end", [] {}, {}},
      {"standard exception",
       [] { throw std::runtime_error("disk full"); },
       {{Kind::kError, "disk full"}}},
      {"dataset error",
       [] { throw db::DatabaseError("Projects : Field not found"); },
       {{Kind::kError, "Projects : Field not found"}}},
      {"anything else", [] { throw 42; }, {{Kind::kError, "Unknown error"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingMessages messages;
    EXPECT_EQ(app::Guard(messages, c.handler), c.expected.empty());
    EXPECT_EQ(messages.entries, c.expected);
  }
}

TEST(GuardTest, ConnectedHandlerKeepsTheExceptionFromQt) {
  RecordingMessages messages;
  QPushButton button("Run");
  QObject::connect(&button, &QPushButton::clicked, [&messages] {
    app::Guard(messages, [] { throw std::runtime_error("no such table"); });
  });
  QTest::mouseClick(&button, Qt::LeftButton);
  QTest::mouseClick(&button, Qt::LeftButton);
  EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"no such table", "no such table"}));
}

TEST(MessagesReporterTest, ShowsReportsAsMessagesWhileItLives) {
  RecordingMessages messages;
  RecordingReporter outer;
  {
    app::MessagesReporter reporter(messages);
    ShowMessage("Connection to database: /nowhere failed! Error: no folder");
  }
  ShowMessage("after");
  EXPECT_EQ(messages.entries,
            (std::vector<RecordingMessages::Entry>{
                {Kind::kInfo, "Connection to database: /nowhere failed! Error: no folder"}}));
  EXPECT_EQ(outer.Texts, (std::vector<std::string>{"after"}));
}

}  // namespace
