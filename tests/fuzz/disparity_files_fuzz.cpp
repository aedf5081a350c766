// The batch program's readers of disparity maps and ground truths, from bytes to a field or a
// refusal. Every format reads the same bytes; an accepted field holds width x height values.
#include "fuzz_support.h"
#include "io/disparity_readers.h"
#include "io/io_error.h"

namespace {

void requireWhole(const plk::DisparityField& field) {
  plk::fuzz::require(field.width >= 0 && field.height >= 0, "sizes are not negative");
  plk::fuzz::require(std::ssize(field.values) == qint64{field.width} * field.height,
                     "a field holds width x height values");
}

template <typename Read>
void tryReading(Read read) {
  try {
    requireWhole(read());
  } catch (const plk::io::IoError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  plk::fuzz::setUp();
  const QByteArray bytes = plk::fuzz::bytesOf(data, size);
  for (const char* name : {"carte.txt", "carte.pfm", "carte.png"}) {
    tryReading([&] { return plk::io::parseDisparityMap(bytes, QString::fromLatin1(name)); });
  }
  tryReading([&] { return plk::io::parseGroundTruth(bytes, QStringLiteral("gt.pgm"), 8.0); });
  return 0;
}
