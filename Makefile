# One-command set-up: `make demo`, `make test` and `make bench` install what is missing for
# themselves alone (scripts/setup.sh build, test or bench), build and run.
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

.PHONY: all setup setup-build setup-test setup-bench build build-tests build-asan build-tsan build-fuzz demo \
	test test-scripts test-release test-asan test-tsan test-tsan-driver test-tsan-golden test-tsan-bad-inputs fuzz \
	fuzz-ci clean

all: build

setup: setup-test
setup-build:
	@bash scripts/setup.sh build
setup-test:
	@bash scripts/setup.sh test
setup-bench:
	@bash scripts/setup.sh bench

# Building and running quorlin needs no test library, so `make build` and `make demo` leave the
# tests out; the test targets turn them on in the same tree. The option is given every time,
# as the tree keeps whichever was given last.
build: setup-build
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DQUORLIN_BUILD_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS)

build-tests: setup-test
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DQUORLIN_BUILD_TESTS=ON
	cmake --build $(BUILD) -j $(JOBS)

build-asan: setup-test
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DENABLE_SANITIZERS=ON -DQUORLIN_BUILD_TESTS=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# The outputs of an earlier demo are removed first, so that the three named were written now.
DEMO_OUTPUTS := examples/example.gen examples/example.data examples/example.fasta
demo: build
	rm -f $(DEMO_OUTPUTS)
	cd examples && $(abspath $(BUILD))/quorlin -alr example.alr -best
	@for f in $(DEMO_OUTPUTS); do [ -f $$f ] || { echo "demo: $$f was not written" >&2; exit 1; }; done
	@echo "demo: wrote examples/example.gen, examples/example.data and examples/example.fasta"

# The checks of the test scripts themselves: the arguments of run_golden.sh, the lines of
# run_fuzz.sh and how run_tests.sh counts. Seconds, and nothing to build.
test-scripts:
	bash scripts/test_scripts.sh

test-release: build-tests
	cd $(BUILD) && ctest --output-on-failure --no-tests=error -j $(JOBS)

test-asan: build-asan
	cd $(ASAN_BUILD) && ctest --output-on-failure --no-tests=error -j $(JOBS)

# ThreadSanitizer: the end-to-end cases and the driver's tests with several threads; any
# report fails them (its status and its text on standard error differ from the expected).
build-tsan: setup-test
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DENABLE_TSAN=ON -DQUORLIN_BUILD_TESTS=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target quorlin driver_tests

test-tsan: test-tsan-driver test-tsan-golden test-tsan-bad-inputs

test-tsan-driver: build-tsan
	TSAN_OPTIONS=halt_on_error=1:exitcode=66 OMP_NUM_THREADS=4 $(TSAN_BUILD)/driver_tests

test-tsan-golden: build-tsan
	TSAN_OPTIONS=halt_on_error=1:exitcode=66 GOLDEN_THREADS="3 8" bash tests/golden/run_golden.sh $(TSAN_BUILD)/quorlin

# The bad-input cases that stop a run while other threads compute later contigs (-for, failed
# writes, FIFOs), as the other builds run them.
test-tsan-bad-inputs: build-tsan
	TSAN_OPTIONS=halt_on_error=1:exitcode=66 OMP_NUM_THREADS=4 bash tests/bad_input/run_bad_inputs.sh --sanitized --group small $(TSAN_BUILD)/quorlin

# The fuzz targets are built by clang with libFuzzer, as a project of their own (fuzz/): the
# release's default clang, whatever its version.
build-fuzz: setup-test
	CC=clang CXX=clang++ cmake -S fuzz -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

fuzz: build-fuzz
	bash fuzz/run_fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

fuzz-ci: build-fuzz
	FUZZ_SEED=1 bash fuzz/run_fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Every stage runs even after one fails, and the run ends on the count of them all,
# "N passed, M failed" (scripts/run_tests.sh), with the status of that count. When it is not
# 0, make still adds its one line naming the failed recipe: make has no quiet way to fail.
test:
	@bash scripts/run_tests.sh $(MAKE) 'JOBS=$(JOBS)' 'BUILD=$(BUILD)' 'ASAN_BUILD=$(ASAN_BUILD)' \
	  'TSAN_BUILD=$(TSAN_BUILD)' 'FUZZ_BUILD=$(FUZZ_BUILD)' 'FUZZ_SECONDS=$(FUZZ_SECONDS)'

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)

# Benchmarks in Release (build-bench): one likelihood evaluation against the plain formulas,
# then end-to-end timings and peak memory on generated data (about six minutes the first time,
# which builds the tree and generates the data sets; about two and a half after).
BENCH_BUILD ?= build-bench
.PHONY: bench
bench: setup-bench
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DQUORLIN_BUILD_BENCH=ON -DQUORLIN_BUILD_TESTS=OFF
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target quorlin lnl_bench
	$(BENCH_BUILD)/bench/lnl_bench --benchmark_color=false
	bash bench/run_bench.sh $(BENCH_BUILD)/quorlin $(BENCH_BUILD)/bench-data
