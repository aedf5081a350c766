#pragma once

#include <QCoreApplication>
#include <QByteArray>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "io/image_io.h"

namespace plk::fuzz {

// The application object the image plugins need, and the program's image limits; made once.
inline void setUp() {
  static int argc = 1;
  static char name[] = "fuzz";
  static char* argv[] = {name, nullptr};
  static const QCoreApplication application(argc, argv);
  static const bool limited = [] {
    io::limitImageAllocation();
    return true;
  }();
  (void)limited;
}

inline QByteArray bytesOf(const std::uint8_t* data, std::size_t size) {
  return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// A property every accepted input must have; its failure is a finding like a crash.
inline void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "property failed: %s\n", what);
  std::abort();
}

}  // namespace plk::fuzz
