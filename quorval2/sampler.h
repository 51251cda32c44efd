// The truncated normal samplers of quorval2, drawing from R's generator.
// Neither loads nor stores R's generator state: the caller brackets them
// with GetRNGstate / PutRNGstate.
#pragma once

namespace quorval2 {

// A standard normal draw above x.
double onetn(double x);
// A standard normal draw between as and bl.
double trunom(double as, double bl);

}  // namespace quorval2
