#pragma once

#include <QByteArray>
#include <QImage>
#include <QtEndian>
#include <cstdint>
#include <vector>

namespace plk::test {

// A grey palettised BMP of 1, 4 or 8 bits per pixel whose pixel codes (row-major, each below
// 2^bits) are `codes`: the writers of the toolkit produce only some of these depths.
inline QByteArray greyBmpBytes(const std::vector<std::uint8_t>& codes, int width, int height,
                               int bits) {
  const int colours = 1 << bits;
  const int rowBytes = ((width * bits + 31) / 32) * 4;
  const int offset = 14 + 40 + 4 * colours;
  QByteArray bytes(offset + rowBytes * height, '\0');
  auto put32 = [&](int at, std::uint32_t value) { qToLittleEndian(value, bytes.data() + at); };
  auto put16 = [&](int at, std::uint16_t value) { qToLittleEndian(value, bytes.data() + at); };
  bytes[0] = 'B';
  bytes[1] = 'M';
  put32(2, static_cast<std::uint32_t>(bytes.size()));
  put32(10, static_cast<std::uint32_t>(offset));
  put32(14, 40);
  put32(18, static_cast<std::uint32_t>(width));
  put32(22, static_cast<std::uint32_t>(height));
  put16(26, 1);
  put16(28, static_cast<std::uint16_t>(bits));
  put32(46, static_cast<std::uint32_t>(colours));
  for (int i = 0; i < colours; ++i) {
    const auto grey = static_cast<char>(i * 255 / (colours - 1));
    bytes[54 + 4 * i] = bytes[55 + 4 * i] = bytes[56 + 4 * i] = grey;
  }
  // Rows bottom-up, pixels packed from the high bits of each byte.
  for (int r = 0; r < height; ++r) {
    char* row = bytes.data() + offset + (height - 1 - r) * rowBytes;
    for (int c = 0; c < width; ++c) {
      const int bit = c * bits;
      const int shift = 8 - bits - bit % 8;
      row[bit / 8] = static_cast<char>(row[bit / 8] | (codes[r * width + c] << shift));
    }
  }
  return bytes;
}

// The codes of an 8-bit image reduced to `bits` bits (its high bits), as a paint program does
// when it converts a grey picture to 16 or 2 colours.
inline std::vector<std::uint8_t> reducedCodes(const QImage& eightBit, int bits) {
  std::vector<std::uint8_t> codes;
  for (int r = 0; r < eightBit.height(); ++r) {
    for (int c = 0; c < eightBit.width(); ++c) {
      codes.push_back(static_cast<std::uint8_t>(eightBit.constScanLine(r)[c] >> (8 - bits)));
    }
  }
  return codes;
}

}  // namespace plk::test
