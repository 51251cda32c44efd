#' Seed the C library stream of quorval and vaskor
#'
#' `quorval` and `vaskor` draw from the C library's `rand()` stream and from a
#' generator of their own that each seeds from that stream at its first
#' draw. `c_stream_seed()` makes their draws reproducible, as [set.seed()]
#' does for R's generator: it puts both libraries back in the state they have
#' when loaded (by loading them again) and then seeds the C stream with
#' `srand(seed)`. The same seed followed by the same calls gives the same
#' draws, also after earlier draws in the same session.
#'
#' Draws on R's stream (`stream = "r"` in [rtruncnorm_qv()]) are governed by
#' [set.seed()] instead.
#'
#' The C library takes seed 0 as seed 1: `c_stream_seed(0)` and
#' `c_stream_seed(1)` give the same draws. That is the stream's own mapping,
#' kept as it is so that a seed means the same stream everywhere; every
#' other seed gives a stream of its own.
#'
#' @param seed a whole number in 0 ... 4294967295 (0 gives the stream of 1).
#' @return `NULL`, invisibly.
#' @seealso [rtruncnorm_qv()], [cutpoint_step()], [ordered_gibbs()].
#' @examples
#' c_stream_seed(42)
#' a <- rtruncnorm_qv(3, lower = 0)
#' c_stream_seed(42)
#' b <- rtruncnorm_qv(3, lower = 0)
#' identical(a, b)
#' @export
c_stream_seed <- function(seed) {
  seed <- .qv_seed(seed, "c_stream_seed")
  .qv_reload(c("quorval", "vaskor"))
  invisible(.qv_call("crandseed", "crandseed", as.double(seed)))
}
