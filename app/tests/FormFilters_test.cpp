// The filter dialog driven through its widgets on the query result: composing
// at the memo's caret, Apply Filter storing the saved filter and filtering the
// rows, a refused expression and an over-long text, Remove Filter, and the memo
// following the current saved filter.
#include "FormFilters.h"

#include <QComboBox>
#include <QPlainTextEdit>

#include "DBGrid.h"
#include "DBNavigator.h"
#include "DatasetDialogs.h"
#include "dialogs_fixture.h"

namespace {

using Names = std::vector<std::string>;

class FormFiltersTest : public app_testing::DialogsTest {
 protected:
  void SetUp() override {
    DialogsTest::SetUp();
    RunQuery("SELECT ID, NAME, CITY FROM t");
    window_->show();
    ClickWindowButton("ButtonFilterQueryResult");
  }
  app::FormFilters& Dialog() { return window_->GetFormFilters(); }
  TVoQueryDataSet& Result() { return window_->VoQueryDatasetQueryResult(); }
  dbf::TDbf& Filters() { return window_->GetCatalogue().Filters(); }
  // The NAME of every row the query result shows, first to last.
  Names Shown() {
    Names names;
    TVoQueryDataSet& ds = Result();
    for (ds.First(); !ds.Eof(); ds.Next()) names.push_back(ds.FieldByName("NAME").AsString());
    ds.First();
    return names;
  }
  std::vector<std::string> SavedTexts() {
    std::vector<std::string> texts;
    dbf::TDbf& filters = Filters();
    for (filters.First(); !filters.Eof(); filters.Next()) {
      texts.push_back(filters.FieldByName("FILTERTEXT").AsString());
    }
    return texts;
  }
  void TypeFilter(const QString& text) {
    QPlainTextEdit* memo = Dialog().DBMemoFilter();
    memo->setFocus();
    memo->selectAll();
    QTest::keyClick(memo, Qt::Key_Delete);
    QTest::keyClicks(memo, text);
  }
  QString Memo() { return Dialog().DBMemoFilter()->toPlainText(); }
};

TEST_F(FormFiltersTest, ListsTheFieldsAndTheExpressions) {
  QComboBox* fields = Dialog().ComboBoxFilterFields();
  ASSERT_EQ(fields->count(), 3);
  EXPECT_EQ(fields->currentText(), "ID");
  QComboBox* expressions = Dialog().ComboBoxFilterExpressions();
  ASSERT_EQ(expressions->count(), 33);
  EXPECT_EQ(expressions->currentText(), "=");
  EXPECT_EQ(expressions->itemText(13), "*");
  EXPECT_EQ(expressions->itemText(17), "*");
  EXPECT_EQ(expressions->itemText(32), "Time");
}

TEST_F(FormFiltersTest, AppendedAndTypedTextIsStoredAsANewSavedFilterAndApplied) {
  QPlainTextEdit* memo = Dialog().DBMemoFilter();
  memo->setFocus();
  Dialog().ComboBoxFilterFields()->setCurrentIndex(1);
  Click(Dialog(), "ButtonAppendFilterField");
  EXPECT_EQ(Memo(), " NAME ");
  Click(Dialog(), "ButtonAppendFilterExpression");
  EXPECT_EQ(Memo(), " NAME =  ");
  // The caret stands after the item: typing goes on there.
  QTest::keyClicks(memo, "'bob'");
  EXPECT_EQ(Memo(), " NAME ='bob'  ");
  // Typed text that is no entry of the list appends nothing.
  Dialog().ComboBoxFilterFields()->setEditText("NAMEX");
  Click(Dialog(), "ButtonAppendFilterField");
  EXPECT_EQ(Memo(), " NAME ='bob'  ");

  Click(Dialog(), "ButtonApplyFilter");
  EXPECT_EQ(Texts(), std::vector<std::string>{});
  EXPECT_EQ(SavedTexts(), std::vector<std::string>{" NAME ='bob'"});
  EXPECT_EQ(Filters().FieldByName("PROJECT_ID").AsInteger(),
            window_->GetCatalogue().Projects().FieldByName("PROJECT_ID").AsInteger());
  EXPECT_TRUE(Result().Filtered());
  EXPECT_EQ(Shown(), Names{"bob"});
  EXPECT_FALSE(Result().ControlsDisabled());

  // A second apply changes the same saved filter.
  TypeFilter("CITY = 'Rome'");
  Click(Dialog(), "ButtonApplyFilter");
  EXPECT_EQ(SavedTexts(), std::vector<std::string>{"CITY = 'Rome'"});
  EXPECT_EQ(Shown(), (Names{"ann", "cid"}));

  Click(Dialog(), "ButtonRemoveFilter");
  EXPECT_TRUE(Result().Filtered());
  EXPECT_EQ(Result().Filter(), "");
  EXPECT_EQ(Shown(), (Names{"ann", "bob", "cid", "Bob"}));
  EXPECT_EQ(Texts(), std::vector<std::string>{});
}

TEST_F(FormFiltersTest, ARefusedExpressionIsReportedStoredAndShowsEveryRow) {
  for (const bool applied_before : {false, true}) {
    SCOPED_TRACE(applied_before ? "a filter applied before" : "no filter before");
    messages_.entries.clear();
    if (applied_before) {
      TypeFilter("CITY = 'Rome'");
      Click(Dialog(), "ButtonApplyFilter");
      ASSERT_EQ(Shown(), (Names{"ann", "cid"}));
    }
    TypeFilter("NAME = = 'x'");
    Click(Dialog(), "ButtonApplyFilter");
    ASSERT_EQ(Texts().size(), 1u);
    EXPECT_TRUE(Texts()[0].starts_with(app::kApplyFilterError)) << Texts()[0];
    EXPECT_GT(Texts()[0].size(), app::kApplyFilterError.size());
    EXPECT_EQ(SavedTexts(), std::vector<std::string>{"NAME = = 'x'"});
    EXPECT_EQ(Result().Filter(), "");
    EXPECT_EQ(Result().Filtered(), applied_before);
    EXPECT_EQ(Shown(), (Names{"ann", "bob", "cid", "Bob"}));
    EXPECT_FALSE(Result().ControlsDisabled());
  }
}

TEST_F(FormFiltersTest, AnOverlongTextIsNeitherStoredNorApplied) {
  TypeFilter("CITY = 'Rome'");
  Click(Dialog(), "ButtonApplyFilter");
  // Cut at 100 characters this would be the valid "CITY = 'Oslo'" and show bob.
  const QString text = "CITY = 'Oslo'" + QString(87, ' ') + "X";
  ASSERT_EQ(text.size(), 101);
  TypeFilter(text);
  Click(Dialog(), "ButtonApplyFilter");
  EXPECT_EQ(Texts(), std::vector<std::string>{app::FilterTextTooLong(text.toStdString())});
  EXPECT_EQ(SavedTexts(), std::vector<std::string>{"CITY = 'Rome'"});
  EXPECT_EQ(Result().Filter(), "CITY = 'Rome'");
  EXPECT_EQ(Shown(), (Names{"ann", "cid"}));
  // The text stays in the memo, to be shortened.
  EXPECT_EQ(Memo(), text);
}

TEST_F(FormFiltersTest, TheMemoShowsTheCurrentSavedFilter) {
  dbf::TDbf& filters = Filters();
  for (const char* text : {"NAME = 'ann'", "NAME = 'cid'"}) {
    filters.Append();
    filters.FieldByName("FILTERNAME").SetAsString(text);
    filters.FieldByName("FILTERTEXT").SetAsString(text);
    filters.Post();
  }
  filters.First();
  EXPECT_EQ(Memo(), "NAME = 'ann'");
  auto* navigator = Find<app::DBNavigator>(Dialog(), "DBNavigatorFilters");
  QTest::mouseClick(navigator->ButtonOf(app::DBNavigator::kNext), Qt::LeftButton);
  EXPECT_EQ(Memo(), "NAME = 'cid'");
  // Text being composed stays while the saved filter does not change ...
  TypeFilter("NAME = 'bob'");
  Click(Dialog(), "ButtonApplyFilter");
  EXPECT_EQ(SavedTexts(), (std::vector<std::string>{"NAME = 'ann'", "NAME = 'bob'"}));
  EXPECT_EQ(Shown(), Names{"bob"});
  // ... and another saved filter brings its own.
  filters.First();
  EXPECT_EQ(Memo(), "NAME = 'ann'");
  Click(Dialog(), "ButtonApplyFilter");
  EXPECT_EQ(Shown(), Names{"ann"});
  EXPECT_EQ(Texts(), std::vector<std::string>{});
}

// The dialog's grid reads the rows it paints by walking the saved filters; the
// walk chooses no other saved filter, so the text being composed stays.
TEST_F(FormFiltersTest, PaintingTheSavedFiltersKeepsTheTextBeingComposed) {
  dbf::TDbf& filters = Filters();
  // More saved filters than the grid reads at a time: scrolling reads rows anew.
  for (int f = 0; f < 200; ++f) {
    filters.Append();
    filters.FieldByName("FILTERNAME").SetAsString("filter" + std::to_string(f));
    filters.FieldByName("FILTERTEXT").SetAsString("NAME = 'n" + std::to_string(f) + "'");
    filters.Post();
  }
  filters.First();
  ASSERT_EQ(Memo(), "NAME = 'n0'");
  auto* grid = Find<app::DBGrid>(Dialog(), "DBGridFilters");
  ASSERT_TRUE(grid->isVisible());
  grid->viewport()->repaint();
  TypeFilter("NAME = 'bob'");

  const std::pair<const char*, void (QAbstractItemView::*)()> scrolls[] = {
      {"to the last saved filter", &QAbstractItemView::scrollToBottom},
      {"back to the first", &QAbstractItemView::scrollToTop}};
  for (const auto& [where, scroll] : scrolls) {
    SCOPED_TRACE(where);
    (grid->*scroll)();
    grid->viewport()->repaint();
    QCoreApplication::processEvents();
    EXPECT_EQ(filters.FieldByName("FILTERNAME").AsString(), "filter0");
    EXPECT_EQ(Memo(), "NAME = 'bob'");
  }
  Click(Dialog(), "ButtonApplyFilter");
  EXPECT_EQ(Texts(), std::vector<std::string>{});
  EXPECT_EQ(filters.FieldByName("FILTERTEXT").AsString(), "NAME = 'bob'");
  EXPECT_EQ(Shown(), Names{"bob"});
}

}  // namespace
