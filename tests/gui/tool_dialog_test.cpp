#include <gtest/gtest.h>

#include <QPushButton>

#include "shell_fixture.h"
#include "tools/appariement.h"
#include "tools/detect.h"
#include "tools/disparites.h"
#include "tools/estime.h"
#include "tools/opti.h"

namespace plk::test {
namespace {

using ToolDialogTest = ShellTest;

TEST_F(ToolDialogTest, CaptionsAndButtons) {
  TFOpti opti(main(), prompts);
  TFDetect detect(main(), prompts);
  TFAppariement appariement(main(), prompts);
  TFEstime estime(main(), prompts);
  TFDisparites disparites(main(), prompts);
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
