#include "io/image_io.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

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

}  // namespace
}  // namespace plk::io
