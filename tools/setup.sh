#!/usr/bin/env bash
# Installs what the build and the tests need and a fresh machine lacks
# (Debian packages). As root it installs them; otherwise it prints the line to run.
set -euo pipefail

debs=()
[ -f /usr/include/gtest/gtest.h ] || debs+=(libgtest-dev)
command -v cmake >/dev/null || debs+=(cmake)

# R packages the tests use, by Debian package name.
need_r_package() {
  Rscript -e "quit(status = !requireNamespace('$1', quietly = TRUE))" >/dev/null 2>&1 || debs+=("$2")
}
need_r_package testthat r-cran-testthat
need_r_package tmvtnorm r-cran-tmvtnorm

if [ ${#debs[@]} -eq 0 ]; then
  exit 0
fi
if [ "$(id -u)" -eq 0 ]; then
  echo "setup: installing ${debs[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y "${debs[@]}"
else
  echo "setup: missing packages; run as root:" >&2
  echo "  apt-get update && apt-get install -y ${debs[*]}" >&2
  exit 1
fi
