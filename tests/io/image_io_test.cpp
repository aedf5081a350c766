#include "io/image_io.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "bmp_writer.h"
#include "io_test_support.h"

namespace plk::io {
namespace {

// 3 x 2 image whose palette maps index i to the grey level 255 - i.
QImage indexedImage() {
  QImage image(3, 2, QImage::Format_Indexed8);
  QList<QRgb> palette;
  for (int i = 0; i < 256; ++i) palette.append(qRgb(255 - i, 255 - i, 255 - i));
  image.setColorTable(palette);
  const uchar indices[2][3] = {{0, 7, 200}, {255, 1, 64}};
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 3; ++c) image.scanLine(r)[c] = indices[r][c];
  }
  return image;
}

void expectIndices(const GreyImage& grey) {
  ASSERT_EQ(grey.width(), 3);
  ASSERT_EQ(grey.height(), 2);
  EXPECT_EQ(grey.at(0, 0), 0);
  EXPECT_EQ(grey.at(0, 1), 7);
  EXPECT_EQ(grey.at(0, 2), 200);
  EXPECT_EQ(grey.at(1, 0), 255);
  EXPECT_EQ(grey.at(1, 1), 1);
  EXPECT_EQ(grey.at(1, 2), 64);
}

TEST(ToGreyImage, IndexedImageGivesItsIndicesNotThePaletteColours) {
  expectIndices(toGreyImage(indexedImage()));
}

TEST(ToGreyImage, GrayscaleImageGivesItsValuesAndOtherDepthsGiveNothing) {
  QImage grey(2, 1, QImage::Format_Grayscale8);
  grey.scanLine(0)[0] = 12;
  grey.scanLine(0)[1] = 250;
  const GreyImage converted = toGreyImage(grey);
  EXPECT_EQ(converted.at(0, 0), 12);
  EXPECT_EQ(converted.at(0, 1), 250);
  EXPECT_TRUE(toGreyImage(QImage(2, 2, QImage::Format_RGB32)).empty());
}

TEST(LoadImageFile, ReadsAnEightBitBmpAndRefusesWhatIsNotAnImage) {
  QTemporaryDir dir;
  const QString path = dir.filePath("gauche.bmp");
  ASSERT_TRUE(indexedImage().save(path, "BMP"));
  const std::optional<QImage> loaded = loadImageFile(path);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->depth(), 8);
  expectIndices(toGreyImage(*loaded));

  testing::writeBytes(dir.filePath("faux.bmp"), "not an image");
  EXPECT_FALSE(loadImageFile(dir.filePath("faux.bmp")));
  EXPECT_FALSE(loadImageFile(dir.filePath("absent.bmp")));
}

// The toolkit expands 1- and 4-bit BMPs to 8-bit images: only the file's header tells them apart
// from the 8-bit images the program accepts.
TEST(StoredBitsPerPixel, HeaderCountOfBmpsAndReaderFormatOfOthers) {
  QTemporaryDir dir;
  const std::vector<std::uint8_t> codes{0, 1, 1, 0, 1, 0};
  for (const int bits : {1, 4, 8}) {
    const QString path = dir.filePath(QStringLiteral("p%1.bmp").arg(bits));
    testing::writeBytes(path, test::greyBmpBytes(codes, 3, 2, bits));
    const std::optional<QImage> loaded = loadImageFile(path);
    ASSERT_TRUE(loaded) << bits;
    EXPECT_EQ(storedBitsPerPixel(path), bits);
  }
  EXPECT_EQ(loadImageFile(dir.filePath("p4.bmp"))->depth(), 8);

  const QString png = dir.filePath("grey.png");
  ASSERT_TRUE(indexedImage().convertToFormat(QImage::Format_Grayscale8).save(png, "PNG"));
  EXPECT_EQ(storedBitsPerPixel(png), 8);
  const QString colour = dir.filePath("colour.png");
  ASSERT_TRUE(QImage(2, 2, QImage::Format_RGB32).save(colour, "PNG"));
  EXPECT_EQ(storedBitsPerPixel(colour), 32);
  testing::writeBytes(dir.filePath("faux.bmp"), "BM");
  EXPECT_EQ(storedBitsPerPixel(dir.filePath("faux.bmp")), 0);
  EXPECT_EQ(storedBitsPerPixel(dir.filePath("absent.bmp")), 0);
}

}  // namespace
}  // namespace plk::io
