// The program's entry: the locale's number separators, the message boxes, the
// main window shown maximised, the event loop.
#include <QApplication>
#include <QScreen>

#include "MainWindow.h"
#include "ProgramLocale.h"
#include "QtMessages.h"
#include "datasets/VoConnection.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // Qt has set the C locale from the environment: take the separators from
  // it once and put numbers back to the C rules.
  app::TakeUserLocale();

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
