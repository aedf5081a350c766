#pragma once

#include "numeric/matrices.h"

// Sorting and median of a range of a vector.
namespace plk {

// Sorts v[first..last] ascending in place (Hoare's quicksort, middle element as pivot).
void quickSort(Vector& v, int first, int last);

// Median of v[first..last]: the middle value of an odd count, the mean of the two middle values
// of an even one. Sorts the range in place.
[[nodiscard]] double median(Vector& v, int first, int last);

}  // namespace plk
