// Speed of the decomposition and of one homography refinement, against Eigen in the same run.

#include <benchmark/benchmark.h>

#include <Eigen/Dense>
#include <random>
#include <vector>

#include "numeric/matrices.h"
#include "numeric/optim.h"

namespace {

constexpr int kRows = 90;
constexpr int kColumns = 9;

plk::Matrix randomMatrix(int rows, int cols) {
  std::mt19937 engine(7);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  plk::Matrix m(rows, cols);
  for (int i = 0; i < rows; ++i) {
    for (int j = 0; j < cols; ++j) m[i][j] = dist(engine);
  }
  return m;
}

Eigen::MatrixXd toEigen(const plk::Matrix& m) {
  Eigen::MatrixXd e(m.rowCount(), m.columnCount());
  for (int i = 0; i < m.rowCount(); ++i) {
    for (int j = 0; j < m.columnCount(); ++j) e(i, j) = m[i][j];
  }
  return e;
}

void BM_SvdPlk(benchmark::State& state) {
  const plk::Matrix input = randomMatrix(kRows, kColumns);
  plk::Matrix a(kRows, kColumns);
  plk::Vector w(kColumns);
  plk::Matrix v(kColumns, kColumns);
  for (auto _ : state) {
    plk::copyMatrix(a, input, 0, kRows - 1, 0, kColumns - 1);
    benchmark::DoNotOptimize(plk::singularValueDecomposition(a, 0, kRows - 1, kColumns - 1, w, v));
    benchmark::DoNotOptimize(w.data());
  }
}
BENCHMARK(BM_SvdPlk);

template <typename Svd>
void runEigenSvd(benchmark::State& state) {
  const Eigen::MatrixXd input = toEigen(randomMatrix(kRows, kColumns));
  Svd svd(kRows, kColumns, Eigen::ComputeThinU | Eigen::ComputeThinV);
  for (auto _ : state) {
    svd.compute(input, Eigen::ComputeThinU | Eigen::ComputeThinV);
    benchmark::DoNotOptimize(svd.singularValues().data());
  }
}

void BM_SvdEigenJacobi(benchmark::State& state) {
  runEigenSvd<Eigen::JacobiSVD<Eigen::MatrixXd>>(state);
}
BENCHMARK(BM_SvdEigenJacobi);

void BM_SvdEigenBdc(benchmark::State& state) { runEigenSvd<Eigen::BDCSVD<Eigen::MatrixXd>>(state); }
BENCHMARK(BM_SvdEigenBdc);

// Sum of squared transfer distances of 50 pairs, noisy so that the minimum is not zero.
struct TransferCost {
  std::vector<double> px, py, qx, qy;

  double operator()(const plk::Vector& h) const {
    double sum = 0.0;
    for (std::size_t i = 0; i < px.size(); ++i) {
      const double w = h[6] * px[i] + h[7] * py[i] + h[8];
      const double du = (h[0] * px[i] + h[1] * py[i] + h[2]) / w - qx[i];
      const double dv = (h[3] * px[i] + h[4] * py[i] + h[5]) / w - qy[i];
      sum += du * du + dv * dv;
    }
    return sum;
  }
};

const plk::Vector kHomography{1.05, 0.02, 3.0, -0.03, 0.98, -2.0, 1e-4, -2e-4, 1.0};

TransferCost fiftyPairs() {
  std::mt19937 engine(11);
  std::uniform_real_distribution<double> position(0.0, 400.0);
  std::normal_distribution<double> noise(0.0, 0.3);
  TransferCost cost;
  const plk::Vector& h = kHomography;
  for (int i = 0; i < 50; ++i) {
    const double x = position(engine);
    const double y = position(engine);
    const double w = h[6] * x + h[7] * y + h[8];
    cost.px.push_back(x);
    cost.py.push_back(y);
    cost.qx.push_back((h[0] * x + h[1] * y + h[2]) / w + noise(engine));
    cost.qy.push_back((h[3] * x + h[4] * y + h[5]) / w + noise(engine));
  }
  return cost;
}

plk::Vector perturbedStart() {
  plk::Vector h = kHomography;
  h[0] += 0.01;
  h[2] -= 0.5;
  h[4] -= 0.01;
  h[7] += 5e-5;
  return h;
}

void BM_MarquardtHomography(benchmark::State& state) {
  plk::setOptimLogEnabled(false);
  const TransferCost cost = fiftyPairs();
  const plk::Objective objective = cost;
  plk::Matrix inverse(9, 9);
  int evaluations = 0;
  const plk::Objective counted = [&](const plk::Vector& x) {
    ++evaluations;
    return objective(x);
  };
  int status = 0;
  for (auto _ : state) {
    evaluations = 0;
    plk::Vector h = perturbedStart();
    const plk::MarquardtResult r =
        plk::marquardt(counted, plk::numericDerivatives, h, 0, 8, inverse, 100, 1e-10);
    status = static_cast<int>(r.status);
    benchmark::DoNotOptimize(r.minimum);
  }
  state.counters["evaluations"] = evaluations;
  state.counters["status"] = status;
  plk::setOptimLogEnabled(true);
}
BENCHMARK(BM_MarquardtHomography)->Unit(benchmark::kMicrosecond);

// The reference for the run above: one evaluation of the same objective.
void BM_TransferCostOnce(benchmark::State& state) {
  const TransferCost cost = fiftyPairs();
  const plk::Vector h = perturbedStart();
  for (auto _ : state) benchmark::DoNotOptimize(cost(h));
}
BENCHMARK(BM_TransferCostOnce);

}  // namespace
