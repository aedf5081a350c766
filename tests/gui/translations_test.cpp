#include "shell/translations.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>

namespace plk::test {
namespace {

QString buttonText(const QMessageBox& box, QMessageBox::StandardButton which) {
  return box.button(which)->text().remove(QLatin1Char('&'));
}

// The test programs run under the C locale (and once more under French): the toolkit's own
// buttons read French in both.
TEST(FrenchTranslations, StandardButtonsReadFrench) {
  const FrenchTranslations translations;
  ASSERT_TRUE(translations.loaded());
  const QMessageBox box(QMessageBox::Warning, QStringLiteral("PLK"), QStringLiteral("?"),
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  EXPECT_EQ(buttonText(box, QMessageBox::Yes), QStringLiteral("Oui"));
  EXPECT_EQ(buttonText(box, QMessageBox::No), QStringLiteral("Non"));
  EXPECT_EQ(buttonText(box, QMessageBox::Cancel), QStringLiteral("Annuler"));
}

}  // namespace
}  // namespace plk::test
