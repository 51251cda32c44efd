// core::onetn and core::trunom as the libraries define them (the samplers
// of core/truncated_normal.h on the C stream), but drawing from the fuzz
// targets' budgeted source: the fuzz targets link this file in place of
// core/sampler.cpp. A draw that runs out of budget reports its bounds.
#include <cstdlib>
#include <vector>

#include "budgeted_source.h"
#include "fuzz_input.h"
#include "generator.h"
#include "sampler.h"
#include "truncated_normal.h"

namespace qv_fuzz {

BudgetedSource& fuzz_source() {
  static BudgetedSource source;
  return source;
}

BudgetedSource& start_sampler_input(FuzzInput& input) {
  static std::vector<std::uint8_t> script;
  const unsigned seed = input.next_seed();
  script.clear();
  if (input.next_bool()) {
    while (input.remaining() > 0) script.push_back(input.next_byte());
  }
  std::srand(seed);
  core::reset_generator_for_testing();
  BudgetedSource& source = fuzz_source();
  source.arm(kDrawBudget, script.data(), script.size());
  return source;
}

}  // namespace qv_fuzz

namespace core {

double onetn(double x) { return onetn_with(qv_fuzz::fuzz_source(), x); }

double trunom(double as, double bl) {
  try {
    return trunom_with(qv_fuzz::fuzz_source(), as, bl);
  } catch (qv_fuzz::DrawBudgetExceeded& out_of_budget) {
    out_of_budget.as = as;
    out_of_budget.bl = bl;
    throw;
  }
}

}  // namespace core
