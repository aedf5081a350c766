#include "io/project_file.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "io/io_error.h"
#include "io_test_support.h"
#include "special_files.h"

namespace plk::io {
namespace {

using testing::fileBytes;
using testing::writeBytes;

constexpr NumberFormat kPoint{'.'};
constexpr NumberFormat kComma{','};

// The example project: one closed left triangle, the second vertex snapped to the top border.
ProjectFileData sceneProject() {
  PolygonList left;
  Sommet* a = left.createVertex(10, 20);
  Sommet* b = left.createVertex(0, 200, true, false);
  Sommet* c = left.createVertex(150, 20);
  left.appendPolygon().sommets = {a, b, c, a};
  ProjectFileData data;
  data.projectName = "scene";
  data.leftImagePath = "D:\\stereo\\left.bmp";
  data.rightImagePath = "D:\\stereo\\right.bmp";
  data.left = left.describe();
  return data;
}

QStringList nonBlankLines(const QString& path) {
  QStringList lines = QString::fromUtf8(fileBytes(path)).split(QLatin1Char('\n'));
  lines.removeIf([](const QString& line) { return line.trimmed().isEmpty(); });
  return lines;
}

std::string readError(const QString& path) {
  try {
    (void)readProjectFile(path);
  } catch (const IoError& error) {
    return error.what();
  }
  return "accepted";
}

TEST(WriteProjectFile, ExampleProjectLineForLineAndStableAcrossSaves) {
  QTemporaryDir dir;
  const QString path = dir.filePath("scene.plk");
  writeProjectFile(path, sceneProject(), kComma);
  const QStringList expected{"[general]",
                             "nom_projet=scene",
                             "imageg_location=D:\\stereo\\left.bmp",
                             "imaged_location=D:\\stereo\\right.bmp",
                             "[polygones]",
                             "nbre_gauche=1",
                             "nbre_droite=0",
                             "[gauche]",
                             "p1.nbre_sommets=4",
                             "p1-1.index=0",
                             "p1-2.index=1",
                             "p1-3.index=2",
                             "p1-4.index=0",
                             "[sommets_gauche]",
                             "0.U=10",
                             "0.V=20",
                             "0.BordU=0",
                             "0.BordV=0",
                             "1.U=0",
                             "1.V=200",
                             "1.BordU=1",
                             "1.BordV=0",
                             "2.U=150",
                             "2.V=20",
                             "2.BordU=0",
                             "2.BordV=0",
                             "[sommets]",
                             "nbre_gauche=3",
                             "nbre_droite=0"};
  EXPECT_EQ(nonBlankLines(path), expected);

  const QByteArray first = fileBytes(path);
  writeProjectFile(path, sceneProject(), kComma);
  EXPECT_EQ(fileBytes(path), first);
}

TEST(WriteProjectFile, SectionsOfBothSidesInWritingOrder) {
  QTemporaryDir dir;
  const QString path = dir.filePath("deux.plk");
  ProjectFileData data = sceneProject();
  data.right = data.left;
  data.left = {};
  writeProjectFile(path, data, kPoint);
  QStringList sections = nonBlankLines(path);
  sections.removeIf([](const QString& line) { return !line.startsWith('['); });
  EXPECT_EQ(sections,
            (QStringList{"[general]", "[polygones]", "[sommets]", "[droite]", "[sommets_droite]"}));
  const QStringList lines = nonBlankLines(path);
  EXPECT_TRUE(lines.contains("nbre_gauche=0"));
  EXPECT_EQ(lines.filter("nbre_droite=").size(), 2);
  EXPECT_TRUE(lines.contains("nbre_droite=1"));
  EXPECT_TRUE(lines.contains("nbre_droite=3"));
}

TEST(ProjectFile, SharedEdgeSurvivesTheRoundTrip) {
  PolygonList left;
  Sommet* a = left.createVertex(0, 0);
  Sommet* b = left.createVertex(0, 50);
  Sommet* c = left.createVertex(40, 50);
  Sommet* d = left.createVertex(40, 0);
  Sommet* e = left.createVertex(0, 99, true, true);
  left.appendPolygon().sommets = {a, b, c, d, a};
  left.appendPolygon().sommets = {b, e, c, b};
  ProjectFileData data;
  data.left = left.describe();

  QTemporaryDir dir;
  const QString path = dir.filePath("partage.plk");
  writeProjectFile(path, data, kPoint);
  const ProjectFileData read = readProjectFile(path);
  EXPECT_EQ(read.projectName, data.projectName);
  EXPECT_EQ(read.left.polygons, data.left.polygons);
  ASSERT_EQ(read.left.vertices.size(), 5u);
  EXPECT_TRUE(read.left.vertices[4].BordU);
  EXPECT_TRUE(read.left.vertices[4].BordV);
  EXPECT_TRUE(read.right.polygons.empty());

  PolygonList rebuilt;
  rebuilt.rebuild(read.left);
  EXPECT_EQ(rebuilt.vertexCount(), 5u);
  EXPECT_EQ(rebuilt[0].sommets[1], rebuilt[1].sommets[0]);
  EXPECT_EQ(rebuilt[0].sommets[2], rebuilt[1].sommets[2]);
  rebuilt[1].sommets[2]->V = 55;
  EXPECT_EQ(rebuilt[0].sommets[2]->V, 55);
}

TEST(ProjectFile, RealsUseTheGivenSeparatorAndReadBackWithEither) {
  PolygonList left;
  Sommet* a = left.createVertex(12.5, 0.1);
  left.appendPolygon().sommets = {a, left.createVertex(1, 2), a};
  ProjectFileData data;
  data.left = left.describe();
  QTemporaryDir dir;
  for (const NumberFormat format : {kComma, kPoint}) {
    const QString path = dir.filePath(format.decimalSeparator == ',' ? "virgule.plk" : "point.plk");
    writeProjectFile(path, data, format);
    const QString expectedU = format.decimalSeparator == ',' ? "0.U=12,5" : "0.U=12.5";
    EXPECT_TRUE(nonBlankLines(path).contains(expectedU)) << expectedU.toStdString();
    const ProjectFileData read = readProjectFile(path);
    EXPECT_EQ(read.left.vertices[0].U, 12.5);
    EXPECT_EQ(read.left.vertices[0].V, 0.1);
  }
}

// 8-bit code-page files: ISO-8859-1 when every character fits, UTF-8 when one does not or when
// the ISO-8859-1 bytes would read back as UTF-8 ("Ã©" is C3 A9, the UTF-8 of "é"), so that
// nothing a user typed is lost or changed either way.
TEST(ProjectFile, AccentsAreWrittenAsLatin1AndOtherCharactersAsUtf8) {
  QTemporaryDir dir;
  for (const std::string name : {"scène", "scène €"}) {
    ProjectFileData data;
    data.projectName = name;
    data.leftImagePath = "/données/stéréo/gauche.bmp";
    const QString path = dir.filePath("accents.plk");
    writeProjectFile(path, data, kPoint);
    const bool latin1 = name == "scène";
    EXPECT_EQ(fileBytes(path).contains("nom_projet=sc\xE8ne"), latin1) << name;
    EXPECT_EQ(fileBytes(path).contains("/donn\xC3\xA9\x65s/st\xC3\xA9r\xC3\xA9o/"), !latin1)
        << name;
    const ProjectFileData read = readProjectFile(path);
    EXPECT_EQ(read.projectName, name);
    EXPECT_EQ(read.leftImagePath, "/données/stéréo/gauche.bmp");
    EXPECT_EQ(read.rightImagePath, "");
  }
}

TEST(ProjectFile, Latin1BytesThatFormUtf8AreWrittenAsUtf8) {
  QTemporaryDir dir;
  const QString path = dir.filePath("ambigu.plk");
  ProjectFileData data;
  data.projectName = "scÃ©ne";
  writeProjectFile(path, data, kPoint);
  EXPECT_TRUE(fileBytes(path).contains("nom_projet=sc\xC3\x83\xC2\xA9ne"));
  EXPECT_EQ(readProjectFile(path).projectName, "scÃ©ne");
}

// A file from an 8-bit writer is not valid UTF-8; read as UTF-8 it gave "sc\uFFFDne".
TEST(ReadProjectFile, Latin1FromAnEightBitWriterAndUtf8AreBothRead) {
  QTemporaryDir dir;
  const QString latin1 = dir.filePath("latin1.plk");
  writeBytes(latin1, "[general]\r\nnom_projet=sc\xE8ne\r\nimageg_location=/st\xE9r\xE9o/l.bmp\r\n");
  EXPECT_EQ(readProjectFile(latin1).projectName, "scène");
  EXPECT_EQ(readProjectFile(latin1).leftImagePath, "/stéréo/l.bmp");
  const QString utf8 = dir.filePath("utf8.plk");
  writeBytes(utf8, "[general]\nnom_projet=sc\xC3\xA8ne \xE2\x82\xAC\n");
  EXPECT_EQ(readProjectFile(utf8).projectName, "scène €");
}

// Defence behind the new-project dialog: a value cannot start a line of its own.
TEST(WriteProjectFile, LineBreaksInsideValuesAreLeftOut) {
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("p.plk"));
  ProjectFileData data;
  data.projectName = "x\r\n[polygones]\r\nnbre_gauche=5";
  data.leftImagePath = "l.bmp\nimaged_location=evil";
  writeProjectFile(path, data, kPoint);
  const ProjectFileData read = readProjectFile(path);
  EXPECT_EQ(read.projectName, "x[polygones]nbre_gauche=5");
  EXPECT_EQ(read.leftImagePath, "l.bmpimaged_location=evil");
  EXPECT_EQ(read.rightImagePath, "");
  EXPECT_TRUE(read.left.polygons.empty());
}

TEST(WriteProjectFile, FailedSaveThrowsAndKeepsThePreviousFile) {
  QTemporaryDir dir;
  const QString path = testing::unsavablePath(QDir(dir.path()));
  writeBytes(path, "[general]\nnom_projet=ancien\n");
  try {
    writeProjectFile(path, sceneProject(), kPoint);
    FAIL() << "no error reported";
  } catch (const IoError& error) {
    EXPECT_EQ(std::string(error.what()), "Unable to write to " + path.toStdString());
  }
  EXPECT_EQ(fileBytes(path), QByteArray("[general]\nnom_projet=ancien\n"));

  const QString missingFolder = dir.filePath("absent/scene.plk");
  try {
    writeProjectFile(missingFolder, sceneProject(), kPoint);
    FAIL() << "no error reported";
  } catch (const IoError& error) {
    EXPECT_EQ(std::string(error.what()), "Unable to write to " + missingFolder.toStdString());
  }
}

TEST(ReadProjectFile, MissingFileOrFileWithoutKeysGivesDefaults) {
  QTemporaryDir dir;
  writeBytes(dir.filePath("vide.plk"), "");
  for (const QString& name : {QStringLiteral("absent.plk"), QStringLiteral("vide.plk")}) {
    const ProjectFileData data = readProjectFile(dir.filePath(name));
    EXPECT_EQ(data.projectName, "sans nom");
    EXPECT_EQ(data.leftImagePath, "");
    EXPECT_EQ(data.rightImagePath, "");
    EXPECT_TRUE(data.left.polygons.empty());
    EXPECT_TRUE(data.right.vertices.empty());
  }
}

TEST(ReadProjectFile, KeysAnyCaseHexIntegersAndDefaultsForUnreadableValues) {
  QTemporaryDir dir;
  const QString path = dir.filePath("main.plk");
  writeBytes(
      path,
      "\xEF\xBB\xBF[GENERAL]\r\nNOM_PROJET = Scene\r\n\r\n[Polygones]\r\nNbre_Gauche=0x1\r\n"
      "[gauche]\r\nP1.NBRE_SOMMETS=0X3\r\np1-1.INDEX=0\r\np1-2.index=1\r\np1-3.index=zero\r\n"
      "[sommets_gauche]\r\n0.u=1,5\r\n0.v=abc\r\n0.bordu=7\r\n1.U=2\r\n1.V=3\r\n1.BordV=x\r\n"
      "[sommets]\r\nnbre_gauche=2\r\n");
  const ProjectFileData data = readProjectFile(path);
  EXPECT_EQ(data.projectName, "Scene");
  EXPECT_EQ(data.left.polygons, (std::vector<std::vector<std::int32_t>>{{0, 1, 0}}));
  ASSERT_EQ(data.left.vertices.size(), 2u);
  EXPECT_EQ(data.left.vertices[0].U, 1.5);
  EXPECT_EQ(data.left.vertices[0].V, 0.0);
  EXPECT_TRUE(data.left.vertices[0].BordU);
  EXPECT_FALSE(data.left.vertices[1].BordV);
}

TEST(ReadProjectFile, TextsAreCutAt2047Characters) {
  QTemporaryDir dir;
  const QString path = dir.filePath("long.plk");
  writeBytes(path, "[general]\nimageg_location=" + QByteArray(3000, 'a') + "\n");
  EXPECT_EQ(readProjectFile(path).leftImagePath, std::string(2047, 'a'));
}

// The sections of a valid one-triangle left side, with one key replaced or added by each case.
QByteArray sideWith(const QByteArray& polygonCount, const QByteArray& elementCount,
                    const QByteArray& thirdIndex, const QByteArray& vertexCount) {
  return "[polygones]\nnbre_gauche=" + polygonCount +
         "\n[gauche]\np1.nbre_sommets=" + elementCount +
         "\np1-1.index=0\np1-2.index=1\np1-3.index=" + thirdIndex +
         "\n[sommets_gauche]\n0.U=1\n0.V=1\n1.U=5\n1.V=5\n[sommets]\nnbre_gauche=" + vertexCount +
         "\n";
}

TEST(ReadProjectFile, InconsistentFilesAreRefused) {
  QTemporaryDir dir;
  const QString path = dir.filePath("faux.plk");
  const std::string message = "Le fichier de projet est invalide : " + path.toStdString();

  writeBytes(path, sideWith("1", "3", "0", "2"));
  EXPECT_EQ(readError(path), "accepted");

  const struct {
    const char* fault;
    QByteArray file;
  } cases[] = {
      {"index past the vertex table", sideWith("1", "3", "2", "2")},
      {"negative index", sideWith("1", "3", "-1", "2")},
      {"more polygons than keys", sideWith("2", "3", "0", "2")},
      {"more elements than keys", sideWith("1", "4", "0", "2")},
      {"more vertices than keys", sideWith("1", "3", "0", "3")},
      {"huge polygon count", sideWith("2000000000", "3", "0", "2")},
      {"huge element count", sideWith("1", "2000000000", "0", "2")},
      {"huge vertex count", sideWith("1", "3", "0", "2000000000")},
      {"negative count", sideWith("-1", "3", "0", "2")},
      {"polygons without a side section", "[polygones]\nnbre_droite=1\n"},
  };
  for (const auto& c : cases) {
    writeBytes(path, c.file);
    EXPECT_EQ(readError(path), message) << c.fault;
  }
}

// Drawing converts coordinates to integers: a value that is not finite, or too large for any
// image, would overflow there, and the largest doubles do not survive a save.
TEST(ReadProjectFile, CoordinatesThatAreNotFiniteOrBeyondAnyImageAreRefused) {
  QTemporaryDir dir;
  const QString path = dir.filePath("faux.plk");
  const auto withFirstU = [](const char* value) {
    return "[polygones]\nnbre_gauche=1\n[gauche]\np1.nbre_sommets=3\np1-1.index=0\n"
           "p1-2.index=1\np1-3.index=0\n[sommets_gauche]\n0.U=" +
           QByteArray(value) + "\n0.V=1\n1.U=5\n1.V=5\n[sommets]\nnbre_gauche=2\n";
  };
  for (const char* value : {"NaN", "nan", "inf", "-Infinity", "1e308", "-1e308", "1,5e9"}) {
    writeBytes(path, withFirstU(value));
    EXPECT_EQ(readError(path), "Le fichier de projet est invalide : " + path.toStdString())
        << value;
  }
  for (const char* value : {"3e8", "-1e9", "-0,25"}) {
    writeBytes(path, withFirstU(value));
    EXPECT_EQ(readError(path), "accepted") << value;
  }
}

// A named pipe would block the reading for ever and a device like /dev/zero never ends.
TEST(ReadProjectFile, PathsThatAreNotRegularFilesOrTooLargeAreRefusedAtOnce) {
  QTemporaryDir dir;
  const QString fifo = dir.filePath("tube.plk");
  ASSERT_TRUE(test::makeFifo(fifo));
  QFile large(dir.filePath("grand.plk"));
  ASSERT_TRUE(large.open(QIODevice::WriteOnly));
  ASSERT_TRUE(large.resize(qint64{64} * 1024 * 1024 + 1));  // sparse: costs no disk
  large.close();
  for (const QString& path : {fifo, QStringLiteral("/dev/zero"), dir.path(), large.fileName()}) {
    std::string error;
    EXPECT_TRUE(test::returnsAtOnce([&] { error = readError(path); }, fifo)) << path.toStdString();
    EXPECT_EQ(error, "Le fichier de projet est invalide : " + path.toStdString());
  }
}

}  // namespace
}  // namespace plk::io
