// The main of the program's test executables: one QApplication for all tests,
// offscreen unless the environment names a platform, with a runtime folder of
// its own (Qt refuses one that others may read) and the C.UTF-8 locale.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <cstdlib>

// Caches that Qt, the font libraries and the graphics stack keep for the
// whole process and never free; the leak checker must not count them.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\nleak:libQt6Gui\nleak:libQt6Core\nleak:libQt6Widgets\n"
         "leak:libglib\nleak:libdbus\nleak:libX11\nleak:libxcb\n";
}

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  char runtime[] = "/tmp/orlenda-test-runtime-XXXXXX";
  if (mkdtemp(runtime) != nullptr) qputenv("XDG_RUNTIME_DIR", runtime);
  setenv("LC_ALL", "C.UTF-8", 1);
  int result = 0;
  {
    QApplication application(argc, argv);
    result = RUN_ALL_TESTS();
  }
  QDir(QString::fromLocal8Bit(runtime)).removeRecursively();
  return result;
}
