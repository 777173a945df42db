// The SQL editor: a QScintilla editor with the SQL lexer, the project's table
// names drawn in red, line numbers, ten bookmarks, change marks, folding, and
// a completion pop-up on Ctrl+Space whose candidates are refilled from the
// completion words on every key. Text put in by the program is told apart
// from the user's own edits: only the latter emit userEdited.
#pragma once

#include <Qsci/qscilexersql.h>
#include <Qsci/qsciscintilla.h>

#include <QByteArray>
#include <QFrame>
#include <string>
#include <vector>

class QListWidget;
class QListWidgetItem;

namespace app {

// The SQL lexer with a fifth keyword set: the table names, matched in any
// letter case.
class SqlLexer : public QsciLexerSQL {
 public:
  explicit SqlLexer(QObject* parent = nullptr);
  const char* keywords(int set) const override;
  // The words of the fifth set, space-separated and in lower case.
  void SetTableNames(const std::vector<std::string>& names);

 private:
  QByteArray table_names_;
};

// The pop-up list of candidates. It never takes the focus: the editor keeps
// the keys and steers the list.
class CompletionPopup : public QFrame {
  Q_OBJECT

 public:
  explicit CompletionPopup(QWidget* parent);
  QListWidget& List() const { return *list_; }
  // Replaces the items and selects `selected` (-1: none).
  void SetItems(const std::vector<std::string>& items, int selected);
  std::vector<std::string> Items() const;
  // The selected item's row, -1 for none.
  int Selected() const;
  void MoveSelection(int rows);

 signals:
  void itemChosen();

 private:
  QListWidget* list_;
};

class SqlEditor : public QsciScintilla {
  Q_OBJECT

 public:
  // The marker numbers: bookmarks 0 to 9, then the two change marks.
  static constexpr int kModifiedMarker = 10;
  static constexpr int kSavedMarker = 11;

  explicit SqlEditor(QWidget* parent = nullptr);

  // The whole text, line breaks as LF.
  std::string Text() const;
  // Puts `text` in as the program's change: no userEdited, the change marks
  // cleared. `keep_undo` false also forgets the undo history, so that undo can
  // never bring back a text that belonged elsewhere.
  void SetProgramText(const std::string& text, bool keep_undo = false);
  // The "Apply" insertion: the caret's line becomes InsertAtCaret of it, the
  // caret stays where it was; a change by the program.
  void InsertItemAtCaret(const std::string& item);

  void SetCompletionWords(std::vector<std::string> words) { completion_words_ = std::move(words); }
  const std::vector<std::string>& CompletionWords() const { return completion_words_; }
  // Refills the table-name keyword set and draws the text again.
  void SetTableNames(const std::vector<std::string>& names);
  SqlLexer& Lexer() const { return *lexer_; }

  CompletionPopup& Popup() const { return *popup_; }
  // Ctrl+Space: the typed text's candidates; one is inserted at once, none
  // shows nothing, more open the pop-up with the first selected.
  void CompletionExecute();
  // The line and caret (byte offset in the line, without its line break).
  std::string CurrentLine() const;
  int CaretInLine() const;
  // The changed lines' marks become saved marks (the text was stored).
  void MarkSaved();

 signals:
  // The user changed the text (typing, deleting, pasting, undo, redo, a chosen
  // completion); never for the program's own changes.
  void userEdited();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  // A click in the text closes the pop-up, as Escape does.
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void Configure();
  void UpdateLineNumberWidth();
  void OnModified(int position, int modification_type, const char* text, int length,
                  int lines_added, int line, int fold_now, int fold_before, int token,
                  int annotation_lines);
  void RefillPopup();
  void ShowPopup();
  void InsertCandidate(const std::string& item, bool left_only);
  void ReplaceBytes(long first, long last, const QByteArray& bytes);
  bool HandleBookmarkKey(QKeyEvent* event);

  SqlLexer* lexer_;
  CompletionPopup* popup_;
  std::vector<std::string> completion_words_;
  int program_writes_ = 0;
};

}  // namespace app
