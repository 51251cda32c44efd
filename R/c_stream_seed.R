# Seeding the C library stream that quorval and vaskor draw from:
# c_stream_seed(seed) calls srand(seed) through the helper library crandseed.
#
# Each of quorval and vaskor also seeds a generator of its own from that
# stream at its first draw in the process, and continues it from then on.
# So seeding before a library's first draw fixes every draw it makes; a later
# re-seed repeats the C stream but not the libraries' own generators. For
# repeatable runs, seed once in a fresh process (as each worker of the
# ordinal probit demo does).

c_stream_seed <- function(seed) {
  fn <- "c_stream_seed"
  if (!is.numeric(seed) || length(seed) != 1L || is.na(seed) || seed < 0 ||
      seed > 4294967295 || seed != floor(seed)) {
    .qv_stop(fn, "'seed' must be a whole number in 0 ... 4294967295")
  }
  .qv_need_entry(fn, "crandseed", "crandseed")
  invisible(.Call("crandseed", as.double(seed), PACKAGE = "crandseed"))
}
