# Front door. `make` builds the libraries into build/ (CMake), `make install`
# installs the R package, `make test` builds and runs every test, `make demo`
# installs the package privately and runs the main example, `make check`
# runs R CMD check on the package's tarball.
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= 2
RLIB ?= $(BUILD)/rlib
PKG_VERSION := $(shell sed -n 's/^Version: //p' DESCRIPTION)

.PHONY: all build setup test sanitize demo bench clean fuzz install rlib check docs

all: build

setup:
	@bash tools/setup.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

install:
	R CMD INSTALL .

# The package in a private library ($(RLIB)), for the R suite and the demo;
# extra compile and link flags (the sanitizer build) through QV_EXTRA_*.
rlib:
	@mkdir -p $(RLIB)
	QV_EXTRA_CXXFLAGS="$(QV_EXTRA_CXXFLAGS)" QV_EXTRA_LDFLAGS="$(QV_EXTRA_LDFLAGS)" $(R_INSTALL_ENV) \
	  R CMD INSTALL --preclean --no-test-load --library=$(RLIB) . > $(RLIB)/install.log 2>&1 || \
	  { cat $(RLIB)/install.log; exit 1; }
	@rm -f src/*.o src/*.so

test: setup
	$(MAKE) build
	$(MAKE) rlib
	ctest --test-dir $(BUILD) --output-on-failure

# The help pages and NAMESPACE from the roxygen comments in R/.
docs:
	Rscript -e 'roxygen2::roxygenise(load_code = "source")'

# R CMD check on the tarball R CMD build makes, offline; a WARNING fails too.
check: setup
	rm -rf $(BUILD)/check && mkdir -p $(BUILD)/check
	cd $(BUILD)/check && R CMD build ../.. && \
	  _R_CHECK_CRAN_INCOMING_=false _R_CHECK_FORCE_SUGGESTS_=false \
	  R CMD check --no-manual quorval_$(PKG_VERSION).tar.gz
	@! grep -E '^\* .* \.\.\. (WARNING|ERROR)' $(BUILD)/check/quorval.Rcheck/00check.log

# The whole suite against libraries built with AddressSanitizer and
# UndefinedBehaviorSanitizer (every finding fails).
sanitize: setup
	cmake -S . -B $(BUILD)-sanitize -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=ON
	cmake --build $(BUILD)-sanitize -j $(JOBS)
	$(MAKE) rlib RLIB=$(BUILD)-sanitize/rlib \
	  QV_EXTRA_CXXFLAGS="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" \
	  QV_EXTRA_LDFLAGS="-fsanitize=address,undefined" \
	  R_INSTALL_ENV="LD_PRELOAD=$$(g++ -print-file-name=libasan.so) ASAN_OPTIONS=detect_leaks=0"
	ctest --test-dir $(BUILD)-sanitize --output-on-failure

# libFuzzer targets of the native core, built with clang into $(BUILD)-fuzz
# and each run for FUZZ_SECONDS (default 60); not part of CI.
fuzz:
	@bash tools/setup.sh fuzz
	cmake -S . -B $(BUILD)-fuzz -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=$(or $(FUZZ_CXX),clang++-14) -DQV_LIBFUZZER=ON
	cmake --build $(BUILD)-fuzz -j $(JOBS) --target fuzz_targets
	bash tests/fuzz/native/run_libfuzzer.sh $(BUILD)-fuzz $(or $(FUZZ_SECONDS),60)

demo: rlib
	R_LIBS=$(RLIB) Rscript examples/ordinal_probit.R
	@if Rscript -e 'quit(status = !requireNamespace("tmvtnorm", quietly = TRUE))' >/dev/null 2>&1; then \
	  echo; R_LIBS=$(RLIB) Rscript examples/ordered_gibbs.R; \
	else \
	  echo "examples/ordered_gibbs.R skipped: it needs the R package tmvtnorm" \
	       "(apt-get install r-cran-tmvtnorm, or in R: install.packages(\"tmvtnorm\"))"; \
	fi

# Every entry next to its R peers (one R process, one report); the ordinal
# probit samplers' effective samples per second and oprobit_mcmc's cost per
# iteration (bench/oprobit_ess.R, another R process), the same with group
# terms (bench/oprobit_groups.R); ordered_means_mcmc's effective samples per
# second and cost per iteration (bench/ordered_means_ess.R); then the native
# micro-benchmarks. About 15 minutes; QV_BENCH_SKIP=brms,big,... leaves out
# the slow parts (bench/oprobit_ess.R lists them).
bench:
	@bash tools/setup.sh bench
	@# Configured again, so that a Google Benchmark just installed is found.
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) > /dev/null
	$(MAKE) build
	$(MAKE) rlib
	@# glibc's malloc keeps R's heap once grown (bench/run_all.R says why).
	MALLOC_MMAP_THRESHOLD_=33554432 MALLOC_TRIM_THRESHOLD_=4294967296 \
	  QV_BUILD_DIR=$(BUILD) QV_RLIB=$(RLIB) Rscript bench/run_all.R
	@echo
	MALLOC_MMAP_THRESHOLD_=33554432 MALLOC_TRIM_THRESHOLD_=4294967296 \
	  QV_RLIB=$(RLIB) Rscript bench/oprobit_ess.R
	@echo
	QV_RLIB=$(RLIB) Rscript bench/oprobit_scale.R
	@echo
	MALLOC_MMAP_THRESHOLD_=33554432 MALLOC_TRIM_THRESHOLD_=4294967296 \
	  QV_RLIB=$(RLIB) Rscript bench/oprobit_groups.R
	@echo
	MALLOC_MMAP_THRESHOLD_=33554432 MALLOC_TRIM_THRESHOLD_=4294967296 \
	  QV_RLIB=$(RLIB) Rscript bench/ordered_means_ess.R
	@if [ -x $(BUILD)/bench/trunom_bench ]; then \
	  echo; echo "Native micro-benchmark (ns; medians of 5 repetitions)"; \
	  $(BUILD)/bench/trunom_bench --benchmark_filter='Stream|Floor|Loop' --benchmark_repetitions=5 \
	    --benchmark_report_aggregates_only=true --benchmark_min_time=0.2 2>&1 | grep -E '_median|^Run on'; \
	  echo; echo "Cutpoint step with its memo next to plain evaluation of the same terms (us; medians of 5)"; \
	  $(BUILD)/bench/quorval_memo_bench --benchmark_repetitions=5 \
	    --benchmark_report_aggregates_only=true 2>&1 | grep -E '_median'; \
	else \
	  echo; echo "(native micro-benchmark not built: CMake did not find Google Benchmark)"; \
	fi

clean:
	rm -rf $(BUILD) $(BUILD)-sanitize $(BUILD)-fuzz
	rm -f src/*.o src/*.so
