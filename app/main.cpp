// The program's entry: the locale's number separators, the message boxes, the
// main window shown maximised, the event loop.
#include <QApplication>
#include <QScreen>
#include <clocale>

#include "MainWindow.h"
#include "QtMessages.h"
#include "rtl/Separators.h"
#include "datasets/VoConnection.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // Qt has set the C locale from the environment. The engine takes its
  // separators from the user's locale once; then numbers go back to the C
  // rules, so that no library reads "1.5" differently on a machine with a
  // decimal comma. Collation and character classes keep the user's locale.
  rtl::InitLocaleSeparators();
  std::setlocale(LC_NUMERIC, "C");

  app::QtMessages messages;
  app::MessagesReporter reporter(messages);
  app::MainWindow window(messages, ExecutableFolder());
  messages.SetParent(&window);
  // Without a window manager "maximised" changes nothing: fill the screen first.
  if (QScreen* screen = application.primaryScreen()) {
    window.setGeometry(screen->availableGeometry());
  }
  window.showMaximized();

  return application.exec();
}
