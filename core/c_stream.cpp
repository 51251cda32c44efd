// Check-out and check-in of the C library stream (c_stream.h), and the check
// of the lock-free step against rand() at first use.
#include "c_stream.h"

#include <cstring>

#include <stdlib.h>

namespace core {

#if QV_C_STREAM_LOCK_FREE

namespace {

// glibc's largest state: a header word and 63 words of the generator.
constexpr int kStateWords = 64;
// The check draws this many values from a copy of the state, several turns
// of the largest array, and then this many more after a check-in.
constexpr int kCheckDraws = 256;
constexpr int kCheckContinuation = 64;

enum class Verdict { kUntried, kPassed, kFailed };

// Everything the checkout needs besides the taps: plain data, static.
struct LibraryStream {
  random_data view;  // reads the C library's array while checked out
  char* library_array;  // what setstate() handed over: rand()'s own array
  Verdict verdict;
  int type, degree, separation;  // the state's kind that passed the check
  // rand() runs on rand_spare while the stream is out; the view rests on
  // view_spare while it is in. Both are made valid states once, at first use
  // (a view never set up would be written through a null pointer).
  std::int32_t rand_spare[kStateWords];
  std::int32_t view_spare[kStateWords];
  std::int32_t trial[2][kStateWords];
  std::int32_t drawn[kCheckDraws + kCheckContinuation];
};

LibraryStream g_library;

char* as_state(std::int32_t* words) { return reinterpret_cast<char*>(words); }

// The view's taps, as the step reads them.
void load_taps(const random_data& view, CStreamCheckout* s) {
  s->front = reinterpret_cast<std::uint32_t*>(view.fptr);
  s->rear = reinterpret_cast<std::uint32_t*>(view.rptr);
  s->begin = reinterpret_cast<std::uint32_t*>(view.state);
  s->end = reinterpret_cast<std::uint32_t*>(view.end_ptr);
}

void store_taps(const CStreamCheckout& s, random_data* view) {
  view->fptr = reinterpret_cast<std::int32_t*>(s.front);
  view->rptr = reinterpret_cast<std::int32_t*>(s.rear);
}

// An additive generator that the step can follow: not the plain congruential
// kind 0, taps inside an array of at most kStateWords - 1 words.
bool additive(const random_data& view) {
  return view.rand_type != 0 && view.rand_deg > view.rand_sep && view.rand_sep > 0 &&
         view.rand_deg < kStateWords && view.end_ptr == view.state + view.rand_deg;
}

bool same_kind(const random_data& view) {
  return view.rand_type == g_library.type && view.rand_deg == g_library.degree &&
         view.rand_sep == g_library.separation;
}

// Writes the view's position into the header of the array it reads (setstate_r
// saves the old array's position before it moves to the new one).
void write_back_position(const CStreamCheckout& taps) {
  store_taps(taps, &g_library.view);
  setstate_r(as_state(g_library.view_spare), &g_library.view);
}

// The step, run on one copy of `library`'s state, against rand() run on
// another: the same values in the same order, and a rand() after the check-in
// of the first copy continues exactly as rand() on the second. The view reads
// `library` on entry; rand() runs on rand_spare and is left there.
bool step_matches_rand(char* library, int words) {
  std::int32_t* stepped = g_library.trial[0];
  std::int32_t* reference = g_library.trial[1];
  std::memcpy(stepped, library, sizeof(std::int32_t) * words);
  std::memcpy(reference, library, sizeof(std::int32_t) * words);

  if (setstate_r(as_state(stepped), &g_library.view) != 0 || !same_kind(g_library.view)) {
    return false;
  }
  CStreamCheckout taps = {};
  load_taps(g_library.view, &taps);
  for (int i = 0; i < kCheckDraws; ++i) g_library.drawn[i] = c_stream_step(taps);
  write_back_position(taps);

  bool same = setstate(as_state(reference)) != nullptr;
  for (int i = 0; same && i < kCheckDraws; ++i) same = std::rand() == g_library.drawn[i];
  for (int i = kCheckDraws; same && i < kCheckDraws + kCheckContinuation; ++i) {
    g_library.drawn[i] = std::rand();
  }
  if (same) same = setstate(as_state(stepped)) != nullptr;
  for (int i = kCheckDraws; same && i < kCheckDraws + kCheckContinuation; ++i) {
    same = std::rand() == g_library.drawn[i];
  }
  return same;
}

void check_in() {
  if (!g_c_stream.held) return;
  g_c_stream.held = false;
  write_back_position(g_c_stream);
  setstate(g_library.library_array);
}

void check_out() {
  if (g_c_stream.held || g_library.verdict == Verdict::kFailed) return;
  if (g_library.verdict == Verdict::kUntried) {
    random_data scratch = {};
    initstate_r(1, as_state(g_library.view_spare), sizeof g_library.view_spare, &g_library.view);
    initstate_r(1, as_state(g_library.rand_spare), sizeof g_library.rand_spare, &scratch);
    g_c_stream.check_in = check_in;
    g_c_stream.check_out = check_out;
  }

  char* library = setstate(as_state(g_library.rand_spare));
  if (library == nullptr) return;
  if (setstate_r(library, &g_library.view) != 0 || !additive(g_library.view)) {
    // A state the step cannot follow (or none): rand() keeps it, with its lock.
    setstate_r(as_state(g_library.view_spare), &g_library.view);
    setstate(library);
    return;
  }
  if (g_library.verdict == Verdict::kUntried || !same_kind(g_library.view)) {
    // First use of this kind of state: check the step on copies of it. The
    // check leaves the library's array as it found it, so it draws nothing
    // from the stream.
    g_library.type = g_library.view.rand_type;
    g_library.degree = g_library.view.rand_deg;
    g_library.separation = g_library.view.rand_sep;
    const bool passed = step_matches_rand(library, g_library.degree + 1);
    setstate_r(as_state(g_library.view_spare), &g_library.view);
    setstate(library);
    g_library.verdict = passed ? Verdict::kPassed : Verdict::kFailed;
    if (!passed) return;
    // Check out again: the check moved rand() through the copies.
    library = setstate(as_state(g_library.rand_spare));
    if (library == nullptr) return;
    setstate_r(library, &g_library.view);
  }
  g_library.library_array = library;
  load_taps(g_library.view, &g_c_stream);
  g_c_stream.held = true;
}

}  // namespace

void c_stream_check_out() { check_out(); }
void c_stream_check_in() { check_in(); }
bool c_stream_lock_free() { return g_library.verdict == Verdict::kPassed; }

#else  // not glibc: rand() with its lock, nothing checked out

void c_stream_check_out() {}
void c_stream_check_in() {}
bool c_stream_lock_free() { return false; }

#endif

}  // namespace core
