#include <gtest/gtest.h>

#include <QApplication>

// GUI tests need one application object; ctest runs them on the offscreen platform.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  QApplication::setApplicationName("PLK");
  Q_INIT_RESOURCE(resources);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
