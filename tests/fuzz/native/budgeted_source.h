// The random source of the samplers in the fuzz targets: the libraries' own
// C stream (rand15 and the subtractive generator), optionally preceded by a
// script of values that the fuzzer chooses, each mapped into the range the
// real source can produce. Every draw counts against a budget; past it the
// source throws DrawBudgetExceeded, so a rejection loop that does not end is
// caught and can be judged (slow_interval.h) instead of stalling the fuzzer.
//
// core::onetn and core::trunom of the fuzz targets (fuzz_sampler.cpp) draw
// from the one source that arm() prepares for each input.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "c_stream_source.h"

namespace qv_fuzz {

// Draws one input may take. A draw takes at least two per proposal, with
// room for the tail sampler's own rejections; an interval whose expected
// number of proposals is below kQuickAttempts runs out of this budget with
// a chance far below any fuzzing run's reach, so running out there is a
// hang, not bad luck.
constexpr long long kDrawBudget = 1000000;
constexpr double kQuickAttempts = kDrawBudget / 160.0;

struct DrawBudgetExceeded {
  double as;  // the bounds of the draw that ran out (NaN for a bare onetn)
  double bl;
};

class BudgetedSource {
 public:
  void arm(long long limit, const std::uint8_t* script, std::size_t script_size) {
    limit_ = limit;
    used_ = 0;
    script_ = script;
    script_left_ = script_size;
  }
  long long used() const { return used_; }

  double exponential() {
    count();
    std::uint32_t v;
    // -ln u for u = k * 1e-9, k = 1 ... 999,999,999, as the deviate makes it.
    if (take(&v, 4)) return -std::log(static_cast<double>(v % 999999999u + 1u) * 1e-9);
    return stream_.exponential();
  }
  double normal() {
    count();
    std::uint16_t v;
    // The polar method's deviates stay within about +-9.
    if (take(&v, 2)) return (static_cast<double>(v) - 32768.0) * (9.0 / 32768.0);
    return stream_.normal();
  }
  double proposal_uniform() {
    count();
    std::uint16_t v;
    if (take(&v, 2)) return (v & 0x7fff) * core::kCoarseUniformScale;
    return stream_.proposal_uniform();
  }
  double acceptance_log() {
    count();
    std::uint16_t v;
    if (take(&v, 2)) return stream_.log_table[v & 0x7fff];
    return stream_.acceptance_log();
  }

 private:
  void count() {
    if (++used_ > limit_) throw DrawBudgetExceeded{NAN, NAN};
  }
  bool take(void* out, std::size_t bytes) {
    if (script_left_ < bytes) return false;
    auto* target = static_cast<std::uint8_t*>(out);
    for (std::size_t i = 0; i < bytes; ++i) target[i] = script_[i];
    script_ += bytes;
    script_left_ -= bytes;
    return true;
  }

  core::CStreamSource stream_;
  const std::uint8_t* script_ = nullptr;
  std::size_t script_left_ = 0;
  long long used_ = 0;
  long long limit_ = 0;
};

// The source of core::onetn and core::trunom in the fuzz targets.
BudgetedSource& fuzz_source();

class FuzzInput;

// Reads a C-stream seed and an optional script from the rest of the input,
// seeds rand(), resets the generator and arms the source with the script and
// the full budget. The script lives until the next call.
BudgetedSource& start_sampler_input(FuzzInput& input);

}  // namespace qv_fuzz
