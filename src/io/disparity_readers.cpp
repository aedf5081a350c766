#include "io/disparity_readers.h"

#include <QFileInfo>
#include <QImage>
#include <bit>
#include <cctype>
#include <cmath>
#include <limits>
#include <optional>

#include "core/textformat.h"
#include "io/image_io.h"
#include "io/io_error.h"
#include "io/regular_file.h"
#include "io/text_file.h"

namespace plk::io {

namespace {

constexpr double kUnknown = std::numeric_limits<double>::infinity();
constexpr double kKittiScale = 256.0;

[[noreturn]] void failReading(const QString& path, const char* why) {
  throw IoError("Impossible de lire " + path.toStdString() + " : " + why);
}

QString extensionOf(const QString& path) { return QFileInfo(path).suffix().toLower(); }

bool isKnownMapFormat(const QString& path) {
  const QString extension = extensionOf(path);
  return extension == QStringLiteral("txt") || extension == QStringLiteral("pfm") ||
         extension == QStringLiteral("png");
}

QByteArray readOrFail(const QString& path) {
  std::optional<QByteArray> bytes = readRegularFile(path, kMaxTextFileBytes);
  if (!bytes) failReading(path, "fichier illisible");
  return std::move(*bytes);
}

DisparityField readText(const QByteArray& bytes, const QString& path) {
  DisparityField field;
  for (const QString& line : textLines(bytes)) {
    const QStringList tokens = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (field.height == 0) field.width = static_cast<int>(tokens.size());
    if (tokens.size() != field.width) failReading(path, "lignes de longueurs différentes");
    if (std::ssize(field.values) + field.width > kMaxImagePixels)
      failReading(path, "carte trop grande");
    for (const QString& token : tokens) {
      const std::optional<double> value = parseReal(token.toStdString());
      if (!value) failReading(path, "valeur illisible");
      field.values.push_back(*value == 0.0 ? kUnknown : *value);
    }
    ++field.height;
  }
  return field;
}

// Reads the whitespace-separated header word at `position`, moving past it.
QByteArray headerWord(const QByteArray& bytes, qsizetype& position) {
  while (position < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[position]))) {
    ++position;
  }
  const qsizetype start = position;
  while (position < bytes.size() && !std::isspace(static_cast<unsigned char>(bytes[position]))) {
    ++position;
  }
  return bytes.mid(start, position - start);
}

float floatAt(const QByteArray& bytes, qsizetype offset, bool littleEndian) {
  std::uint32_t bits = 0;
  for (int i = 0; i < 4; ++i) {
    const auto byte = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[offset + i]));
    bits |= byte << (8 * (littleEndian ? i : 3 - i));
  }
  return std::bit_cast<float>(bits);
}

DisparityField readPfm(const QByteArray& bytes, const QString& path) {
  qsizetype position = 0;
  if (headerWord(bytes, position) != "Pf") failReading(path, "PFM gris (Pf) attendu");
  bool widthRead = false;
  bool heightRead = false;
  bool scaleRead = false;
  DisparityField field;
  field.width = headerWord(bytes, position).toInt(&widthRead);
  field.height = headerWord(bytes, position).toInt(&heightRead);
  const double scale = headerWord(bytes, position).toDouble(&scaleRead);
  ++position;  // the single whitespace that ends the header
  const qint64 count = qint64(field.width) * field.height;
  if (!widthRead || !heightRead || !scaleRead || scale == 0.0 || field.width <= 0 ||
      field.height <= 0 || count > kMaxImagePixels || bytes.size() - position < count * 4) {
    failReading(path, "en-tête ou données PFM incorrects");
  }
  field.values.resize(static_cast<std::size_t>(count));
  for (int r = 0; r < field.height; ++r) {
    const qsizetype rowStart = position + qsizetype(field.height - 1 - r) * field.width * 4;
    for (int c = 0; c < field.width; ++c) {
      const double value = floatAt(bytes, rowStart + qsizetype(c) * 4, scale < 0.0);
      field.values[static_cast<std::size_t>(r) * field.width + c] =
          std::isfinite(value) ? value : kUnknown;
    }
  }
  return field;
}

QImage decodeOrFail(const QByteArray& bytes, const QString& path) {
  std::optional<DecodedImage> decoded = decodeImage(bytes);
  if (!decoded) failReading(path, "image illisible");
  return std::move(decoded->image);
}

// Grey values of an 8-bit (codes, palette not consulted) or 16-bit image divided by `scale`.
DisparityField greyLevels(const QImage& image, double scale, const QString& path) {
  DisparityField field{image.width(), image.height(), {}};
  field.values.reserve(static_cast<std::size_t>(field.width) * field.height);
  if (image.depth() == 8) {
    const GreyImage grey = toGreyImage(image);
    for (int r = 0; r < field.height; ++r) {
      for (int c = 0; c < field.width; ++c) {
        const int level = grey.at(r, c);
        field.values.push_back(level == 0 ? kUnknown : level / scale);
      }
    }
    return field;
  }
  if (image.format() != QImage::Format_Grayscale16) failReading(path, "image grise attendue");
  for (int r = 0; r < field.height; ++r) {
    const auto* line = reinterpret_cast<const quint16*>(image.constScanLine(r));
    for (int c = 0; c < field.width; ++c) {
      field.values.push_back(line[c] == 0 ? kUnknown : line[c] / scale);
    }
  }
  return field;
}

}  // namespace

DisparityField readDisparityMap(const QString& path) {
  if (!isKnownMapFormat(path)) failReading(path, "format inconnu (.txt, .pfm ou .png attendu)");
  return parseDisparityMap(readOrFail(path), path);
}

DisparityField parseDisparityMap(const QByteArray& bytes, const QString& path) {
  const QString extension = extensionOf(path);
  if (extension == QStringLiteral("txt")) return readText(bytes, path);
  if (extension == QStringLiteral("pfm")) return readPfm(bytes, path);
  if (extension == QStringLiteral("png")) {
    const QImage image = decodeOrFail(bytes, path);
    if (image.format() != QImage::Format_Grayscale16) failReading(path, "PNG 16 bits attendu");
    return greyLevels(image, kKittiScale, path);
  }
  failReading(path, "format inconnu (.txt, .pfm ou .png attendu)");
}

DisparityField readGroundTruth(const QString& path, double scale) {
  return parseGroundTruth(readOrFail(path), path, scale);
}

DisparityField parseGroundTruth(const QByteArray& bytes, const QString& path, double scale) {
  if (extensionOf(path) == QStringLiteral("pfm")) return readPfm(bytes, path);
  return greyLevels(decodeOrFail(bytes, path), scale, path);
}

ScoreMask readScoreMask(const QString& path) {
  const QImage image = decodeOrFail(readOrFail(path), path);
  ScoreMask mask{image.width(), image.height(), {}};
  mask.scored.reserve(static_cast<std::size_t>(mask.width) * mask.height);
  if (image.depth() == 8) {
    const GreyImage grey = toGreyImage(image);
    for (int r = 0; r < mask.height; ++r) {
      for (int c = 0; c < mask.width; ++c) mask.scored.push_back(grey.at(r, c) != 0 ? 1 : 0);
    }
    return mask;
  }
  const QImage colour = image.convertToFormat(QImage::Format_RGB32);
  for (int r = 0; r < mask.height; ++r) {
    for (int c = 0; c < mask.width; ++c) {
      mask.scored.push_back(colour.pixel(c, r) == qRgb(255, 255, 255) ? 0 : 1);
    }
  }
  return mask;
}

}  // namespace plk::io
