// Systematic-scan Gibbs sweeps over a normal vector kept in order between two
// fixed end values.
//
//   ordered_gibbs_sweeps(...)   the sweeps, drawing with the core's sampler on
//                               the C library stream
//
// In one sweep the inner components x[1] ... x[n] are visited in increasing
// order and each is replaced at once by a draw from the normal with centre
//   w_i = (sum over j != i, increasing j, of (x_j - m_j) * A_ij) / A_ii
// and reciprocal sd s_i = sqrt(A_ii), truncated to [x[i-1], x[i+1]]. x[0] and
// x[n+1] are the end values and are never changed. A_ij is the symmetric
// matrix read from the lower triangle and diagonal of the n * n column-major
// matrix a: the entry in row max(i, j), column min(i, j). The upper triangle
// is never read, and a is read in place (no copy).
#pragma once

#include <cmath>
#include <cstddef>

#include "interrupt.h"

namespace vaskor {

// Scratch doubles that the sweeps need for n components.
inline std::size_t sweep_scratch_size(int n) { return 2 * static_cast<std::size_t>(n); }

// Runs `sweeps` sweeps (none when sweeps < 1 or n < 1), drawing each standard
// normal truncated to [lo, hi] with draw(lo, hi), one call per update. Each
// update is an interruption point (core/interrupt.h).
//
// Assumes: a positive diagonal in a; x holds
// n + 2 doubles; m holds n doubles and is not read when n == 1; scratch holds
// sweep_scratch_size(n) doubles. Nothing here allocates.
template <class DrawFn>
void ordered_gibbs_sweeps_by(DrawFn&& draw, int n, int sweeps, const double* a, const double* m,
                             double* x, double* scratch) {
  if (n < 1 || sweeps < 1) return;
  const std::size_t size = static_cast<std::size_t>(n);
  double* root = scratch;         // sqrt(A_ii), the reciprocal sd of component i
  double* offset = scratch + n;   // x_j - m_j of the current state
  const bool tracks_offsets = n > 1;  // a single component never reads m
  for (std::size_t i = 0; i < size; ++i) root[i] = std::sqrt(a[i + i * size]);
  if (tracks_offsets) {
    for (std::size_t j = 0; j < size; ++j) offset[j] = x[j + 1] - m[j];
  }

  core::InterruptPoll interrupt_poll;
  for (int sweep = 0; sweep < sweeps; ++sweep) {
    for (std::size_t i = 0; i < size; ++i) {
      interrupt_poll.tick();
      // Component i + 1 of the state. Its A_ij: row i of a's lower triangle
      // for j < i, column i below the diagonal for j > i.
      const double* column = a + i * size;
      double sum = 0.0;
      for (std::size_t j = 0; j < i; ++j) sum += offset[j] * a[i + j * size];
      for (std::size_t j = i + 1; j < size; ++j) sum += offset[j] * column[j];
      const double centre = sum / column[i];
      const double s = root[i];
      const double lo = s * (x[i] - centre);
      const double hi = s * (x[i + 2] - centre);
      const double value = centre + draw(lo, hi) / s;
      x[i + 1] = value;
      if (tracks_offsets) offset[i] = value - m[i];
    }
  }
}

// The same with the draw given as a function.
template <double (*Draw)(double, double)>
void ordered_gibbs_sweeps_with(int n, int sweeps, const double* a, const double* m, double* x,
                               double* scratch) {
  ordered_gibbs_sweeps_by([](double lo, double hi) { return Draw(lo, hi); }, n, sweeps, a, m, x,
                          scratch);
}

// The sweeps of the library, on the C library stream and its generator.
void ordered_gibbs_sweeps(int n, int sweeps, const double* a, const double* m, double* x,
                          double* scratch);

}  // namespace vaskor
