// The SQL editor driven with real key events: the completion pop-up (Ctrl+Space,
// one candidate at once, refilled on every key, Enter and Shift+Enter,
// Escape), the user's edits told apart from the program's, table names drawn
// in their colour, and bookmarks.
#include "SqlEditor.h"

#include <gtest/gtest.h>

#include <QListWidget>
#include <QSignalSpy>
#include <QTest>

#include "QueryText.h"

namespace {

using app::SqlEditor;
using Words = std::vector<std::string>;

class SqlEditorTest : public testing::Test {
 protected:
  void SetUp() override {
    editor_.resize(600, 300);
    editor_.show();
    editor_.SetCompletionWords(app::BuildCompletionWords(
        {{"orders", {"id", "customer", "cust_no"}}, {"customers", {"id", "name"}}}));
  }
  void Type(const char* text) { QTest::keyClicks(&editor_, QString::fromUtf8(text)); }
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(&editor_, key, modifiers);
  }
  void CtrlSpace() { Key(Qt::Key_Space, Qt::ControlModifier); }
  Words Offered() const { return editor_.Popup().Items(); }

  SqlEditor editor_;
};

TEST_F(SqlEditorTest, CtrlSpaceOffersMatchesWithTheFirstSelected) {
  Type("sel");
  CtrlSpace();
  ASSERT_TRUE(editor_.Popup().isVisible());
  EXPECT_EQ(Offered(), (Words{"SELECT", "SELECT * FROM"}));
  EXPECT_EQ(editor_.Popup().Selected(), 0);
  Key(Qt::Key_Down);
  Key(Qt::Key_Return);
  EXPECT_FALSE(editor_.Popup().isVisible());
  EXPECT_EQ(editor_.Text(), "SELECT * FROM");
  EXPECT_EQ(editor_.CaretInLine(), 13);
}

TEST_F(SqlEditorTest, OneCandidateIsInsertedAtOnceNoneShowsNothing) {
  Type("x upp");
  CtrlSpace();
  EXPECT_FALSE(editor_.Popup().isVisible());
  EXPECT_EQ(editor_.Text(), "x UPPER(expression)");

  Type(" ");
  CtrlSpace();  // right after a blank: the typed text is empty
  EXPECT_FALSE(editor_.Popup().isVisible());
  Type("zzz");
  CtrlSpace();
  EXPECT_FALSE(editor_.Popup().isVisible());
  EXPECT_EQ(editor_.Text(), "x UPPER(expression) zzz");
}

TEST_F(SqlEditorTest, EveryKeyRefillsTheList) {
  Type("c");
  CtrlSpace();
  EXPECT_EQ(Offered(),
            (Words{"CREATE TABLE", "COMMIT", "COS(expression)", "CEIL(expression)", "customer",
                   "cust_no", "customers", "customers.id", "customers.name"}));
  Type("us");
  EXPECT_EQ(Offered(),
            (Words{"customer", "cust_no", "customers", "customers.id", "customers.name"}));
  Type("q");
  EXPECT_TRUE(Offered().empty());
  EXPECT_EQ(editor_.Popup().Selected(), -1);
  Key(Qt::Key_Backspace);
  Type("t_");
  EXPECT_EQ(Offered(), (Words{"cust_no"}));
  EXPECT_EQ(editor_.Popup().Selected(), 0);
  Key(Qt::Key_Escape);
  EXPECT_FALSE(editor_.Popup().isVisible());
  EXPECT_EQ(editor_.Text(), "cust_");
}

TEST_F(SqlEditorTest, TheDotEndsTheTypedTextAndStaysInFront) {
  Type("SELECT orders.cu");
  CtrlSpace();
  EXPECT_EQ(Offered(),
            (Words{"customer", "cust_no", "customers", "customers.id", "customers.name"}));
  Key(Qt::Key_Return);
  EXPECT_EQ(editor_.Text(), "SELECT orders.customer");
}

TEST_F(SqlEditorTest, ShiftEnterReplacesOnlyTheLeftPart) {
  for (const bool shift : {false, true}) {
    SCOPED_TRACE(shift ? "Shift+Enter" : "Enter");
    editor_.SetProgramText("selxx FROM");
    editor_.setCursorPosition(0, 3);
    CtrlSpace();
    ASSERT_TRUE(editor_.Popup().isVisible());
    Key(Qt::Key_Return, shift ? Qt::ShiftModifier : Qt::NoModifier);
    EXPECT_EQ(editor_.Text(), shift ? "SELECTxx FROM" : "SELECT FROM");
  }
}

TEST_F(SqlEditorTest, DoubleClickInsertsTheItem) {
  Type("sel");
  CtrlSpace();
  QListWidget& list = editor_.Popup().List();
  QTest::qWait(1);  // the pop-up lays out its list
  const QRect second = list.visualItemRect(list.item(1));
  QTest::mousePress(list.viewport(), Qt::LeftButton, Qt::NoModifier, second.center());
  QTest::mouseRelease(list.viewport(), Qt::LeftButton, Qt::NoModifier, second.center());
  QTest::mouseDClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, second.center());
  EXPECT_EQ(editor_.Text(), "SELECT * FROM");
  EXPECT_FALSE(editor_.Popup().isVisible());
}

TEST_F(SqlEditorTest, OnlyTheUsersEditsAreSignalled) {
  QSignalSpy edits(&editor_, &SqlEditor::userEdited);
  editor_.SetProgramText("first query");
  editor_.InsertItemAtCaret("*");
  EXPECT_EQ(edits.count(), 0);
  EXPECT_EQ(editor_.Text(), " *first query ");

  Type("a");
  EXPECT_GE(edits.count(), 1);
  const int after_typing = edits.count();
  Key(Qt::Key_Z, Qt::ControlModifier);  // undo is the user's edit too
  EXPECT_GT(edits.count(), after_typing);

  // A text put in by the program leaves no undo step back to the old one.
  editor_.SetProgramText("second query");
  Key(Qt::Key_Z, Qt::ControlModifier);
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(editor_.Text(), "second query");
}

TEST_F(SqlEditorTest, ChangedLinesAreMarkedUntilSaved) {
  editor_.SetProgramText("a\nb\nc");
  editor_.setCursorPosition(1, 1);
  Type("x");
  EXPECT_EQ(editor_.markersAtLine(1) & (1 << SqlEditor::kModifiedMarker),
            1 << SqlEditor::kModifiedMarker);
  EXPECT_EQ(editor_.markersAtLine(0), 0u);
  editor_.MarkSaved();
  EXPECT_EQ(editor_.markersAtLine(1), 1u << SqlEditor::kSavedMarker);
  editor_.SetProgramText("other");
  EXPECT_EQ(editor_.markersAtLine(0), 0u);
}

TEST_F(SqlEditorTest, TableNamesAreDrawnInTheirColourInAnyCase) {
  editor_.SetProgramText("SELECT * FROM Orders, clients");
  editor_.SetTableNames({"orders"});
  editor_.SendScintilla(QsciScintillaBase::SCI_COLOURISE, 0ul, -1l);
  const auto style_at = [&](long pos) {
    return static_cast<int>(editor_.SendScintilla(QsciScintillaBase::SCI_GETSTYLEAT, pos));
  };
  EXPECT_EQ(style_at(14), app::SqlLexer::KeywordSet5);  // Orders
  EXPECT_EQ(style_at(22), app::SqlLexer::Identifier);   // clients
  EXPECT_EQ(style_at(0), app::SqlLexer::Keyword);       // SELECT
  EXPECT_EQ(editor_.Lexer().color(app::SqlLexer::KeywordSet5), QColor(Qt::red));

  editor_.SetTableNames({"clients"});
  editor_.SendScintilla(QsciScintillaBase::SCI_COLOURISE, 0ul, -1l);
  EXPECT_EQ(style_at(14), app::SqlLexer::Identifier);
  EXPECT_EQ(style_at(22), app::SqlLexer::KeywordSet5);
}

TEST_F(SqlEditorTest, TenBookmarksToSetAndGoTo) {
  editor_.SetProgramText("l0\nl1\nl2\nl3");
  editor_.setCursorPosition(2, 1);
  Key(Qt::Key_3, Qt::ControlModifier | Qt::ShiftModifier);
  editor_.setCursorPosition(0, 0);
  Key(Qt::Key_3, Qt::ControlModifier);
  int line = -1;
  int index = -1;
  editor_.getCursorPosition(&line, &index);
  EXPECT_EQ(line, 2);
  EXPECT_EQ(editor_.Text(), "l0\nl1\nl2\nl3");
}

}  // namespace
