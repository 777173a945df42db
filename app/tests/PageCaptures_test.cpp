// Every page of the main window, drawn offscreen at the size of a small
// screen: each capture must show more than a blank page, and is kept in the
// build folder (page-<name>.png) for anyone to look at.
#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <QSet>
#include <QTabWidget>

#include "MainWindow.h"
#include "temp_folder.h"

namespace {

// The number of different colours in an image, counted up to `enough`.
int Colours(const QImage& image, int enough) {
  QSet<QRgb> seen;
  for (int y = 0; y < image.height(); y += 2) {
    for (int x = 0; x < image.width(); x += 2) {
      seen.insert(image.pixel(x, y));
      if (seen.size() >= enough) return enough;
    }
  }
  return static_cast<int>(seen.size());
}

TEST(PageCapturesTest, EveryPageAndSubPageIsDrawn) {
  app_testing::TempFolder program;
  app_testing::TempFolder work;
  app_testing::WorkingDirectory cwd(work.Path());
  app::RecordingMessages messages;
  app::MainWindow window(messages, program.Folder());
  window.resize(1280, 800);
  window.show();
  auto* pages = window.findChild<QTabWidget*>("PageControl1");
  ASSERT_NE(pages, nullptr);
  const QList<QTabWidget*> inner = window.findChildren<QTabWidget*>();
  for (int i = 0; i < pages->count(); ++i) {
    pages->setCurrentIndex(i);
    // A page with pages of its own is drawn once per inner page.
    QList<QTabWidget*> nested;
    for (QTabWidget* tabs : inner) {
      if (tabs != pages && pages->widget(i)->isAncestorOf(tabs)) nested << tabs;
    }
    const int rounds = nested.isEmpty() ? 1 : nested.front()->count();
    for (int j = 0; j < rounds; ++j) {
      QString name = pages->tabText(i);
      if (!nested.isEmpty()) {
        nested.front()->setCurrentIndex(j);
        name += "-" + nested.front()->tabText(j);
      }
      const QImage image = window.grab().toImage();
      SCOPED_TRACE(name.toStdString());
      EXPECT_GT(Colours(image, 17), 16);
      image.save(QStringLiteral(ORLENDA_CAPTURE_FOLDER "/page-%1.png").arg(name));
    }
  }
  EXPECT_TRUE(messages.entries.empty());
}

}  // namespace
