#include "numeric/lcg.h"

namespace plk {

LinearCongruentialGenerator& runtimeGenerator() {
  static LinearCongruentialGenerator generator;
  return generator;
}

}  // namespace plk
