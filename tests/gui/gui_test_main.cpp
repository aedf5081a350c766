#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

// GUI tests need one application object; ctest runs them on the offscreen platform.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Nothing a test writes into the user's application data (recovery copies) reaches the user's
  // own folder.
  const QTemporaryDir appData;
  qputenv("XDG_DATA_HOME", appData.path().toLocal8Bit());
  QApplication application(argc, argv);
  QApplication::setApplicationName("PLK");
  Q_INIT_RESOURCE(resources);
  // The recent projects the tests open go to a folder of their own, not to the user's settings.
  const QTemporaryDir settings;
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
