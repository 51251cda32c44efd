// What the cutpoint entry quorval(N, K, y, c, m, t, s) returns: K + 1
// doubles, the K proposed cutpoints, then the decision, 100 where the
// proposal was accepted and 0 where it was rejected. Read by the entry that
// writes it and by the chain driver that calls it (R reads it through
// .qv_cutpoint_result() in R/cutpoint_step.R).
#pragma once

namespace ordinal {

constexpr double kCutpointAccepted = 100.0;
constexpr double kCutpointRejected = 0.0;

// The proposed cutpoint j (0-based) of a result for k cutpoints.
inline double proposed_cutpoint(const double* result, int j) { return result[j]; }

inline bool cutpoint_accepted(const double* result, int k) { return result[k] == kCutpointAccepted; }

}  // namespace ordinal
