// The fixed-text pages. The manual sits in a plain text box the user may type
// in (to mark a passage, say); nothing typed there is kept.
#include "StaticPages.h"

#include <QPlainTextEdit>
#include <QTabWidget>

#include "Controls.h"

namespace app {
namespace {

constexpr const char* kAbout =
    "Orlenda 1.0.9\n\n"
    "A desktop database tool for data kept in flat text files.\n\n"
    "A table is a text file of \";\"-separated values whose first line holds the column "
    "names; a folder of such files is a project. Orlenda keeps a catalogue of your "
    "projects, tables, fields, queries and filters, lets you look at and edit table data, "
    "runs SQL over the text tables with its own engine, and imports tables from external "
    "SQL servers.";

constexpr const char* kContact =
    "Questions, error reports and wishes are welcome.\n\n"
    "When you report an error, please say what you did, what you expected and what "
    "happened, and add the SQL text and a few lines of the table files involved, so "
    "that the error can be repeated.";

constexpr const char* kDonate =
    "Orlenda is free to use.\n\n"
    "If it saves you time in your work, please consider supporting its further "
    "development: tell others about it, report the errors you find, and help with "
    "tests and documentation.";

QWidget* TextPage(const char* name, const char* text) {
  auto* box = new QPlainTextEdit(QString::fromUtf8(text));
  box->setObjectName(QString::fromLatin1(name) + "Text");
  box->setAccessibleName(QString::fromLatin1(name));
  QWidget* page = Stack({box}, box);
  page->setObjectName(QString::fromLatin1(name));
  return page;
}

}  // namespace

StaticPages::StaticPages(QTabWidget& page_control) {
  page_control.addTab(TextPage("UsersManual", UsersManualText()), "UsersManual");
  for (auto [name, text] :
       {std::pair{"About", kAbout}, std::pair{"Contact", kContact}, std::pair{"Donate", kDonate}}) {
    QWidget* page = TextPage(name, text);
    // Fixed texts: read, select and copy, but not type.
    page->findChild<QPlainTextEdit*>()->setReadOnly(true);
    page_control.addTab(page, name);
  }
}

}  // namespace app
