#include "io/image_io.h"

#include <gtest/gtest.h>

#include <QImageReader>
#include <QTemporaryDir>
#include <QtEndian>
#include <algorithm>

#include "bmp_writer.h"
#include "io_test_support.h"
#include "special_files.h"

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
  const std::optional<DecodedImage> loaded = loadImageFile(path);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->image.depth(), 8);
  EXPECT_EQ(loaded->storedBitsPerPixel, 8);
  expectIndices(toGreyImage(loaded->image));

  testing::writeBytes(dir.filePath("faux.bmp"), "not an image");
  EXPECT_FALSE(loadImageFile(dir.filePath("faux.bmp")));
  EXPECT_FALSE(loadImageFile(dir.filePath("absent.bmp")));
}

// The toolkit expands 1- and 4-bit BMPs to 8-bit images: only the file's header tells them apart
// from the 8-bit images the program accepts.
TEST(StoredBitsPerPixel, HeaderCountOfBmpsAndDecodedDepthOfOthers) {
  QTemporaryDir dir;
  const std::vector<std::uint8_t> codes{0, 1, 1, 0, 1, 0};
  for (const int bits : {1, 4, 8}) {
    const QString path = dir.filePath(QStringLiteral("p%1.bmp").arg(bits));
    testing::writeBytes(path, test::greyBmpBytes(codes, 3, 2, bits));
    const std::optional<DecodedImage> loaded = loadImageFile(path);
    ASSERT_TRUE(loaded) << bits;
    EXPECT_EQ(loaded->storedBitsPerPixel, bits);
  }
  EXPECT_EQ(loadImageFile(dir.filePath("p4.bmp"))->image.depth(), 8);

  const QString png = dir.filePath("grey.png");
  ASSERT_TRUE(indexedImage().convertToFormat(QImage::Format_Grayscale8).save(png, "PNG"));
  EXPECT_EQ(loadImageFile(png)->storedBitsPerPixel, 8);
  const QString colour = dir.filePath("colour.png");
  ASSERT_TRUE(QImage(2, 2, QImage::Format_RGB32).save(colour, "PNG"));
  EXPECT_EQ(loadImageFile(colour)->storedBitsPerPixel, 32);
}

// Colour and 16-bit grey files become 8-bit grey with one rounding of the exact value, halves
// up: (0, 0, 250) has the luma 28.5 exactly and 16-bit 129 scales to 0.502. 8-bit images keep
// their codes; 1-bit ones stay refused.
TEST(GreyPicture, ColourAndSixteenBitFilesBecomeRoundedEightBitGrey) {
  QTemporaryDir dir;
  const auto loadedGrey = [&](const QImage& image, const char* name) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    EXPECT_TRUE(image.save(path)) << name;
    const std::optional<DecodedImage> loaded = loadImageFile(path);
    EXPECT_TRUE(loaded) << name;
    return loaded ? greyPicture(*loaded) : std::nullopt;
  };
  QImage colour(4, 1, QImage::Format_RGB888);
  const QColor colours[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 250}, {90, 90, 90}};
  for (int c = 0; c < 4; ++c) colour.setPixelColor(c, 0, colours[c]);
  const std::vector<int> expectedColour{76, 150, 29, 90};
  for (const auto& [image, name] :
       {std::pair{colour, "rgb8.png"},
        std::pair{colour.convertToFormat(QImage::Format_RGBA64), "rgb16.png"}}) {
    const std::optional<GreyPicture> grey = loadedGrey(image, name);
    ASSERT_TRUE(grey) << name;
    EXPECT_EQ(grey->conversion, GreyConversion::FromColour) << name;
    for (int c = 0; c < 4; ++c) EXPECT_EQ(grey->image.at(0, c), expectedColour[c]) << name << c;
  }

  QImage sixteen(4, 1, QImage::Format_Grayscale16);
  const quint16 levels[] = {128, 129, 32896, 65535};
  for (int c = 0; c < 4; ++c) reinterpret_cast<quint16*>(sixteen.scanLine(0))[c] = levels[c];
  const std::optional<GreyPicture> grey16 = loadedGrey(sixteen, "grey16.png");
  ASSERT_TRUE(grey16);
  EXPECT_EQ(grey16->conversion, GreyConversion::FromSixteenBits);
  const std::vector<int> expected16{0, 1, 128, 255};
  for (int c = 0; c < 4; ++c) EXPECT_EQ(grey16->image.at(0, c), expected16[c]) << c;

  const std::optional<GreyPicture> codes = loadedGrey(indexedImage(), "indexed.bmp");
  ASSERT_TRUE(codes);
  EXPECT_EQ(codes->conversion, GreyConversion::None);
  expectIndices(codes->image);
  testing::writeBytes(dir.filePath("p1.bmp"), test::greyBmpBytes({0, 1, 1, 0, 1, 0}, 3, 2, 1));
  EXPECT_FALSE(greyPicture(*loadImageFile(dir.filePath("p1.bmp"))));
  EXPECT_EQ(conversionLines(GreyConversion::FromColour, GreyConversion::FromSixteenBits),
            (std::vector<std::string>{
                "Image gauche convertie en niveaux de gris 8 bits (image en couleurs).",
                "Image droite convertie en niveaux de gris 8 bits (image en gris sur 16 bits)."}));
}

// An 8-bit BMP header for a width x height image whose pixel data, `body`, is compressed with
// run-length codes (compression 1) or stored plainly (compression 0).
QByteArray bmpWithBody(int width, int height, int compression, const QByteArray& body) {
  QByteArray header = test::greyBmpBytes({0}, 1, 1, 8);
  header.truncate(14 + 40 + 4 * 256);
  qToLittleEndian<qint32>(width, header.data() + 18);
  qToLittleEndian<qint32>(height, header.data() + 22);
  qToLittleEndian<quint32>(static_cast<quint32>(compression), header.data() + 30);
  qToLittleEndian<quint32>(static_cast<quint32>(body.size()), header.data() + 34);
  QByteArray bytes = header + body;
  qToLittleEndian<quint32>(static_cast<quint32>(bytes.size()), bytes.data() + 2);
  return bytes;
}

// One run of each row's grey level (row + 1) over the whole width, 255 pixels at most a run;
// rows bottom-up.
QByteArray runLengthRows(int width, int height) {
  QByteArray body;
  for (int r = height - 1; r >= 0; --r) {
    for (int left = width; left > 0; left -= 255) {
      body += static_cast<char>(std::min(left, 255));
      body += static_cast<char>(r + 1);
    }
    body += QByteArray("\0\0", 2);
  }
  return body + QByteArray("\0\1", 2);
}

// The toolkit would allocate what a header claims before decoding; these headers claim more
// than the program accepts, or more pixels than their few bytes can describe.
TEST(LoadImageFile, HeadersClaimingTooManyPixelsAreRefusedBeforeDecoding) {
  QTemporaryDir dir;
  const int limit = QImageReader::allocationLimit();
  QImageReader::setAllocationLimit(0);  // the toolkit's own check off: ours must refuse
  const struct {
    const char* name;
    QByteArray bytes;
  } refused[] = {
      {"100000 x 100000", bmpWithBody(100000, 100000, 0, QByteArray(4096, '\x7f'))},
      {"5700 x 5700 in 1 KB of run-length codes", bmpWithBody(5700, 5700, 1, "\0\1")},
  };
  for (const auto& c : refused) {
    const QString path = dir.filePath("bombe.bmp");
    testing::writeBytes(path, c.bytes);
    EXPECT_FALSE(loadImageFile(path)) << c.name;
    EXPECT_FALSE(decodeImage(c.bytes)) << c.name;
  }
  QImageReader::setAllocationLimit(limit);

  const std::optional<DecodedImage> coded =
      decodeImage(bmpWithBody(600, 40, 1, runLengthRows(600, 40)));
  ASSERT_TRUE(coded);
  EXPECT_EQ(toGreyImage(coded->image).at(39, 599), 40);
  EXPECT_EQ(toGreyImage(coded->image).at(0, 0), 1);

  QImage flat(2048, 2048, QImage::Format_Grayscale8);
  flat.fill(128);
  const QString png = dir.filePath("uni.png");
  ASSERT_TRUE(flat.save(png, "PNG"));
  ASSERT_TRUE(loadImageFile(png)) << "a highly compressible real picture is read";
}

TEST(LoadImageFile, PathsThatAreNotRegularFilesAreRefusedAtOnce) {
  QTemporaryDir dir;
  const QString fifo = dir.filePath("tube.bmp");
  ASSERT_TRUE(test::makeFifo(fifo));
  for (const QString& path : {fifo, QStringLiteral("/dev/zero"), dir.path()}) {
    bool loaded = true;
    EXPECT_TRUE(test::returnsAtOnce([&] { loaded = loadImageFile(path).has_value(); }, fifo))
        << path.toStdString();
    EXPECT_FALSE(loaded) << path.toStdString();
  }
}

}  // namespace
}  // namespace plk::io
