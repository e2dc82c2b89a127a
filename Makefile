# One-command set-up: `make demo` and `make test` install what is missing, build and run.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
# Seconds each fuzz target runs for in `make fuzz` (and so in CI).
FUZZ_SECONDS ?= 60
export LSAN_OPTIONS := suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS := print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS := detect_leaks=1

.PHONY: all setup build build-asan build-tsan build-fuzz demo test test-release test-asan test-tsan fuzz fuzz-ci clean

all: build

setup:
	@bash scripts/setup.sh

build: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

build-asan: setup
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DENABLE_SANITIZERS=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)

demo: build
	cd examples && ../$(BUILD)/quorlin -alr example.alr -best

test-release: build
	cd $(BUILD) && ctest --output-on-failure --no-tests=error -j $(JOBS)

test-asan: build-asan
	cd $(ASAN_BUILD) && ctest --output-on-failure --no-tests=error -j $(JOBS)

# ThreadSanitizer: the end-to-end cases and the driver's tests with several threads; any
# report fails them (its status and its text on standard error differ from the expected).
build-tsan: setup
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DENABLE_TSAN=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target quorlin driver_tests

test-tsan: build-tsan
	TSAN_OPTIONS=halt_on_error=1:exitcode=66 OMP_NUM_THREADS=4 $(TSAN_BUILD)/driver_tests
	TSAN_OPTIONS=halt_on_error=1:exitcode=66 GOLDEN_THREADS="3 8" bash tests/golden/run_golden.sh $(TSAN_BUILD)/quorlin

# The fuzz targets are built by clang with libFuzzer, as a project of their own (fuzz/).
build-fuzz: setup
	CC=clang CXX=clang++ cmake -S fuzz -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

fuzz: build-fuzz
	bash fuzz/run_fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

fuzz-ci: build-fuzz
	FUZZ_SEED=1 bash fuzz/run_fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

test: test-release test-asan test-tsan fuzz-ci

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)

# Benchmarks in Release (build-bench): one likelihood evaluation against the plain formulas,
# then end-to-end timings and peak memory on generated data (about six minutes the first time,
# which builds the tree and generates the data sets; about two and a half after).
BENCH_BUILD ?= build-bench
.PHONY: bench
bench: setup
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DQUORLIN_BUILD_BENCH=ON -DQUORLIN_BUILD_TESTS=OFF
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target quorlin lnl_bench
	$(BENCH_BUILD)/bench/lnl_bench --benchmark_color=false
	bash bench/run_bench.sh $(BENCH_BUILD)/quorlin $(BENCH_BUILD)/bench-data
