#include "ui/progress.h"

#include <gtest/gtest.h>

#include <QProgressDialog>
#include <QThread>

namespace plk::test {
namespace {

TEST(ProgressDialogTest, ShowsTheUnitAfterHalfASecondAndReportsCancel) {
  ProgressDialog progress(nullptr, QStringLiteral("Détection de points d'intérêt"));
  QProgressDialog& dialog = progress.dialog();
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Détection de points d'intérêt"));
  progress.step(0, 3, "Polygone 1/3");
  EXPECT_FALSE(dialog.isVisible());
  QThread::msleep(600);
  progress.step(1, 3, "Polygone 2/3");
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialog.labelText(), QStringLiteral("Polygone 2/3"));
  EXPECT_EQ(dialog.value(), 1);
  EXPECT_FALSE(progress.cancelled());
  dialog.cancel();
  EXPECT_TRUE(progress.cancelled());
}

}  // namespace
}  // namespace plk::test
