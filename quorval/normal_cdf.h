// Twice the standard normal distribution function, 1 + erf(z / sqrt 2), from
// the incomplete gamma function at a = 1/2 (P(1/2, z^2/2) = erf(|z|/sqrt 2)).
// z is rounded to float first; the result is a double formed from the float
// P or Q. NaN, infinite or overflowing z (|z| from about 2.61e19) ends in the
// continued fraction's report.
#pragma once

namespace ordinal {

double norm(double z);

}  // namespace ordinal
