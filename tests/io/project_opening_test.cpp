#include "io/project_opening.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "bmp_writer.h"
#include "io/image_io.h"
#include "io/project_file.h"
#include "special_files.h"

namespace plk::io {
namespace {

// A project file in a sub-folder "projet" of a temporary folder, with its images beside it.
class ProjectOpeningTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(QDir(root.path()).mkdir(QStringLiteral("projet")));
    projectFolder = QDir(root.path()).filePath(QStringLiteral("projet"));
    writeGrey(QStringLiteral("l.bmp"), 12, 8);
    writeGrey(QStringLiteral("r.bmp"), 12, 8);
    writeGrey(QStringLiteral("small.bmp"), 10, 8);
    projectFile = QDir(projectFolder).filePath(QStringLiteral("scene.plk"));
  }

  void writeGrey(const QString& name, int width, int height) const {
    QImage image(width, height, QImage::Format_Grayscale8);
    image.fill(7);
    ASSERT_TRUE(image.save(QDir(projectFolder).filePath(name), "BMP"));
  }

  void writeProject(const std::string& left, const std::string& right) const {
    ProjectFileData data;
    data.projectName = "scene";
    data.leftImagePath = left;
    data.rightImagePath = right;
    data.left.vertices = {{1, 1, false, false}, {1, 5, false, false}, {6, 3, false, false}};
    data.left.polygons = {{0, 1, 2, 0}};
    writeProjectFile(projectFile, data, NumberFormat{});
  }

  std::variant<std::unique_ptr<Project>, std::string> open() const {
    return openProjectFile(projectFile);
  }

  QTemporaryDir root;
  QString projectFolder;
  QString projectFile;
};

// Even when the program runs in a folder holding another image of the same name.
TEST_F(ProjectOpeningTest, RelativePathsAreReadFromTheProjectFolderAndKeptAsWritten) {
  writeProject("l.bmp", "r.bmp");
  QImage decoy(20, 8, QImage::Format_Grayscale8);
  decoy.fill(99);
  ASSERT_TRUE(decoy.save(QDir(root.path()).filePath(QStringLiteral("l.bmp")), "BMP"));
  const QString runFolder = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(root.path()));
  auto opened = open();
  ASSERT_TRUE(QDir::setCurrent(runFolder));
  ASSERT_TRUE(std::holds_alternative<std::unique_ptr<Project>>(opened));
  const Project& project = *std::get<std::unique_ptr<Project>>(opened);
  EXPECT_EQ(project.leftImagePath, "l.bmp");
  EXPECT_EQ(project.imageWidth, 12);
  EXPECT_EQ(project.imageHeight, 8);
  EXPECT_EQ(project.left.image.at(3, 3), 7);
  EXPECT_EQ(project.left.gradientX.rows(), 9);
  ASSERT_EQ(project.left.polygons.size(), 1U);
  EXPECT_TRUE(project.left.polygons[0].isClosed());
}

TEST_F(ProjectOpeningTest, AMissingAbsolutePathGivesWayToTheFileOfTheSameNameBesideTheProject) {
  const std::string moved =
      QDir(root.path()).filePath(QStringLiteral("ailleurs/l.bmp")).toStdString();
  writeProject(moved, "r.bmp");
  EXPECT_EQ(resolveImagePath(QString::fromStdString(moved), projectFile),
            QDir(projectFolder).filePath(QStringLiteral("l.bmp")));
  auto opened = open();
  ASSERT_TRUE(std::holds_alternative<std::unique_ptr<Project>>(opened));
  EXPECT_EQ(std::get<std::unique_ptr<Project>>(opened)->leftImagePath, moved);
}

class RecordedLines final : public ReportSink {
 public:
  std::vector<std::string> lines;
  void appendLine(std::string_view utf8) override { lines.emplace_back(utf8); }
};

TEST_F(ProjectOpeningTest, ColourAndSixteenBitImagesOpenAsGreyWithOneNoteEach) {
  QImage colour(12, 8, QImage::Format_RGB32);
  colour.fill(qRgb(255, 0, 0));
  ASSERT_TRUE(colour.save(QDir(projectFolder).filePath(QStringLiteral("c.png"))));
  QImage sixteen(12, 8, QImage::Format_Grayscale16);
  sixteen.fill(Qt::white);
  ASSERT_TRUE(sixteen.save(QDir(projectFolder).filePath(QStringLiteral("g16.png"))));
  writeProject("c.png", "g16.png");
  RecordedLines notes;
  auto opened = openProjectFile(projectFile, notes);
  ASSERT_TRUE(std::holds_alternative<std::unique_ptr<Project>>(opened));
  const Project& project = *std::get<std::unique_ptr<Project>>(opened);
  EXPECT_EQ(project.leftImagePath, "c.png");
  EXPECT_EQ(project.left.image.at(7, 11), 76);
  EXPECT_EQ(project.right.image.at(0, 0), 255);
  EXPECT_EQ(notes.lines,
            conversionLines(GreyConversion::FromColour, GreyConversion::FromSixteenBits));
}

TEST_F(ProjectOpeningTest, MessagesOfTheImageChecks) {
  writeProject("absent.bmp", "r.bmp");
  EXPECT_EQ(std::get<std::string>(open()),
            "Erreur lors du chargement de l'image gauche ! Création du projet impossible.");
  writeProject("l.bmp", "/nulle/part/absent.bmp");
  EXPECT_EQ(std::get<std::string>(open()),
            "Erreur lors du chargement de l'image droite ! Création du projet impossible.");
  writeProject("l.bmp", "small.bmp");
  EXPECT_EQ(std::get<std::string>(open()),
            "Les deux images n'ont pas les mêmes dimensions ! Création du projet impossible.");
  QFile oneBit(QDir(projectFolder).filePath(QStringLiteral("p1.bmp")));
  ASSERT_TRUE(oneBit.open(QIODevice::WriteOnly));
  oneBit.write(test::greyBmpBytes(std::vector<std::uint8_t>(96, 1), 12, 8, 1));
  oneBit.close();
  writeProject("p1.bmp", "r.bmp");
  EXPECT_EQ(std::get<std::string>(open()),
            "L'image gauche n'est pas composée de pixels codés sur 8 bits ! Création du projet "
            "impossible.");
  // The toolkit expands a 4-bit BMP to an 8-bit image; the file's own count decides.
  QFile fourBits(QDir(projectFolder).filePath(QStringLiteral("p4.bmp")));
  ASSERT_TRUE(fourBits.open(QIODevice::WriteOnly));
  fourBits.write(test::greyBmpBytes(std::vector<std::uint8_t>(96, 3), 12, 8, 4));
  fourBits.close();
  writeProject("l.bmp", "p4.bmp");
  EXPECT_EQ(std::get<std::string>(open()),
            "L'image droite n'est pas composée de pixels codés sur 8 bits ! Création du projet "
            "impossible.");
}

TEST_F(ProjectOpeningTest, AnImagePathThatIsANamedPipeFailsToLoadAtOnce) {
  const QString fifo = QDir(projectFolder).filePath(QStringLiteral("tube.bmp"));
  ASSERT_TRUE(test::makeFifo(fifo));
  writeProject("l.bmp", "tube.bmp");
  std::string message;
  EXPECT_TRUE(test::returnsAtOnce([&] { message = std::get<std::string>(open()); }, fifo));
  EXPECT_EQ(message,
            "Erreur lors du chargement de l'image droite ! Création du projet impossible.");
}

}  // namespace
}  // namespace plk::io
