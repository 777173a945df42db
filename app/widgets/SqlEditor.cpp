// The SQL editor's settings, highlighting, bookmarks, change marks and the
// completion pop-up's keys.
#include "SqlEditor.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QKeyEvent>
#include <QListWidget>
#include <QSizeGrip>
#include <QVBoxLayout>

#include "QueryText.h"
#include "rtl/Text.h"

namespace app {
namespace {

constexpr int kBookmarkMargin = 0;
constexpr int kNumberMargin = 1;
constexpr int kChangeMargin = 2;
constexpr int kSeparatorMargin = 3;
constexpr int kFoldMargin = 4;
constexpr int kBookmarkCount = 10;
constexpr int kBookmarkMask = (1 << kBookmarkCount) - 1;

// 12 pixels high. QScintilla sizes its styles' fonts in points only (a font
// sized in pixels reaches it as size -1 and is drawn minute), so the pixels
// are turned into points at the screen's resolution.
QFont EditorFont() {
  QFont font("DejaVu Sans Mono");
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  const QScreen* screen = QGuiApplication::primaryScreen();
  const double dpi = screen != nullptr ? screen->logicalDotsPerInchY() : 96.0;
  font.setPointSizeF(12.0 * 72.0 / (dpi > 0 ? dpi : 96.0));
  font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

// The digit of a bookmark key: Ctrl+3 goes to bookmark 3, Ctrl+Shift+3 sets it
// (with Shift held most layouts report the shifted symbol, "#" for 3).
int BookmarkDigit(int key) {
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return key - Qt::Key_0;
  static const int kShifted[] = {Qt::Key_ParenRight,  Qt::Key_Exclam,    Qt::Key_At,
                                 Qt::Key_NumberSign,  Qt::Key_Dollar,    Qt::Key_Percent,
                                 Qt::Key_AsciiCircum, Qt::Key_Ampersand, Qt::Key_Asterisk,
                                 Qt::Key_ParenLeft};
  for (int digit = 0; digit < kBookmarkCount; ++digit) {
    if (kShifted[digit] == key) return digit;
  }
  return -1;
}

}  // namespace

// ---- SqlLexer ----

SqlLexer::SqlLexer(QObject* parent) : QsciLexerSQL(parent) {
  const QFont font = EditorFont();
  setDefaultFont(font);
  setFont(font, -1);
  setColor(QColor(0x00, 0x00, 0xFF), Identifier);
  setColor(QColor(0xFF, 0x00, 0xFF), Keyword);
  setColor(QColor(0x00, 0x80, 0x00), Number);
  // The second keyword set of the SQL lexer holds the procedural words.
  setColor(QColor(0x00, 0x80, 0x80), 16);
  setColor(QColor(0x00, 0xFF, 0xFF), PlusKeyword);
  setColor(QColor(0x00, 0xFF, 0xFF), PlusPrompt);
  setColor(QColor(0x00, 0xFF, 0x00), SingleQuotedString);
  setColor(QColor(0x00, 0xFF, 0x00), DoubleQuotedString);
  setColor(QColor(0x80, 0x00, 0x00), Operator);
  setColor(QColor(0xFF, 0x00, 0x00), KeywordSet5);
}

const char* SqlLexer::keywords(int set) const {
  if (set == 5) return table_names_.constData();
  return QsciLexerSQL::keywords(set);
}

void SqlLexer::SetTableNames(const std::vector<std::string>& names) {
  // The lexer compares words in lower case (ASCII letters only).
  QByteArray words;
  for (const std::string& name : names) {
    if (!words.isEmpty()) words += ' ';
    words += QByteArray::fromStdString(rtl::AsciiLowerCase(name));
  }
  table_names_ = words;
}

// ---- CompletionPopup ----

CompletionPopup::CompletionPopup(QWidget* parent) : QFrame(parent, Qt::ToolTip) {
  setObjectName("CompletionPopup");
  setAccessibleName("CompletionPopup");
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFrameShape(QFrame::Box);
  setFocusPolicy(Qt::NoFocus);
  list_ = new QListWidget(this);
  list_->setObjectName("CompletionList");
  list_->setAccessibleName("CompletionPopup");
  list_->setFocusPolicy(Qt::NoFocus);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(1, 1, 1, 1);
  layout->setSpacing(0);
  layout->addWidget(list_);
  layout->addWidget(new QSizeGrip(this), 0, Qt::AlignBottom | Qt::AlignRight);
  resize(320, 180);
  connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    list_->setCurrentItem(item);
    emit itemChosen();
  });
}

void CompletionPopup::SetItems(const std::vector<std::string>& items, int selected) {
  list_->clear();
  for (const std::string& item : items) list_->addItem(QString::fromStdString(item));
  list_->setCurrentRow(selected);
}

std::vector<std::string> CompletionPopup::Items() const {
  std::vector<std::string> items;
  for (int i = 0; i < list_->count(); ++i) items.push_back(list_->item(i)->text().toStdString());
  return items;
}

int CompletionPopup::Selected() const {
  return list_->selectedItems().isEmpty() ? -1 : list_->currentRow();
}

void CompletionPopup::MoveSelection(int rows) {
  if (list_->count() == 0) return;
  const int from = Selected() < 0 ? (rows > 0 ? -1 : list_->count()) : Selected();
  list_->setCurrentRow(std::clamp(from + rows, 0, list_->count() - 1));
}

// ---- SqlEditor ----

SqlEditor::SqlEditor(QWidget* parent) : QsciScintilla(parent) {
  setObjectName("SynEditSQLEditor");
  setAccessibleName("SynEditSQLEditor");
  setToolTip("Use [CTRL]+[Space] for autocompletion.");
  Configure();
  popup_ = new CompletionPopup(this);
  popup_->hide();
  connect(popup_, &CompletionPopup::itemChosen, this, [this] {
    const int row = popup_->Selected();
    if (row >= 0) InsertCandidate(popup_->Items()[row], false);
    popup_->hide();
  });
  connect(this, &QsciScintilla::textChanged, this, [this] {
    if (program_writes_ == 0) emit userEdited();
  });
  connect(this, &QsciScintillaBase::SCN_MODIFIED, this, &SqlEditor::OnModified);
  connect(this, &QsciScintilla::linesChanged, this, &SqlEditor::UpdateLineNumberWidth);
}

void SqlEditor::Configure() {
  setUtf8(true);
  setEolMode(EolUnix);
  const QFont font = EditorFont();
  setFont(font);
  lexer_ = new SqlLexer(this);
  setLexer(lexer_);
  setMarginsFont(font);

  setMargins(5);
  // Bookmarks: one marker per bookmark, drawn as its digit.
  setMarginType(kBookmarkMargin, SymbolMargin);
  setMarginWidth(kBookmarkMargin, 24);
  setMarginMarkerMask(kBookmarkMargin, kBookmarkMask);
  for (int n = 0; n < kBookmarkCount; ++n) markerDefine(static_cast<char>('0' + n), n);
  // Line numbers from 1, on the button-face colour.
  setMarginType(kNumberMargin, NumberMargin);
  setMarginLineNumbers(kNumberMargin, true);
  setMarginsBackgroundColor(palette().color(QPalette::Button));
  UpdateLineNumberWidth();
  // Change marks: changed lines yellow, stored lines green.
  setMarginType(kChangeMargin, SymbolMargin);
  setMarginWidth(kChangeMargin, 4);
  setMarginMarkerMask(kChangeMargin, (1 << kModifiedMarker) | (1 << kSavedMarker));
  markerDefine(FullRectangle, kModifiedMarker);
  setMarkerBackgroundColor(QColor(252, 233, 0), kModifiedMarker);
  markerDefine(FullRectangle, kSavedMarker);
  setMarkerBackgroundColor(QColor(0, 128, 0), kSavedMarker);
  setMarginType(kSeparatorMargin, SymbolMargin);
  setMarginWidth(kSeparatorMargin, 2);
  setMarginMarkerMask(kSeparatorMargin, 0);
  setFolding(BoxedTreeFoldStyle, kFoldMargin);
}

void SqlEditor::UpdateLineNumberWidth() {
  const int digits = std::max(2, static_cast<int>(QString::number(lines()).size()));
  const int width = QFontMetrics(EditorFont()).horizontalAdvance(QString(digits, '0')) + 4;
  setMarginWidth(kNumberMargin, std::max(17, width));
}

std::string SqlEditor::Text() const {
  QString all = text();
  all.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  all.replace(QChar('\r'), QChar('\n'));
  return all.toStdString();
}

void SqlEditor::ReplaceBytes(long first, long last, const QByteArray& bytes) {
  SendScintilla(SCI_SETTARGETSTART, first);
  SendScintilla(SCI_SETTARGETEND, last);
  SendScintilla(SCI_REPLACETARGET, static_cast<unsigned long>(bytes.size()), bytes.constData());
}

void SqlEditor::SetProgramText(const std::string& text, bool keep_undo) {
  popup_->hide();
  ++program_writes_;
  const QByteArray bytes = QByteArray::fromStdString(text);
  if (keep_undo) {
    ReplaceBytes(0, SendScintilla(SCI_GETLENGTH), bytes);
    SendScintilla(SCI_GOTOPOS, 0);
  } else {
    setText(QString::fromStdString(text));
    SendScintilla(SCI_EMPTYUNDOBUFFER);
  }
  markerDeleteAll(kModifiedMarker);
  markerDeleteAll(kSavedMarker);
  --program_writes_;
}

std::string SqlEditor::CurrentLine() const {
  const long pos = SendScintilla(SCI_GETCURRENTPOS);
  QByteArray bytes = text(static_cast<int>(SendScintilla(SCI_LINEFROMPOSITION, pos))).toUtf8();
  while (!bytes.isEmpty() && (bytes.back() == '\n' || bytes.back() == '\r')) bytes.chop(1);
  return bytes.toStdString();
}

int SqlEditor::CaretInLine() const {
  const long pos = SendScintilla(SCI_GETCURRENTPOS);
  const long line = SendScintilla(SCI_LINEFROMPOSITION, pos);
  return static_cast<int>(pos - SendScintilla(SCI_POSITIONFROMLINE, line));
}

void SqlEditor::InsertItemAtCaret(const std::string& item) {
  const long pos = SendScintilla(SCI_GETCURRENTPOS);
  const long line = SendScintilla(SCI_LINEFROMPOSITION, pos);
  const long start = SendScintilla(SCI_POSITIONFROMLINE, line);
  const long end = SendScintilla(SCI_GETLINEENDPOSITION, line);
  const std::string replaced = InsertAtCaret(CurrentLine(), static_cast<int>(pos - start), item);
  ++program_writes_;
  ReplaceBytes(start, end, QByteArray::fromStdString(replaced));
  SendScintilla(SCI_GOTOPOS, pos);
  --program_writes_;
}

void SqlEditor::SetTableNames(const std::vector<std::string>& names) {
  lexer_->SetTableNames(names);
  SendScintilla(SCI_SETKEYWORDS, 4ul, lexer_->keywords(5));
  recolor();
}

void SqlEditor::CompletionExecute() {
  const std::vector<std::string> items =
      CompletionCandidates(completion_words_, TypedText(CurrentLine(), CaretInLine()));
  if (items.size() == 1) {
    popup_->hide();
    InsertCandidate(items.front(), false);
    return;
  }
  if (items.empty()) {
    popup_->hide();
    return;
  }
  popup_->SetItems(items, 0);
  ShowPopup();
}

void SqlEditor::RefillPopup() {
  const std::vector<std::string> items =
      CompletionCandidates(completion_words_, TypedText(CurrentLine(), CaretInLine()));
  popup_->SetItems(items, CompletionSelection(items));
}

void SqlEditor::ShowPopup() {
  const long pos = SendScintilla(SCI_GETCURRENTPOS);
  const int x = static_cast<int>(SendScintilla(SCI_POINTXFROMPOSITION, 0ul, pos));
  const int y = static_cast<int>(SendScintilla(SCI_POINTYFROMPOSITION, 0ul, pos));
  const int line_height = static_cast<int>(SendScintilla(SCI_TEXTHEIGHT, 0ul));
  popup_->move(viewport()->mapToGlobal(QPoint(x, y + line_height)));
  popup_->show();
}

void SqlEditor::InsertCandidate(const std::string& item, bool left_only) {
  const long start = SendScintilla(
      SCI_POSITIONFROMLINE, SendScintilla(SCI_LINEFROMPOSITION, SendScintilla(SCI_GETCURRENTPOS)));
  const TextRange range = CompletionTarget(CurrentLine(), CaretInLine(), left_only);
  const QByteArray bytes = QByteArray::fromStdString(item);
  ReplaceBytes(start + range.first, start + range.last, bytes);
  SendScintilla(SCI_GOTOPOS, static_cast<unsigned long>(start + range.first + bytes.size()));
}

void SqlEditor::MarkSaved() {
  for (int line = markerFindNext(0, 1 << kModifiedMarker); line >= 0;
       line = markerFindNext(line + 1, 1 << kModifiedMarker)) {
    markerDelete(line, kModifiedMarker);
    markerAdd(line, kSavedMarker);
  }
}

void SqlEditor::OnModified(int position, int modification_type, const char*, int, int lines_added,
                           int, int, int, int, int) {
  if (program_writes_ > 0) return;
  if ((modification_type & (SC_MOD_INSERTTEXT | SC_MOD_DELETETEXT)) == 0) return;
  const int first = static_cast<int>(SendScintilla(SCI_LINEFROMPOSITION, position));
  const int last = first + std::max(lines_added, 0);
  for (int line = first; line <= last; ++line) {
    markerDelete(line, kSavedMarker);
    if ((markersAtLine(line) & (1 << kModifiedMarker)) == 0) markerAdd(line, kModifiedMarker);
  }
}

bool SqlEditor::HandleBookmarkKey(QKeyEvent* event) {
  if ((event->modifiers() & Qt::ControlModifier) == 0) return false;
  const int digit = BookmarkDigit(event->key());
  if (digit < 0) return false;
  int line = 0;
  int index = 0;
  getCursorPosition(&line, &index);
  if (event->modifiers() & Qt::ShiftModifier) {
    // Setting a bookmark that is already on this line takes it away; elsewhere
    // it moves here.
    const bool here = (markersAtLine(line) & (1 << digit)) != 0;
    markerDeleteAll(digit);
    if (!here) markerAdd(line, digit);
  } else {
    const int target = markerFindNext(0, 1 << digit);
    if (target >= 0) {
      setCursorPosition(target, 0);
      ensureLineVisible(target);
    }
  }
  return true;
}

void SqlEditor::keyPressEvent(QKeyEvent* event) {
  const bool control = (event->modifiers() & Qt::ControlModifier) != 0;
  if (popup_->isVisible()) {
    switch (event->key()) {
      case Qt::Key_Escape:
        popup_->hide();
        return;
      case Qt::Key_Return:
      case Qt::Key_Enter: {
        const int row = popup_->Selected();
        popup_->hide();
        if (row >= 0) {
          InsertCandidate(popup_->Items()[row], (event->modifiers() & Qt::ShiftModifier) != 0);
        }
        return;
      }
      case Qt::Key_Up:
        popup_->MoveSelection(-1);
        return;
      case Qt::Key_Down:
        popup_->MoveSelection(1);
        return;
      case Qt::Key_PageUp:
        popup_->MoveSelection(-8);
        return;
      case Qt::Key_PageDown:
        popup_->MoveSelection(8);
        return;
      default:
        break;
    }
    if (!(control && event->key() == Qt::Key_Space)) QsciScintilla::keyPressEvent(event);
    RefillPopup();
    return;
  }
  if (control && event->key() == Qt::Key_Space) {
    CompletionExecute();
    return;
  }
  if (HandleBookmarkKey(event)) return;
  QsciScintilla::keyPressEvent(event);
}

void SqlEditor::focusOutEvent(QFocusEvent* event) {
  popup_->hide();
  QsciScintilla::focusOutEvent(event);
}

void SqlEditor::mousePressEvent(QMouseEvent* event) {
  popup_->hide();
  QsciScintilla::mousePressEvent(event);
}

}  // namespace app
