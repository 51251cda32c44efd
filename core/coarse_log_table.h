// ln(k * 2^-15) for k = 1 ... 32767, and 0 for k = 0 (a coarse uniform of
// exactly 0 takes no logarithm). Filled on first use with the same log() the
// direct formula would call, so a lookup gives the identical double.
#pragma once

namespace core {

struct CoarseLogTable {
  double value[32768];
  int ready;
};

// The library's table, filled if it is not yet.
const double* coarse_log_table();

}  // namespace core
