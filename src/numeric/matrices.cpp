#include "numeric/matrices.h"

#include <cmath>
#include <utility>

#include "numeric/fmath.h"

namespace plk {
namespace {

using std::size_t;

constexpr double kPivotThreshold = fmath::machineEpsilon;  // 2^-52, absolute, not scaled
constexpr int kMaxSweeps = 30;

// Raw row pointers for the inner loops, so that an element costs one indirection.
std::vector<double*> rowPointers(Matrix& m, int count) {
  std::vector<double*> rows(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) rows[static_cast<size_t>(i)] = m[i].data();
  return rows;
}

}  // namespace

// --- Matrix ---

Matrix::Matrix(int rowCount, int columnCount) {
  rows_.reserve(static_cast<size_t>(rowCount));
  for (int i = 0; i < rowCount; ++i) {
    rows_.push_back(std::make_shared<Vector>(static_cast<size_t>(columnCount), 0.0));
  }
}

Matrix::Matrix(const Matrix& other) {
  rows_.reserve(other.rows_.size());
  for (const auto& row : other.rows_) rows_.push_back(std::make_shared<Vector>(*row));
}

Matrix& Matrix::operator=(const Matrix& other) {
  if (this != &other) {
    Matrix copy(other);
    rows_ = std::move(copy.rows_);
  }
  return *this;
}

int Matrix::columnCount() const {
  return rows_.empty() ? 0 : static_cast<int>(rows_.front()->size());
}

void Matrix::shareRow(int i, const Matrix& source, int j) {
  rows_[static_cast<size_t>(i)] = source.rows_[static_cast<size_t>(j)];
}

bool Matrix::sharesRow(int i, const Matrix& other, int j) const {
  return rows_[static_cast<size_t>(i)] == other.rows_[static_cast<size_t>(j)];
}

// --- Creation ---

void makeVector(Vector& v, int ub) { v.assign(ub < 0 ? 0 : static_cast<size_t>(ub) + 1, 0.0); }

void makeIntVector(IntVector& v, int ub) { v.assign(ub < 0 ? 0 : static_cast<size_t>(ub) + 1, 0); }

void makeMatrix(Matrix& m, int ub1, int ub2) {
  m = (ub1 < 0 || ub2 < 0) ? Matrix() : Matrix(ub1 + 1, ub2 + 1);
}

// --- Element-wise ---

void vectorSqrt(const Vector& a, Vector& c) {
  for (size_t i = 0; i < a.size(); ++i) c[i] = std::sqrt(a[i]);
}

void vectorSum(const Vector& a, const Vector& b, Vector& c) {
  for (size_t i = 0; i < a.size(); ++i) c[i] = a[i] + b[i];
}

void vectorProduct(const Vector& a, const Vector& b, Vector& c) {
  for (size_t i = 0; i < a.size(); ++i) c[i] = a[i] * b[i];
}

void vectorQuotient(const Vector& a, const Vector& b, Vector& c) {
  for (size_t i = 0; i < a.size(); ++i) c[i] = a[i] / b[i];
}

void vectorMinusScalar(const Vector& a, double x, Vector& c) {
  for (size_t i = 0; i < a.size(); ++i) c[i] = a[i] - x;
}

double vectorMean(const Vector& a) {
  double sum = 0.0;
  for (const double value : a) sum += value;
  return sum / static_cast<double>(a.size());
}

// --- Block and copy ---

void copyVector(Vector& dest, const Vector& src, int lb, int ub) {
  for (int k = lb; k <= ub; ++k) dest[k] = src[k];
}

void copyMatrix(Matrix& dest, const Matrix& src, int lb1, int ub1, int lb2, int ub2) {
  for (int i = lb1; i <= ub1; ++i) {
    for (int j = lb2; j <= ub2; ++j) dest[i][j] = src[i][j];
  }
}

void setColumn(Matrix& m, const Vector& v, int lb, int ub, int column) {
  for (int k = lb; k <= ub; ++k) m[k][column] = v[k];
}

void getColumn(Vector& v, const Matrix& m, int lb, int ub, int column) {
  for (int k = lb; k <= ub; ++k) v[k] = m[k][column];
}

void transposeBlock(const Matrix& src, Matrix& dest, int lb1, int ub1, int lb2, int ub2) {
  for (int i = lb1; i <= ub1; ++i) {
    for (int j = lb2; j <= ub2; ++j) dest[j][i] = src[i][j];
  }
}

void swapRows(Matrix& m, int r1, int r2, int lb, int ub) {
  for (int k = lb; k <= ub; ++k) std::swap(m[r1][k], m[r2][k]);
}

void swapColumns(Matrix& m, int c1, int c2, int lb, int ub) {
  for (int k = lb; k <= ub; ++k) std::swap(m[k][c1], m[k][c2]);
}

double vectorMaximum(const Vector& v, int lb, int ub) {
  double largest = v[lb];
  for (int k = lb + 1; k <= ub; ++k) {
    if (v[k] > largest) largest = v[k];
  }
  return largest;
}

void vectorToMatrix(const Vector& v, Matrix& m) {
  const int columns = m.columnCount();
  for (size_t k = 0; k < v.size(); ++k) {
    const int index = static_cast<int>(k);
    m[index / columns][index % columns] = v[k];
  }
}

void matrixToVector(const Matrix& m, Vector& v) {
  size_t k = 0;
  for (int i = 0; i < m.rowCount(); ++i) {
    for (const double value : m[i]) v[k++] = value;
  }
}

void valuesToMatrix(Matrix& m, std::initializer_list<double> values) {
  vectorToMatrix(Vector(values), m);
}

namespace {

// Whether a row of `c` is the storage of a row of `m`: writing c would then change m.
bool sharesStorage(const Matrix& c, const Matrix& m) {
  for (int i = 0; i < c.rowCount(); ++i) {
    for (int j = 0; j < m.rowCount(); ++j) {
      if (&c[i] == &m[j]) return true;
    }
  }
  return false;
}

void productInto(const Matrix& a, const Matrix& b, Matrix& c) {
  const Vector& b0 = b[0];
  const Vector& b1 = b[1];
  const Vector& b2 = b[2];
  const size_t columns = b0.size();
  for (int i = 0; i < a.rowCount(); ++i) {
    const Vector& ai = a[i];
    Vector& ci = c[i];
    for (size_t j = 0; j < columns; ++j) ci[j] = ai[0] * b0[j] + ai[1] * b1[j] + ai[2] * b2[j];
  }
}

}  // namespace

void product(const Matrix& a, const Matrix& b, Matrix& c) {
  if (!sharesStorage(c, a) && !sharesStorage(c, b)) {
    productInto(a, b, c);
    return;
  }
  // The output is an input (or shares a row with one): compute aside, then copy.
  Matrix result(a.rowCount(), b.columnCount());
  productInto(a, b, result);
  copyMatrix(c, result, 0, a.rowCount() - 1, 0, b.columnCount() - 1);
}

// --- Gauss-Jordan ---

namespace {

// In-place Gauss-Jordan elimination with full pivoting on `inv` (which holds a copy of A), with
// the right-hand side `x` following the row operations when given.
GaussJordanResult eliminate(Matrix& inverse, Vector* x, int lb, int ub) {
  GaussJordanResult result;
  if (ub < lb) return result;
  std::vector<double*> rows = rowPointers(inverse, ub + 1);
  const size_t n = static_cast<size_t>(ub - lb + 1);
  IntVector pivotRow(n);
  IntVector pivotColumn(n);
  Vector temp(static_cast<size_t>(ub) + 1);
  for (int k = lb; k <= ub; ++k) {
    int pr = k;
    int pc = k;
    double pivot = rows[k][k];
    for (int i = k; i <= ub; ++i) {
      for (int j = k; j <= ub; ++j) {
        if (std::fabs(rows[i][j]) > std::fabs(pivot)) {
          pivot = rows[i][j];
          pr = i;
          pc = j;
        }
      }
    }
    // A non-finite pivot would spread NaN through every result: treat it like a null one.
    if (!std::isfinite(pivot) || std::fabs(pivot) < kPivotThreshold) {
      result.status = LinearStatus::Singular;
      return result;
    }
    pivotRow[static_cast<size_t>(k - lb)] = pr;
    pivotColumn[static_cast<size_t>(k - lb)] = pc;
    result.determinant *= pivot;
    if (pr != k) {
      result.determinant = -result.determinant;
      swapRows(inverse, pr, k, lb, ub);
      if (x != nullptr) std::swap((*x)[pr], (*x)[k]);
    }
    if (pc != k) {
      result.determinant = -result.determinant;
      for (int m = lb; m <= ub; ++m) std::swap(rows[m][pc], rows[m][k]);
    }
    for (int m = lb; m <= ub; ++m) {
      temp[m] = rows[m][k];
      rows[m][k] = 0.0;
    }
    temp[k] = 0.0;
    rows[k][k] = 1.0;
    double* rowK = rows[k];
    for (int j = lb; j <= ub; ++j) rowK[j] /= pivot;
    if (x != nullptr) (*x)[k] /= pivot;
    for (int m = lb; m <= ub; ++m) {
      const double factor = temp[m];
      if (m == k) continue;
      double* rowM = rows[m];
      for (int j = lb; j <= ub; ++j) rowM[j] -= factor * rowK[j];
      if (x != nullptr) (*x)[m] -= factor * (*x)[k];
    }
  }
  for (int k = ub; k >= lb; --k) {
    const int c = pivotColumn[static_cast<size_t>(k - lb)];
    if (c == k) continue;
    swapRows(inverse, k, c, lb, ub);
    if (x != nullptr) std::swap((*x)[k], (*x)[c]);
  }
  for (int k = ub; k >= lb; --k) {
    const int r = pivotRow[static_cast<size_t>(k - lb)];
    if (r != k) swapColumns(inverse, k, r, lb, ub);
  }
  return result;
}

}  // namespace

GaussJordanResult gaussJordan(const Matrix& a, const Vector& b, int lb, int ub, Matrix& inverse,
                              Vector& x) {
  copyMatrix(inverse, a, lb, ub, lb, ub);
  copyVector(x, b, lb, ub);
  return eliminate(inverse, &x, lb, ub);
}

LinearStatus invertMatrix(const Matrix& a, int lb, int ub, Matrix& inverse) {
  copyMatrix(inverse, a, lb, ub, lb, ub);
  return eliminate(inverse, nullptr, lb, ub).status;
}

// --- Singular value decomposition ---
//
// Golub and Reinsch (1970): Householder reduction to bidiagonal form, accumulation of the right
// then the left transformations, and implicitly shifted QR sweeps on the bidiagonal matrix. The
// left accumulation starts at min(ub1, ub2), so matrices with fewer rows than columns work too.

namespace {

// Working state of one decomposition; rows of A and V as raw pointers.
struct Svd {
  std::vector<double*> a;
  std::vector<double*> v;
  double* w;
  Vector e;  // superdiagonal of the bidiagonal form
  int lb;
  int m;  // last row of A
  int n;  // last column of A
  double anorm = 0.0;

  [[nodiscard]] bool negligible(double x) const { return std::fabs(x) + anorm == anorm; }

  // Householder transformations: A becomes bidiagonal, diagonal in w and superdiagonal in e.
  void bidiagonalize() {
    double g = 0.0;
    double scale = 0.0;
    for (int i = lb; i <= n; ++i) {
      const int l = i + 1;
      e[i] = scale * g;
      g = 0.0;
      scale = 0.0;
      if (i <= m) {
        for (int k = i; k <= m; ++k) scale += std::fabs(a[k][i]);
        if (scale != 0.0) g = reflectColumn(i, l, scale);
      }
      w[i] = scale * g;
      g = 0.0;
      scale = 0.0;
      if (i <= m && i != n) {
        for (int k = l; k <= n; ++k) scale += std::fabs(a[i][k]);
        if (scale != 0.0) g = reflectRow(i, l, scale);
      }
      anorm = fmath::maximum(anorm, std::fabs(w[i]) + std::fabs(e[i]));
    }
  }

  // Left reflection zeroing column i below the diagonal; returns the new diagonal / scale.
  double reflectColumn(int i, int l, double scale) {
    double s = 0.0;
    for (int k = i; k <= m; ++k) {
      a[k][i] /= scale;
      s += a[k][i] * a[k][i];
    }
    const double f = a[i][i];
    const double g = -fmath::signTransfer(f, std::sqrt(s));
    const double h = f * g - s;
    a[i][i] = f - g;
    for (int j = l; j <= n; ++j) {
      double sum = 0.0;
      for (int k = i; k <= m; ++k) sum += a[k][i] * a[k][j];
      const double factor = sum / h;
      for (int k = i; k <= m; ++k) a[k][j] += factor * a[k][i];
    }
    for (int k = i; k <= m; ++k) a[k][i] *= scale;
    return g;
  }

  // Right reflection zeroing row i right of the superdiagonal; returns the new superdiagonal.
  double reflectRow(int i, int l, double scale) {
    double s = 0.0;
    for (int k = l; k <= n; ++k) {
      a[i][k] /= scale;
      s += a[i][k] * a[i][k];
    }
    const double f = a[i][l];
    const double g = -fmath::signTransfer(f, std::sqrt(s));
    const double h = f * g - s;
    a[i][l] = f - g;
    for (int k = l; k <= n; ++k) e[k] = a[i][k] / h;
    for (int j = l; j <= m; ++j) {
      double sum = 0.0;
      for (int k = l; k <= n; ++k) sum += a[j][k] * a[i][k];
      for (int k = l; k <= n; ++k) a[j][k] += sum * e[k];
    }
    for (int k = l; k <= n; ++k) a[i][k] *= scale;
    return g;
  }

  void accumulateRight() {
    int l = n + 1;
    double g = 0.0;
    for (int i = n; i >= lb; --i) {
      if (i < n) {
        if (g != 0.0) {
          for (int j = l; j <= n; ++j) v[j][i] = (a[i][j] / a[i][l]) / g;
          for (int j = l; j <= n; ++j) {
            double s = 0.0;
            for (int k = l; k <= n; ++k) s += a[i][k] * v[k][j];
            for (int k = l; k <= n; ++k) v[k][j] += s * v[k][i];
          }
        }
        for (int j = l; j <= n; ++j) {
          v[i][j] = 0.0;
          v[j][i] = 0.0;
        }
      }
      v[i][i] = 1.0;
      g = e[i];
      l = i;
    }
  }

  void accumulateLeft() {
    for (int i = fmath::minimum(m, n); i >= lb; --i) {
      const int l = i + 1;
      double g = w[i];
      for (int j = l; j <= n; ++j) a[i][j] = 0.0;
      if (g != 0.0) {
        g = 1.0 / g;
        for (int j = l; j <= n; ++j) {
          double s = 0.0;
          for (int k = l; k <= m; ++k) s += a[k][i] * a[k][j];
          const double f = (s / a[i][i]) * g;
          for (int k = i; k <= m; ++k) a[k][j] += f * a[k][i];
        }
        for (int j = i; j <= m; ++j) a[j][i] *= g;
      } else {
        for (int j = i; j <= m; ++j) a[j][i] = 0.0;
      }
      a[i][i] += 1.0;
    }
  }

  // Plane rotation of columns c1 and c2 of the rows first..last of `rows`.
  static void rotate(std::vector<double*>& rows, int first, int last, int c1, int c2, double c,
                     double s) {
    for (int j = first; j <= last; ++j) {
      const double y = rows[j][c1];
      const double z = rows[j][c2];
      rows[j][c1] = y * c + z * s;
      rows[j][c2] = z * c - y * s;
    }
  }

  // Index l where the bidiagonal splits above k; sets `cancel` when w[l - 1] is negligible.
  int splitIndex(int k, bool& cancel) const {
    for (int l = k; l >= lb; --l) {
      if (l == lb || negligible(e[l])) {
        cancel = false;
        return l;
      }
      if (negligible(w[l - 1])) {
        cancel = true;
        return l;
      }
    }
    cancel = false;
    return lb;
  }

  // Zeroes e[l..k] by rotations when w[l - 1] is negligible.
  void cancelSuperdiagonal(int l, int k) {
    const int nm = l - 1;
    double c = 0.0;
    double s = 1.0;
    for (int i = l; i <= k; ++i) {
      const double f = s * e[i];
      e[i] = c * e[i];
      if (negligible(f)) break;
      const double g = w[i];
      double h = fmath::hypotenuse(f, g);
      w[i] = h;
      h = 1.0 / h;
      c = g * h;
      s = -f * h;
      rotate(a, lb, m, nm, i, c, s);
    }
  }

  // One implicitly shifted QR sweep on rows l..k of the bidiagonal matrix.
  void qrSweep(int l, int k) {
    double x = w[l];
    const int nm = k - 1;
    double y = w[nm];
    double g = e[nm];
    double h = e[k];
    double z = w[k];
    double f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0 * h * y);
    g = fmath::hypotenuse(f, 1.0);
    f = ((x - z) * (x + z) + h * ((y / (f + fmath::signTransfer(f, g))) - h)) / x;
    double c = 1.0;
    double s = 1.0;
    for (int j = l; j <= nm; ++j) {
      const int i = j + 1;
      g = e[i];
      y = w[i];
      h = s * g;
      g = c * g;
      z = fmath::hypotenuse(f, h);
      e[j] = z;
      c = f / z;
      s = h / z;
      f = x * c + g * s;
      g = g * c - x * s;
      h = y * s;
      y *= c;
      rotate(v, lb, n, j, i, c, s);
      z = fmath::hypotenuse(f, h);
      w[j] = z;
      if (z != 0.0) {
        z = 1.0 / z;
        c = f * z;
        s = h * z;
      }
      f = c * g + s * y;
      x = c * y - s * g;
      rotate(a, lb, m, j, i, c, s);
    }
    e[l] = 0.0;
    e[k] = f;
    w[k] = x;
  }

  // Diagonalises the bidiagonal matrix, value by value from the last; false when value k has
  // not split off after kMaxSweeps sweeps.
  bool diagonalize(int& failedIndex) {
    for (int k = n; k >= lb; --k) {
      for (int sweeps = 0;; ++sweeps) {
        bool cancel = false;
        const int l = splitIndex(k, cancel);
        if (cancel) cancelSuperdiagonal(l, k);
        if (l == k) {
          makeNonNegative(k);
          break;
        }
        if (sweeps == kMaxSweeps) {
          failedIndex = k;
          return false;
        }
        qrSweep(l, k);
      }
    }
    return true;
  }

  void makeNonNegative(int k) {
    if (w[k] >= 0.0) return;
    w[k] = -w[k];
    for (int j = lb; j <= n; ++j) v[j][k] = -v[j][k];
  }
};

}  // namespace

SvdStatus singularValueDecomposition(Matrix& a, int lb, int ub1, int ub2, Vector& w, Matrix& v) {
  if (ub1 < lb || ub2 < lb) return SvdStatus::Ok;
  Svd svd{rowPointers(a, ub1 + 1),
          rowPointers(v, ub2 + 1),
          w.data(),
          Vector(static_cast<size_t>(ub2) + 1),
          lb,
          ub1,
          ub2};
  svd.bidiagonalize();
  svd.accumulateRight();
  svd.accumulateLeft();
  int failedIndex = 0;
  if (svd.diagonalize(failedIndex)) return SvdStatus::Ok;
  return failedIndex == 0 ? SvdStatus::FirstValueNotConverged
                          : static_cast<SvdStatus>(-failedIndex);
}

void cutSmallValues(Vector& w, int lb, int ub, double tolerance) {
  if (ub < lb) return;
  const double threshold = tolerance * vectorMaximum(w, lb, ub);
  for (int i = lb; i <= ub; ++i) {
    if (w[i] < threshold) w[i] = 0.0;
  }
}

}  // namespace plk
