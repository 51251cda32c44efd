#!/usr/bin/env bash
# Installs what the build and the tests need and a fresh machine lacks
# (Debian packages). As root it installs them; otherwise it prints the line to run.
#   tools/setup.sh         the build and the tests
#   tools/setup.sh bench   also what `make bench` needs: Google Benchmark for
#                          the native micro-benchmark and the R peers it
#                          compares with (brms with rstan unless QV_BENCH_SKIP
#                          names brms; Debian's BH ships without its headers,
#                          so rstan then gets BH from CRAN; MCMCglmm, which
#                          Debian lacks, from CRAN too)
#   tools/setup.sh fuzz    also clang-14 and its libFuzzer runtime for `make fuzz`
set -euo pipefail
mode="${1:-}"
case "$mode" in
  ""|bench|fuzz) ;;
  *) echo "setup: unknown mode '$mode' (expected nothing, bench or fuzz)" >&2; exit 2 ;;
esac

debs=()
[ -f /usr/include/gtest/gtest.h ] || debs+=(libgtest-dev)
command -v cmake >/dev/null || debs+=(cmake)

# R packages the tests use, by Debian package name.
need_r_package() {
  Rscript -e "quit(status = !requireNamespace('$1', quietly = TRUE))" >/dev/null 2>&1 || debs+=("$2")
}
need_r_package testthat r-cran-testthat
# lme4 builds the group terms of oprobit_mcmc(); ordinal is its tests' peer.
need_r_package lme4 r-cran-lme4
need_r_package ordinal r-cran-ordinal
need_r_package tmvtnorm r-cran-tmvtnorm
need_r_package coda r-cran-coda
need_r_package quadprog r-cran-quadprog
# The diagnostics of oprobit_mcmc() (an import), and its loo() method.
need_r_package posterior r-cran-posterior
need_r_package loo r-cran-loo
# The vignette, for R CMD build and R CMD check.
need_r_package knitr r-cran-knitr
need_r_package rmarkdown r-cran-rmarkdown
command -v pandoc >/dev/null || debs+=(pandoc)
if [ "$mode" = bench ]; then
  [ -f /usr/include/benchmark/benchmark.h ] || debs+=(libbenchmark-dev)
  need_r_package truncnorm r-cran-truncnorm
  need_r_package msm r-cran-msm
  need_r_package MCMCpack r-cran-mcmcpack
  need_r_package bayesm r-cran-bayesm
  need_r_package carData r-cran-cardata
  # MCMCglmm (the group terms' peer) is not packaged by Debian: its
  # dependencies are, it comes from CRAN below.
  need_r_package corpcor r-cran-corpcor
  need_r_package cubature r-cran-cubature
  need_r_package tensorA r-cran-tensora
  need_r_package ape r-cran-ape
  case ",${QV_BENCH_SKIP:-}," in
    *,brms,*) ;;
    *) need_r_package brms r-cran-brms ;;
  esac
fi

if [ "$mode" = fuzz ]; then
  command -v clang++-14 >/dev/null || debs+=(clang-14)
  ls /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 ||
    debs+=(libclang-rt-14-dev)
fi

if [ ${#debs[@]} -gt 0 ]; then
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
fi

if [ "$mode" = bench ] && ! Rscript -e "quit(status = !requireNamespace('MCMCglmm', quietly = TRUE))" >/dev/null 2>&1; then
  install_mcmcglmm='install.packages("MCMCglmm", lib = .libPaths()[1], repos = "https://cloud.r-project.org")'
  if [ -w "$(Rscript -e 'cat(.libPaths()[1])')" ]; then
    echo "setup: installing MCMCglmm from CRAN"
    Rscript -e "$install_mcmcglmm"
  else
    echo "setup: the bench's MCMCglmm comes from CRAN; run as root: Rscript -e '$install_mcmcglmm'" >&2
    exit 1
  fi
fi

# rstan compiles its models against BH's Boost headers, which Debian's BH
# package leaves out: BH from CRAN then, into the site library R searches first.
if [ "$mode" = bench ] && Rscript -e "quit(status = !requireNamespace('rstan', quietly = TRUE))" >/dev/null 2>&1 &&
   ! Rscript -e "quit(status = !dir.exists(system.file('include', 'boost', package = 'BH')))" >/dev/null 2>&1; then
  install_bh='install.packages("BH", lib = .libPaths()[1])'
  if [ -w "$(Rscript -e 'cat(.libPaths()[1])')" ]; then
    echo "setup: installing BH (Boost headers for rstan) from CRAN"
    Rscript -e "$install_bh"
  else
    echo "setup: rstan needs BH's headers; run as root: Rscript -e '$install_bh'" >&2
    exit 1
  fi
fi
