#include "numeric/stat.h"

#include <cstddef>
#include <utility>

namespace plk {

namespace {
double& at(Vector& v, int i) { return v[static_cast<std::size_t>(i)]; }
}  // namespace

void quickSort(Vector& v, int first, int last) {
  const double pivot = at(v, (first + last) / 2);
  int i = first;
  int j = last;
  do {
    while (at(v, i) < pivot) ++i;
    while (pivot < at(v, j)) --j;
    if (i <= j) {
      std::swap(at(v, i), at(v, j));
      ++i;
      --j;
    }
  } while (i <= j);
  if (first < j) quickSort(v, first, j);
  if (i < last) quickSort(v, i, last);
}

double median(Vector& v, int first, int last) {
  quickSort(v, first, last);
  const int count = last - first + 1;
  const int k = first + count / 2 - 1;
  if (count % 2 == 1) return at(v, k + 1);
  return (at(v, k) + at(v, k + 1)) * 0.5;
}

}  // namespace plk
