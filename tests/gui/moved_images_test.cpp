#include <gtest/gtest.h>

#include "io/project_file.h"
#include "shell_fixture.h"

namespace plk::test {
namespace {

using MovedImagesTest = ShellTest;

// The project file lies beside l.bmp and r.bmp but names them by a relative path (read from
// the project's folder, not the working folder) and by an absolute path that no longer exists.
TEST_F(MovedImagesTest, ImagesBesideTheProjectAreFoundAndSavingKeepsThePathsAsRead) {
  io::ProjectFileData data;
  data.projectName = "scene";
  data.leftImagePath = "l.bmp";
  data.rightImagePath = "/ancien/dossier/r.bmp";
  const QString project = path(QStringLiteral("scene.plk"));
  io::writeProjectFile(project, data, NumberFormat{'.'});
  ASSERT_NE(QDir::currentPath(), folder.path());

  prompts.fileNames = {project};
  main().Ouvrirprojet1Click();
  EXPECT_TRUE(prompts.errors.isEmpty());
  ASSERT_NE(main().project(), nullptr);
  EXPECT_EQ(main().project()->imageWidth, 40);

  main().Fermerprojet1Click();
  const io::ProjectFileData saved = io::readProjectFile(project);
  EXPECT_EQ(saved.leftImagePath, "l.bmp");
  EXPECT_EQ(saved.rightImagePath, "/ancien/dossier/r.bmp");
}

TEST_F(MovedImagesTest, AnImageFoundNowhereGivesTheLoadingMessage) {
  io::ProjectFileData data;
  data.leftImagePath = "l.bmp";
  data.rightImagePath = "absente.bmp";
  const QString project = path(QStringLiteral("scene.plk"));
  io::writeProjectFile(project, data, NumberFormat{'.'});
  prompts.fileNames = {project};
  main().Ouvrirprojet1Click();
  EXPECT_EQ(prompts.errors,
            QStringList{QStringLiteral("Erreur lors du chargement de l'image droite ! Création du "
                                       "projet impossible.")});
  EXPECT_EQ(main().project(), nullptr);
}

}  // namespace
}  // namespace plk::test
