// Value checks of mvtrnorms, made before its first draw when it will draw:
// each fault is an R error naming the entry, the argument, the element and
// what was expected. Past them the sweeps meet no value that is not a number
// or infinite, apart from the end values -Inf and +Inf.
#pragma once

namespace vaskor {

// Lower triangle of the n * n column-major matrix a: a positive finite
// diagonal and finite entries below it. The upper triangle is not looked at.
void check_gibbs_matrix(int n, const double* a);

// m[0] ... m[n-1] finite.
void check_gibbs_location(int n, const double* m);

// x[2] ... x[n] finite (x[1], the first component, is replaced unread); the
// ends x[0] and x[n+1] numbers, x[0] below +Inf and x[n+1] above -Inf.
void check_gibbs_start(int n, const double* x);

}  // namespace vaskor
