#include <gtest/gtest.h>

#include <cstdlib>

#ifdef QUILLORA_GUI_TESTS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#endif

int main(int argc, char** argv) {
  // Tests never need a display; discovery and CI run without one.
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  TestApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
