// The C library stream without its lock: an entry checks the stream out
// once, draws from the C library's own state array lock-free, and checks it
// back in, after which rand() continues exactly where it would have.
//
//   c_stream_check_out()  at an entry's start, after its last R allocation
//   c_stream_check_in()   at its end, before anything R may see
//   c_stream_hand_back()  before code outside the library runs (an interrupt
//                         check, the fatal reporter): checks in, says
//                         whether the stream was held
//   c_stream_take_back()  after such code has returned, when it was held
//
// On glibc, rand() is random(): an additive feedback generator over an array
// that the library owns, behind a lock on every call. setstate() hands over
// that array with the current position written into its header; a private
// random_data (setstate_r) reads the position of its two taps from it; the
// step below advances them as random() would; setstate_r() writes the
// position back and setstate() gives the array back to rand(). The step
// depends on the array's layout, so c_stream.cpp checks it at first use
// against rand() itself, on a copy of the state, and falls back to rand()
// with its lock where the check fails, where the C library holds a state of
// another kind, and on any C library but glibc (where nothing is checked out).
//
// The checkout is plain data in static storage, one per library: an
// interrupt or an R error may jump over any frame that draws, and nothing
// needs undoing there but the check-in, which the interrupt poll and the
// fatal reporter make first (interrupt.h, fatal.h). The pointers to the
// check-in and check-out are set by the first check-out; a library that never
// checks the stream out (quorval2) leaves them empty and never holds it.
#pragma once

#include <cstdint>
#include <cstdlib>

#if defined(__GLIBC__) && RAND_MAX == 2147483647
#define QV_C_STREAM_LOCK_FREE 1
#else
#define QV_C_STREAM_LOCK_FREE 0
#endif

namespace core {

struct CStreamCheckout {
  std::uint32_t* front;  // the tap that takes the sum: the next value's word
  std::uint32_t* rear;   // the tap added to it
  std::uint32_t* begin;  // the C library's state words
  std::uint32_t* end;
  bool held;             // checked out: rand15() steps the taps here
  void (*check_in)();
  void (*check_out)();
};

inline CStreamCheckout g_c_stream = {};

// One step of the additive generator: the front word takes the rear word's
// sum (mod 2^32), the value is its top 31 bits, and both taps move on,
// cyclically over the array.
inline int c_stream_step(CStreamCheckout& s) {
  const std::uint32_t sum = *s.front + *s.rear;
  *s.front = sum;
  if (++s.front == s.end) {
    s.front = s.begin;
    ++s.rear;
  } else if (++s.rear == s.end) {
    s.rear = s.begin;
  }
  return static_cast<int>(sum >> 1);
}

void c_stream_check_out();
void c_stream_check_in();

// Whether the step is in use: it passed its check against rand() (false
// before the first check-out and where the C library is not glibc).
bool c_stream_lock_free();

inline bool c_stream_hand_back() {
  if (!g_c_stream.held) return false;
  g_c_stream.check_in();
  return true;
}

inline void c_stream_take_back() { g_c_stream.check_out(); }

}  // namespace core
