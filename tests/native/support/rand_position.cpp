#include "rand_position.h"

#include <cstdlib>

namespace qv_test {

RandStream::RandStream(unsigned seed, int lookahead) : seed_(seed) {
  std::srand(seed_);
  values_.reserve(lookahead);
  for (int i = 0; i < lookahead; ++i) values_.push_back(std::rand());
  std::srand(seed_);
}

void RandStream::restart() const { std::srand(seed_); }

int RandStream::consumed() const {
  const int next = std::rand();
  for (int i = 0; i < static_cast<int>(values_.size()); ++i) {
    if (values_[i] == next) return i;
  }
  return -1;
}

int rand_values_consumed(unsigned seed, const std::function<void()>& operation) {
  RandStream stream(seed);
  stream.restart();
  operation();
  return stream.consumed();
}

}  // namespace qv_test
