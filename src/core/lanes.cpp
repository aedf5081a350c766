#include "core/lanes.h"

#include <initializer_list>

namespace plk {

bool supportsLanes(int width) {
  switch (width) {
    case 1:
    case 2:
      return true;
#if defined(__x86_64__)
    case 4:
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx2") != 0;
    case 8:
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx512f") != 0;
#endif
    default:
      return false;
  }
}

int widestLaneWidth() {
  for (const int width : {8, 4}) {
    if (supportsLanes(width)) return width;
  }
  return 2;
}

}  // namespace plk
