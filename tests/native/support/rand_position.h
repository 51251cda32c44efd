// Counting how many rand() values an operation consumed: fix the stream with
// srand(), record the values ahead, run the operation, then find the next
// rand() value in the record.
#pragma once

#include <functional>
#include <vector>

namespace qv_test {

class RandStream {
 public:
  explicit RandStream(unsigned seed, int lookahead = 100000);
  // Restarts the C library stream at the seed.
  void restart() const;
  // The number of rand() values consumed since restart(), read by taking one
  // more value; -1 when it is not within the lookahead.
  int consumed() const;
  // The k-th 15-bit value of the stream (rand() >> 16), counted from 0.
  int value15(int k) const { return values_[k] >> 16; }

 private:
  unsigned seed_;
  std::vector<int> values_;
};

// Runs `operation` on a stream restarted at `seed` and returns how many
// rand() values it consumed.
int rand_values_consumed(unsigned seed, const std::function<void()>& operation);

}  // namespace qv_test
