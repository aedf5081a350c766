#include <QDir>

#include "shell/main.h"
#include "shell_fixture.h"

namespace plk::test {
namespace {

// The main window on a French system: comma separators, accented names and paths.
class FrenchTest : public ShellTest {
 protected:
  TestLocale testLocale() const override { return TestLocale::French; }

  [[nodiscard]] QStringList savedLines(const QString& name) {
    prompts.fileNames = {path(name)};
    main().Fermerprojet1Click();
    return QString::fromLatin1(fileBytes(path(name))).split(QStringLiteral("\n"));
  }
};

TEST_F(FrenchTest, ProjectFileRealsHaveNoTrailingZerosAndAComma) {
  ASSERT_TRUE(openProject());
  PolygonList& left = main().project()->left.polygons;
  addTriangle(left);
  left.appendPolygon().sommets = {left.createVertex(12.5, 30)};
  const QStringList lines = savedLines(QStringLiteral("scene.plk"));
  for (const char* line : {"0.U=10", "1.V=200", "2.U=150", "3.U=12,5", "3.V=30"}) {
    EXPECT_TRUE(lines.contains(QLatin1String(line))) << line;
  }
}

// A project written by an 8-bit writer in ISO-8859-1, with an accented name and image folder,
// opens with its name and images; saved by the program, it reads back identically.
TEST_F(FrenchTest, Latin1ProjectWithAccentsOpensAndSavesIdentically) {
  const QString images = path(QStringLiteral("stéréo"));
  ASSERT_TRUE(QDir().mkpath(images));
  const QString left = writeGreyBmp(QDir(images).filePath(QStringLiteral("gauche.bmp")), 40, 30);
  const QString right = writeGreyBmp(QDir(images).filePath(QStringLiteral("droite.bmp")), 40, 30);
  const QString project = path(QStringLiteral("scène.plk"));
  QFile file(project);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write((QStringLiteral("[general]\r\nnom_projet=scène\r\nimageg_location=") + left +
              QStringLiteral("\r\nimaged_location=") + right + QStringLiteral("\r\n"))
                 .toLatin1());
  file.close();

  for (int opening = 0; opening < 2; ++opening) {
    prompts.fileNames = {project};
    main().Ouvrirprojet1Click();
    ASSERT_NE(main().project(), nullptr) << prompts.errors.join(QStringLiteral("\n")).toStdString();
    EXPECT_EQ(main().project()->projectName, "scène");
    EXPECT_EQ(QString::fromStdString(main().project()->leftImagePath), left);
    EXPECT_EQ(QString::fromStdString(main().project()->rightImagePath), right);
    EXPECT_EQ(main().project()->left.image.width(), 40);
    EXPECT_EQ(main().windowTitle(), QStringLiteral("PLK [scène]"));
    main().Fermerprojet1Click();
    EXPECT_TRUE(fileBytes(project).contains("nom_projet=sc\xE8ne"));
    main().session().closeProject();
  }
  EXPECT_TRUE(prompts.errors.isEmpty());
}

}  // namespace
}  // namespace plk::test
