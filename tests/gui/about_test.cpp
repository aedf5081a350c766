#include "shell/about.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

namespace plk::test {
namespace {

TEST(AboutTest, ShowsTheVersionInLargeBoldType) {
  TFAbout about;
  EXPECT_EQ(about.windowTitle(), QStringLiteral("A propos"));
  EXPECT_EQ(about.size(), QSize(324, 103));
  const auto* label = about.findChild<QLabel*>(QStringLiteral("Label1"));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), QStringLiteral("Version 0.6"));
  EXPECT_TRUE(label->font().bold());
  EXPECT_EQ(label->font().pixelSize(), 24);
  about.show();
  about.findChild<QPushButton*>(QStringLiteral("Button1"))->click();
  EXPECT_FALSE(about.isVisible());
}

}  // namespace
}  // namespace plk::test
