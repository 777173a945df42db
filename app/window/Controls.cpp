// Control makers of the main window's pages.
#include "Controls.h"

#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <vector>

#include "TableData.h"

namespace app {

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption,
                        const QString& hint, ButtonLook look) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setAccessibleName(caption);
  if (!hint.isEmpty()) button->setToolTip(hint);
  if (look != ButtonLook::kPlain) {
    QFont font = button->font();
    font.setBold(true);
    button->setFont(font);
  }
  if (look == ButtonLook::kBoldRed) {
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, Qt::red);
    button->setPalette(palette);
  }
  return button;
}

QLabel* MakeHeading(QWidget* parent, const QString& text) {
  auto* label = new QLabel(text, parent);
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  return label;
}

QTabWidget* MakePageControl(const char* name) {
  auto* tabs = new QTabWidget;
  tabs->setObjectName(QString::fromLatin1(name));
  tabs->setAccessibleName(QString::fromLatin1(name));
  tabs->tabBar()->setAccessibleName(QString::fromLatin1(name));
  return tabs;
}

DBGrid* MakeGrid(Messages& messages, QWidget* parent, const char* name, db::DataSet* dataset,
                 std::vector<GridColumn> columns) {
  auto* grid = new DBGrid(messages, parent);
  grid->setObjectName(QString::fromLatin1(name));
  grid->setAccessibleName(QString::fromLatin1(name));
  grid->SetColumns(std::move(columns));
  grid->SetDataSet(dataset);
  return grid;
}

DBNavigator* MakeNavigator(Messages& messages, QWidget* parent, const char* name,
                           db::DataSet* dataset) {
  auto* navigator = new DBNavigator(messages, parent);
  navigator->setObjectName(QString::fromLatin1(name));
  navigator->setAccessibleName(QString::fromLatin1(name));
  navigator->SetDataSet(dataset);
  return navigator;
}

void FitGridColumnsToTitles(DBGrid& grid) {
  const QFontMetrics metrics = grid.fontMetrics();
  std::vector<int> widths;
  std::vector<int> title_widths;
  const int columns = grid.Model().columnCount();
  for (int c = 0; c < columns; ++c) {
    widths.push_back(grid.columnWidth(c));
    title_widths.push_back(
        metrics.horizontalAdvance(grid.Model().headerData(c, Qt::Horizontal).toString()));
  }
  const std::vector<int> fitted = FitGridColumnsToTitles(widths, title_widths);
  for (int c = 0; c < columns; ++c) {
    const int width = fitted[static_cast<std::size_t>(c)];
    if (width != widths[static_cast<std::size_t>(c)]) grid.setColumnWidth(c, width);
  }
}

QListWidget* MakeListBox(QWidget* parent, const char* name, const QStringList& items) {
  auto* list = new QListWidget(parent);
  list->setObjectName(QString::fromLatin1(name));
  list->setAccessibleName(QString::fromLatin1(name));
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->addItems(items);
  return list;
}

DirectoryEdit* MakeDirectoryEdit(QWidget* parent, const char* name) {
  auto* edit = new DirectoryEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->Edit()->setAccessibleName(QString::fromLatin1(name));
  return edit;
}

FileNameEdit* MakeFileNameEdit(QWidget* parent, const char* name) {
  auto* edit = new FileNameEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->Edit()->setAccessibleName(QString::fromLatin1(name));
  return edit;
}

int PairSplitter::Extent() const {
  const int extent = orientation() == Qt::Horizontal ? width() : height();
  return extent - handleWidth();
}

int PairSplitter::Position() const {
  if (pending_ >= 0) return pending_;
  const QList<int> sizes = QSplitter::sizes();
  return sizes.isEmpty() ? 0 : sizes.front();
}

void PairSplitter::SetPosition(int position) {
  if (Extent() <= 0 || !isVisible()) {
    pending_ = position;
    return;
  }
  pending_ = -1;
  Apply(position);
}

void PairSplitter::Apply(int position) { setSizes({position, std::max(0, Extent() - position)}); }

void PairSplitter::resizeEvent(QResizeEvent* event) {
  QSplitter::resizeEvent(event);
  if (pending_ >= 0 && Extent() > 0) {
    const int position = pending_;
    pending_ = -1;
    Apply(position);
  }
}

PairSplitter* MakeSplitter(const char* name, Qt::Orientation orientation, int position,
                           QWidget* first, QWidget* second) {
  auto* splitter = new PairSplitter(orientation);
  splitter->setObjectName(QString::fromLatin1(name));
  splitter->setChildrenCollapsible(false);
  for (QWidget* side : {first, second}) {
    side->setMinimumSize(1, 1);
    splitter->addWidget(side);
  }
  // The first side keeps its size when the window grows, as a pair splitter's
  // position does.
  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);
  splitter->SetPosition(position);
  return splitter;
}

int SplitterPosition(const QSplitter& splitter) {
  if (const auto* pair = dynamic_cast<const PairSplitter*>(&splitter)) return pair->Position();
  const QList<int> sizes = splitter.sizes();
  return sizes.isEmpty() ? 0 : sizes.front();
}

void SetSplitterPosition(QSplitter& splitter, int position) {
  if (auto* pair = dynamic_cast<PairSplitter*>(&splitter)) {
    pair->SetPosition(position);
    return;
  }
  const QList<int> sizes = splitter.sizes();
  int total = 0;
  for (int size : sizes) total += size;
  splitter.setSizes({position, std::max(1, total - position)});
}

namespace {

QWidget* Arrange(QBoxLayout* layout, std::initializer_list<QWidget*> items, QWidget* grow,
                 bool fill_rest) {
  auto* panel = new QWidget;
  panel->setLayout(layout);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->setSpacing(3);
  for (QWidget* item : items) layout->addWidget(item, item == grow ? 1 : 0);
  if (fill_rest && grow == nullptr) layout->addStretch(1);
  return panel;
}

}  // namespace

QWidget* Stack(std::initializer_list<QWidget*> rows, QWidget* grow) {
  return Arrange(new QVBoxLayout, rows, grow, false);
}

QWidget* Row(std::initializer_list<QWidget*> items, QWidget* grow) {
  return Arrange(new QHBoxLayout, items, grow, true);
}

}  // namespace app
