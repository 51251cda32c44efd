# Front door. `make` builds the libraries into build/, `make test` builds and
# runs every test, `make demo` builds and runs the main example.
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= 2

.PHONY: all build setup test sanitize demo bench clean fuzz

all: build

setup:
	@bash tools/setup.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: setup
	$(MAKE) build
	ctest --test-dir $(BUILD) --output-on-failure

# The whole suite against libraries built with AddressSanitizer and
# UndefinedBehaviorSanitizer (every finding fails).
sanitize: setup
	cmake -S . -B $(BUILD)-sanitize -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=ON
	cmake --build $(BUILD)-sanitize -j $(JOBS)
	ctest --test-dir $(BUILD)-sanitize --output-on-failure

# libFuzzer targets of the native core, built with clang into $(BUILD)-fuzz
# and each run for FUZZ_SECONDS (default 60); not part of CI.
fuzz:
	@bash tools/setup.sh fuzz
	cmake -S . -B $(BUILD)-fuzz -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=$(or $(FUZZ_CXX),clang++-14) -DQV_LIBFUZZER=ON
	cmake --build $(BUILD)-fuzz -j $(JOBS) --target fuzz_targets
	bash tests/fuzz/native/run_libfuzzer.sh $(BUILD)-fuzz $(or $(FUZZ_SECONDS),60)

demo: setup
	$(MAKE) build
	QV_BUILD_DIR=$(BUILD) Rscript examples/ordinal_probit.R
	@if Rscript -e 'quit(status = !requireNamespace("tmvtnorm", quietly = TRUE))' >/dev/null 2>&1; then \
	  echo; QV_BUILD_DIR=$(BUILD) Rscript examples/ordered_gibbs.R; \
	else \
	  echo "examples/ordered_gibbs.R skipped: it needs the R package tmvtnorm" \
	       "(apt-get install r-cran-tmvtnorm, or in R: install.packages(\"tmvtnorm\"))"; \
	fi

# Every entry next to its R peers (one R process, one report), then the native
# micro-benchmark of the sampler per regime next to its floor. A few minutes.
bench:
	@bash tools/setup.sh bench
	@# Configured again, so that a Google Benchmark just installed is found.
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) > /dev/null
	$(MAKE) build
	@# glibc's malloc keeps R's heap once grown (bench/run_all.R says why).
	MALLOC_MMAP_THRESHOLD_=33554432 MALLOC_TRIM_THRESHOLD_=4294967296 \
	  QV_BUILD_DIR=$(BUILD) Rscript bench/run_all.R
	@if [ -x $(BUILD)/bench/trunom_bench ]; then \
	  echo; echo "Native micro-benchmark (ns; medians of 5 repetitions)"; \
	  $(BUILD)/bench/trunom_bench --benchmark_filter='Floor|Loop' --benchmark_repetitions=5 \
	    --benchmark_report_aggregates_only=true --benchmark_min_time=0.2 2>&1 | grep -E '_median|^Run on'; \
	else \
	  echo; echo "(native micro-benchmark not built: CMake did not find Google Benchmark)"; \
	fi

clean:
	rm -rf $(BUILD) $(BUILD)-sanitize $(BUILD)-fuzz
