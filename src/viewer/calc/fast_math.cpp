#include "viewer/calc/fast_math.h"

#include <cmath>

// The loops below vectorise only with their selections made branch-free, which
// needs the rounding functions to count as free of floating-point traps.
#if !defined(__clang__)
#pragma GCC optimize("O3", "no-trapping-math")
#endif

namespace zephyrim {

namespace {

// pi/4 in three parts (the first two exact in few bits) so that x - q pi/4
// loses nothing for q below 2^17 or so.
constexpr double kDp1 = 7.85398125648498535156E-1;
constexpr double kDp2 = 3.77489470793079817668E-8;
constexpr double kDp3 = 2.69515142907905952645E-15;
constexpr double kFourOverPi = 1.27323954473516268615;
constexpr double kLimit = 65536.0;

inline double sin_poly(double z, double zz) {
  const double p =
      ((((1.58962301576546568060E-10 * zz - 2.50507477628578072866E-8) * zz + 2.75573136213857245213E-6) *
            zz -
        1.98412698295895385996E-4) *
           zz +
       8.33333333332211858878E-3) *
          zz -
      1.66666666666666307295E-1;
  return z + z * zz * p;
}

inline double cos_poly(double zz) {
  const double p =
      ((((-1.13585365213876817300E-11 * zz + 2.08757008419747316778E-9) * zz - 2.75573141792967388112E-7) *
            zz +
        2.48015872888517045348E-5) *
           zz -
       1.38888888888730564116E-3) *
          zz +
      4.16666666666665929218E-2;
  return 1.0 - 0.5 * zz + zz * zz * p;
}

// The octant (even, 0 to 6) and the reduced argument of |x|.
inline double reduce(double ax, double& octant) {
  double q = std::floor(ax * kFourOverPi);
  q += q - 2.0 * std::floor(q * 0.5);  // odd octants round up to the next even one
  octant = q - 8.0 * std::floor(q * 0.125);
  return ((ax - q * kDp1) - q * kDp2) - q * kDp3;
}

// Values the polynomial cannot take were left as they were (their magnitude is
// above 2, which no result comes near).
template <typename F>
void fix_large(double* v, int64_t n, F f) {
  for (int64_t k = 0; k < n; ++k)
    if (!(std::fabs(v[k]) <= 2.0)) v[k] = f(v[k]);
}

}  // namespace

// One copy per instruction set, chosen when the program starts; the loops are
// vectorised whatever the build's optimisation level.
#define ZEPHYRIM_VECTOR_KERNEL __attribute__((target_clones("avx512f", "avx2", "default")))

ZEPHYRIM_VECTOR_KERNEL void fast_sin_kernel(double* v, int64_t n) {
  for (int64_t k = 0; k < n; ++k) {
    const double x = v[k];
    const double ax = std::fabs(x);
    double octant;
    const double z = reduce(ax, octant);
    const double zz = z * z;
    const double s = sin_poly(z, zz), c = cos_poly(zz);
    // Selections without branches, so that the loop vectorises.
    const bool odd_quadrant = (octant == 2.0) | (octant == 6.0);
    const bool negative = (octant >= 4.0) ^ (x < 0);
    const double r = odd_quadrant ? c : s;
    const double signed_r = negative ? -r : r;
    v[k] = ax <= kLimit ? signed_r : x;
  }
}

ZEPHYRIM_VECTOR_KERNEL void fast_cos_kernel(double* v, int64_t n) {
  for (int64_t k = 0; k < n; ++k) {
    const double x = v[k];
    const double ax = std::fabs(x);
    double octant;
    const double z = reduce(ax, octant);
    const double zz = z * z;
    const double s = sin_poly(z, zz), c = cos_poly(zz);
    const bool odd_quadrant = (octant == 2.0) | (octant == 6.0);
    const bool negative = (octant == 2.0) | (octant == 4.0);
    const double r = odd_quadrant ? s : c;
    const double signed_r = negative ? -r : r;
    v[k] = ax <= kLimit ? signed_r : x;
  }
}

void fast_sin(double* values, int64_t n) {
  fast_sin_kernel(values, n);
  fix_large(values, n, [](double x) { return std::sin(x); });
}

void fast_cos(double* values, int64_t n) {
  fast_cos_kernel(values, n);
  fix_large(values, n, [](double x) { return std::cos(x); });
}

}  // namespace zephyrim
