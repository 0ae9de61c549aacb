#pragma once
// Sine and cosine over arrays, in place, in a form the compiler vectorises:
// the library's scalar sin and cos run a branchy reduction per value and would
// take most of the time of an expression like SIN(TIME) over millions of points.
// Within a few units in the last place of std::sin and std::cos; arguments
// beyond 65536 in magnitude, infinities and NaN go through the library.
#include <cstdint>

namespace zephyrim {

void fast_sin(double* values, int64_t n);
void fast_cos(double* values, int64_t n);

}  // namespace zephyrim
