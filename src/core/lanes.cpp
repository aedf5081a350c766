#include "core/lanes.h"

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

}  // namespace plk
