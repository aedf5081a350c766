#include "io/disparity_files.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <cstring>

#include "io/disparity_readers.h"
#include "io/io_error.h"
#include "io_test_support.h"
#include "special_files.h"

namespace plk::io {
namespace {

constexpr double kNone = kNoDisparity;

// A 3 x 2 field: two rows of three values, one pixel without disparity.
const std::vector<double> kValues{12.345, kNone, 0.001, 100.5, 255.99, 3.0};

// Reads a little-endian grey PFM byte by byte, without the readers under test.
std::vector<float> parsePfm(const QByteArray& bytes, int& width, int& height) {
  const QList<QByteArray> header = bytes.left(bytes.indexOf("\n-1\n")).split('\n');
  EXPECT_EQ(header[0], QByteArray("Pf"));
  const QList<QByteArray> size = header[1].split(' ');
  width = size[0].toInt();
  height = size[1].toInt();
  const qsizetype data = bytes.indexOf("\n-1\n") + 4;
  EXPECT_EQ(bytes.size() - data, qsizetype(width) * height * 4);
  std::vector<float> values(static_cast<std::size_t>(width) * height);
  for (int r = 0; r < height; ++r) {
    for (int c = 0; c < width; ++c) {
      const qsizetype at = data + (qsizetype(height - 1 - r) * width + c) * 4;
      std::uint32_t bits = 0;
      for (int i = 0; i < 4; ++i) bits |= std::uint32_t(std::uint8_t(bytes[at + i])) << (8 * i);
      float value = 0;
      std::memcpy(&value, &bits, 4);
      values[static_cast<std::size_t>(r) * width + c] = value;
    }
  }
  return values;
}

class DisparityFilesTest : public ::testing::Test {
 protected:
  [[nodiscard]] QString path(const char* name) const {
    return QDir(folder.path()).filePath(QString::fromLatin1(name));
  }
  QTemporaryDir folder;
};

TEST_F(DisparityFilesTest, PfmHoldsTheValuesBottomRowFirstWithInfinityForNone) {
  writePfm(path("d.pfm"), 3, 2, kValues);
  int width = 0;
  int height = 0;
  const std::vector<float> values = parsePfm(testing::fileBytes(path("d.pfm")), width, height);
  ASSERT_EQ(width, 3);
  ASSERT_EQ(height, 2);
  for (std::size_t i = 0; i < kValues.size(); ++i) {
    EXPECT_EQ(values[i], static_cast<float>(kValues[i])) << i;
  }
  const DisparityField field = readDisparityMap(path("d.pfm"));
  EXPECT_EQ(field.values[0], static_cast<float>(12.345));
  EXPECT_FALSE(std::isfinite(field.values[1]));
}

TEST_F(DisparityFilesTest, KittiPngHoldsRoundedSixteenthsOfAPixelAndZeroForNone) {
  const std::vector<double> values{12.345, kNone, 0.001, 100.5, 300.0, 3.0};
  EXPECT_EQ(writeKittiPng(path("d.png"), 3, 2, values), 1);
  const QImage image(path("d.png"));
  ASSERT_EQ(image.format(), QImage::Format_Grayscale16);
  const auto level = [&](int r, int c) {
    return reinterpret_cast<const quint16*>(image.constScanLine(r))[c];
  };
  EXPECT_EQ(level(0, 0), 3160);  // 256 x 12.345 = 3160.32
  EXPECT_EQ(level(0, 1), 0);
  EXPECT_EQ(level(0, 2), 1);      // 0.256 would round to "none"
  EXPECT_EQ(level(1, 0), 25728);  // 256 x 100.5
  EXPECT_EQ(level(1, 1), 0);      // beyond 65535 / 256
  const DisparityField field = readDisparityMap(path("d.png"));
  EXPECT_EQ(field.values[0], 3160 / 256.0);
  EXPECT_FALSE(std::isfinite(field.values[1]));
}

TEST_F(DisparityFilesTest, FiveFilesInTheFolderAndTheTextReadsBack) {
  DisparityMaps maps;
  maps.fineMap = ColourImage(6, 4);
  maps.fineMap.at(3, 5) = encodeDisparity(12345);
  maps.map = ColourImage(3, 2);
  maps.map.at(1, 2) = encodeDisparity(0x123456);
  maps.greyMap = ColourImage(3, 2);
  maps.occlusionMask = ColourImage(3, 2);
  maps.occlusionMask.at(0, 0) = Bgr0{255, 255, 255, 0};
  maps.text = {"0 1,5 2 ", "3 4 5,25 "};
  writeDisparityFiles(folder.path(), maps);
  const QImage fine(path("carte.bmp"));
  EXPECT_EQ(fine.size(), QSize(6, 4));
  EXPECT_EQ(fine.pixel(5, 3), qRgb(57, 48, 0));
  EXPECT_EQ(QImage(path("carte1.bmp")).pixel(2, 1), qRgb(0x56, 0x34, 0x12));
  EXPECT_EQ(QImage(path("carte1occ.bmp")).pixel(0, 0), qRgb(255, 255, 255));
  EXPECT_TRUE(QFile::exists(path("carte1gris.bmp")));
  EXPECT_EQ(testing::fileBytes(path("disparites.txt")), QByteArray("0 1,5 2 \r\n3 4 5,25 \r\n"));
  const DisparityField field = readDisparityMap(path("disparites.txt"));
  EXPECT_EQ(field.width, 3);
  EXPECT_EQ(field.height, 2);
  EXPECT_FALSE(std::isfinite(field.values[0]));
  EXPECT_EQ(field.values[5], 5.25);

  const ScoreMask mask = readScoreMask(path("carte1occ.bmp"));
  EXPECT_EQ(mask.scored, (std::vector<std::uint8_t>{0, 1, 1, 1, 1, 1}));
}

// The bytes QImage saves for the picture, as the files were once written.
QByteArray qtBmp(const ColourImage& picture) {
  QImage image(picture.width, picture.height, QImage::Format_RGB32);
  for (int r = 0; r < picture.height; ++r) {
    for (int c = 0; c < picture.width; ++c) {
      const Bgr0 pixel = picture.at(r, c);
      image.setPixel(c, r, qRgb(pixel.red, pixel.green, pixel.blue));
    }
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  EXPECT_TRUE(buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "BMP"));
  return bytes;
}

// The pictures are written row by row; each file has the bytes Qt saves for the whole picture,
// row padding included (widths 3 and 6 pad 3 and 2 bytes).
TEST_F(DisparityFilesTest, PicturesWrittenRowByRowAreTheBytesQtSaves) {
  DisparityMaps maps;
  maps.fineMap = ColourImage(6, 4);
  maps.fineOcclusions.assign(24, 0);
  maps.map = maps.greyMap = maps.occlusionMask = ColourImage(3, 2);
  for (std::size_t i = 0; i < maps.fineMap.pixels.size(); ++i) {
    maps.fineMap.pixels[i] = encodeDisparity(static_cast<std::int64_t>(i * 700001 + 3));
    maps.fineOcclusions[i] = i % 3 == 0 ? 255 : 0;
  }
  for (std::size_t i = 0; i < maps.map.pixels.size(); ++i) {
    maps.map.pixels[i] = encodeDisparity(static_cast<std::int64_t>(i * 1234567 + 9));
  }
  maps.text = {"1 ", "2 "};
  writeDisparityFiles(folder.path(), maps);
  writeFineOcclusions(path("occ.bmp"), maps);
  EXPECT_EQ(testing::fileBytes(path("carte.bmp")), qtBmp(maps.fineMap));
  EXPECT_EQ(testing::fileBytes(path("carte1.bmp")), qtBmp(maps.map));
  ColourImage occlusions(6, 4);
  for (std::size_t i = 0; i < occlusions.pixels.size(); ++i) {
    const std::uint8_t level = maps.fineOcclusions[i];
    occlusions.pixels[i] = Bgr0{level, level, level, 0};
  }
  EXPECT_EQ(testing::fileBytes(path("occ.bmp")), qtBmp(occlusions));
}

TEST_F(DisparityFilesTest, AFolderInTheWayIsReported) {
  ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("disparites.txt")));
  DisparityMaps maps;
  maps.fineMap = maps.map = maps.greyMap = maps.occlusionMask = ColourImage(1, 1);
  EXPECT_THROW(writeDisparityFiles(folder.path(), maps), IoError);
}

TEST_F(DisparityFilesTest, GroundTruthLevelsAreDividedByTheScaleAndZeroIsUnknown) {
  QImage truth(2, 1, QImage::Format_Grayscale8);
  truth.setPixel(0, 0, qRgb(0, 0, 0));
  truth.setPixel(1, 0, qRgb(100, 100, 100));
  ASSERT_TRUE(truth.save(path("gt.pgm")));
  const DisparityField field = readGroundTruth(path("gt.pgm"), 8.0);
  EXPECT_FALSE(std::isfinite(field.values[0]));
  EXPECT_EQ(field.values[1], 12.5);
  EXPECT_EQ(readScoreMask(path("gt.pgm")).scored, (std::vector<std::uint8_t>{0, 1}));
  testing::writeBytes(path("bad.pfm"), "Pf\n3 2\n-1\nshort");
  EXPECT_THROW((void)readGroundTruth(path("bad.pfm"), 1.0), IoError);
  testing::writeBytes(path("bad.txt"), "1 2 3\r\n4 5\r\n");
  EXPECT_THROW((void)readDisparityMap(path("bad.txt")), IoError);
}

// Sizes whose byte count overflows 64 bits, and paths that would block or never end.
TEST_F(DisparityFilesTest, HugeSizesAndPathsThatAreNotRegularFilesAreRefusedAtOnce) {
  testing::writeBytes(path("huge.pfm"), "Pf\n2147483647 2147483647\n-1\n" + QByteArray(64, '\0'));
  EXPECT_THROW((void)readGroundTruth(path("huge.pfm"), 1.0), IoError);
  const QString fifo = path("tube.pfm");
  ASSERT_TRUE(test::makeFifo(fifo));
  for (const QString& file : {fifo, QStringLiteral("/dev/zero")}) {
    EXPECT_TRUE(test::returnsAtOnce(
        [&] { EXPECT_THROW((void)readGroundTruth(file, 1.0), IoError); }, fifo));
  }
}

}  // namespace
}  // namespace plk::io
