#include "coarse_log_table.h"

#include <cmath>

#include "rand15.h"

namespace core {
namespace {

CoarseLogTable g_log_table;

}  // namespace

const double* coarse_log_table() {
  if (!g_log_table.ready) {
    g_log_table.value[0] = 0.0;
    for (int k = 1; k < 32768; ++k) {
      const double v = k * kCoarseUniformScale;
      g_log_table.value[k] = std::log(v);
    }
    g_log_table.ready = 1;
  }
  return g_log_table.value;
}

}  // namespace core
