#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

// Dynamic vectors and matrices of doubles with inclusive index ranges chosen by the caller, so
// that one routine serves a whole matrix or a block of it. Outputs are allocated by the caller
// with the right size; only the make* functions resize.
namespace plk {

using Vector = std::vector<double>;
using IntVector = std::vector<std::int32_t>;

// A matrix is a list of row vectors. Copies are deep; a row can be shared on purpose with
// shareRow(), and writing through one matrix then shows in the other (the robust estimator
// builds its point-pair matrix that way without copying).
class Matrix {
 public:
  Matrix() = default;
  Matrix(int rowCount, int columnCount);  // zero-filled
  Matrix(const Matrix& other);
  Matrix& operator=(const Matrix& other);
  Matrix(Matrix&&) noexcept = default;
  Matrix& operator=(Matrix&&) noexcept = default;
  ~Matrix() = default;

  [[nodiscard]] Vector& operator[](int i) { return *rows_[static_cast<std::size_t>(i)]; }
  [[nodiscard]] const Vector& operator[](int i) const {
    return *rows_[static_cast<std::size_t>(i)];
  }
  [[nodiscard]] int rowCount() const { return static_cast<int>(rows_.size()); }
  // Length of row 0; 0 for an empty matrix.
  [[nodiscard]] int columnCount() const;

  // Makes row i refer to the same storage as row j of `source`.
  void shareRow(int i, const Matrix& source, int j);
  [[nodiscard]] bool sharesRow(int i, const Matrix& other, int j) const;

 private:
  std::vector<std::shared_ptr<Vector>> rows_;
};

// Typed status of the Gauss-Jordan routines.
enum class LinearStatus : std::int32_t {
  Ok = 0,         // solved
  Singular = -1,  // a pivot below 2^-52 in absolute value, or not finite
};

// Status of the singular value decomposition: 0, or -k when singular value k has not split off
// after 30 QR sweeps. Index 0 cannot be written as -0, so it has its own code.
enum class SvdStatus : std::int32_t {
  Ok = 0,
  FirstValueNotConverged = INT32_MIN,
};

// --- Creation: every new element is 0. ---

// Length ub + 1; ub < 0 empties the vector.
void makeVector(Vector& v, int ub);
void makeIntVector(IntVector& v, int ub);
// ub1 + 1 rows of ub2 + 1 columns; a negative bound empties the matrix.
void makeMatrix(Matrix& m, int ub1, int ub2);

// --- Element-wise over the length of `a`; `c` may be an operand. ---

void vectorSqrt(const Vector& a, Vector& c);
void vectorSum(const Vector& a, const Vector& b, Vector& c);
void vectorProduct(const Vector& a, const Vector& b, Vector& c);
void vectorQuotient(const Vector& a, const Vector& b, Vector& c);
void vectorMinusScalar(const Vector& a, double x, Vector& c);
// Sum divided by the length (NaN for an empty vector, by floating-point rules).
[[nodiscard]] double vectorMean(const Vector& a);

// --- Block and copy operations on inclusive ranges. ---

void copyVector(Vector& dest, const Vector& src, int lb, int ub);
void copyMatrix(Matrix& dest, const Matrix& src, int lb1, int ub1, int lb2, int ub2);
void setColumn(Matrix& m, const Vector& v, int lb, int ub, int column);
void getColumn(Vector& v, const Matrix& m, int lb, int ub, int column);
// dest[j][i] = src[i][j] for i in lb1..ub1, j in lb2..ub2.
void transposeBlock(const Matrix& src, Matrix& dest, int lb1, int ub1, int lb2, int ub2);
void swapRows(Matrix& m, int r1, int r2, int lb, int ub);
void swapColumns(Matrix& m, int c1, int c2, int lb, int ub);
[[nodiscard]] double vectorMaximum(const Vector& v, int lb, int ub);
// Fills the matrix row by row (rows as long as row 0) from the vector, and the reverse.
void vectorToMatrix(const Vector& v, Matrix& m);
void matrixToVector(const Matrix& m, Vector& v);
// Fills the matrix row by row from a list of constants.
void valuesToMatrix(Matrix& m, std::initializer_list<double> values);
// C = A * B for A with exactly 3 columns and B with 3 rows. C may be A or B, or share rows with
// them: the product is then computed aside before it is written.
void product(const Matrix& a, const Matrix& b, Matrix& c);

// --- Linear algebra. ---

struct GaussJordanResult {
  LinearStatus status = LinearStatus::Ok;
  double determinant = 1.0;
};

// Solves A x = b over lb..ub by Gauss-Jordan elimination with full pivoting and writes the
// inverse of A. A is unchanged. A pivot below 2^-52 in absolute value, or not finite, gives
// Singular; the outputs then hold the partly reduced values.
[[nodiscard]] GaussJordanResult gaussJordan(const Matrix& a, const Vector& b, int lb, int ub,
                                            Matrix& inverse, Vector& x);
// Inverse of A over lb..ub, same elimination.
[[nodiscard]] LinearStatus invertMatrix(const Matrix& a, int lb, int ub, Matrix& inverse);

// Golub-Reinsch singular value decomposition of rows lb..ub1 and columns lb..ub2 of A, any
// shape: A is overwritten by U (same shape), W (lb..ub2) receives the singular values, unsorted
// and non-negative, and V (lb..ub2 square) the right singular vectors as columns, so that
// A = U diag(W) V^T.
[[nodiscard]] SvdStatus singularValueDecomposition(Matrix& a, int lb, int ub1, int ub2, Vector& w,
                                                   Matrix& v);

// Sets W[i] to 0 wherever W[i] < tolerance * max(W[lb..ub]).
void cutSmallValues(Vector& w, int lb, int ub, double tolerance);

}  // namespace plk
