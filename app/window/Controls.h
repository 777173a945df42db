// The window's building blocks: each makes one control with its object name,
// caption, hint and accessible name set the same way, so that every page is
// assembled from short lists of controls.
#pragma once

#include <QString>
#include <QWidget>
#include <initializer_list>
#include <vector>

#include "DBGrid.h"
#include "DBNavigator.h"
#include "FileChoosers.h"

class QLabel;
class QListWidget;
class QPushButton;
class QSplitter;
class QTabWidget;

namespace app {

enum class ButtonLook { kPlain, kBold, kBoldRed };

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption,
                        const QString& hint = {}, ButtonLook look = ButtonLook::kPlain);
QLabel* MakeHeading(QWidget* parent, const QString& text);
// A page control; its pages are added by the caller.
QTabWidget* MakePageControl(const char* name);
DBGrid* MakeGrid(Messages& messages, QWidget* parent, const char* name, db::DataSet* dataset,
                 std::vector<GridColumn> columns = {});
DBNavigator* MakeNavigator(Messages& messages, QWidget* parent, const char* name,
                           db::DataSet* dataset);
// Widens each column of `grid` that is narrower than its title (measured in
// the grid's font) to the title's width + 10 pixels; wider columns keep theirs.
void FitGridColumnsToTitles(DBGrid& grid);

QListWidget* MakeListBox(QWidget* parent, const char* name, const QStringList& items = {});
DirectoryEdit* MakeDirectoryEdit(QWidget* parent, const char* name);
FileNameEdit* MakeFileNameEdit(QWidget* parent, const char* name);

// A pair splitter: two sides and a handle whose position is the first side's
// size in pixels; the second side takes what the window's size adds or
// removes. A position set before the splitter has a size (its page was never
// shown) is kept and applied when it gets one, so that it is exact whatever
// the window's size was meanwhile.
class PairSplitter : public QSplitter {
 public:
  explicit PairSplitter(Qt::Orientation orientation) : QSplitter(orientation) {}
  int Position() const;
  void SetPosition(int position);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  int Extent() const;
  void Apply(int position);

  int pending_ = -1;
};

// `orientation` Qt::Vertical puts the sides top and bottom. The sides may be
// made smaller than their contents want (those are then cut off), so that a
// position is what it says.
PairSplitter* MakeSplitter(const char* name, Qt::Orientation orientation, int position,
                           QWidget* first, QWidget* second);
// The first side's size, and setting it, for a PairSplitter or any splitter.
int SplitterPosition(const QSplitter& splitter);
void SetSplitterPosition(QSplitter& splitter, int position);

// A panel stacking `rows` top to bottom; `grow`, when given, takes the spare
// height.
QWidget* Stack(std::initializer_list<QWidget*> rows, QWidget* grow = nullptr);
// A row of widgets left to right, the rest of the width left empty unless
// `grow` takes it.
QWidget* Row(std::initializer_list<QWidget*> items, QWidget* grow = nullptr);

}  // namespace app
