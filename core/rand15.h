// The 15-bit source of the C library stream: values 0 ... 32767.
//
// This is the only place that reads the stream (c_stream.cpp, behind it,
// touches rand() only on copies of the state, to check its own step). Where
// RAND_MAX is 2^31 - 1 the top 15 of its 31 bits are used; where RAND_MAX is
// 32767, rand() itself. While an entry has the stream checked out
// (c_stream.h), the value is the same one rand() would give, drawn without
// the C library's lock; otherwise it is rand(). Nothing in the libraries ever seeds the stream: native code
// that wants a fixed sequence calls srand() before drawing.
#pragma once

#include <cstdlib>

#include "c_stream.h"

namespace core {

static_assert(RAND_MAX == 2147483647 || RAND_MAX == 32767,
              "the 15-bit source needs RAND_MAX of 2^31 - 1 or 32767");

inline int rand15() {
#if QV_C_STREAM_LOCK_FREE
  if (g_c_stream.held) return c_stream_step(g_c_stream) >> 16;
#endif
#if RAND_MAX == 2147483647
  return std::rand() >> 16;
#else
  return std::rand();
#endif
}

// The coarse uniform k / 32768 for k = rand15(): exactly 0 possible, never 1.
constexpr double kCoarseUniformScale = 0x1p-15;

}  // namespace core
