#include <gtest/gtest.h>

#include <QPushButton>

#include "tools/appariement.h"
#include "tools/detect.h"
#include "tools/disparites.h"
#include "tools/estime.h"
#include "tools/opti.h"

namespace plk::test {
namespace {

TEST(ToolDialogTest, CaptionsAndButtons) {
  TFOpti opti;
  TFDetect detect;
  TFAppariement appariement;
  TFEstime estime;
  TFDisparites disparites;
  EXPECT_EQ(opti.windowTitle(), QStringLiteral("Optimisation de la segmentation"));
  EXPECT_EQ(estime.windowTitle(), QStringLiteral("Estimation des homographies"));
  for (ToolDialog* dialog :
       std::initializer_list<ToolDialog*>{&opti, &detect, &appariement, &estime, &disparites}) {
    EXPECT_TRUE(dialog->isModal());
    EXPECT_EQ(dialog->findChild<QPushButton*>(QStringLiteral("Button1"))->text(),
              QStringLiteral("Démarrer"));
    dialog->show();
    dialog->findChild<QPushButton*>(QStringLiteral("Button2"))->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
  }
}

}  // namespace
}  // namespace plk::test
