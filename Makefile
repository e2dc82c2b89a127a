# One-command set-up: `make demo` and `make test` install what is missing, build and run.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD ?= build
ASAN_BUILD ?= build-asan
export LSAN_OPTIONS := suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS := print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS := detect_leaks=1

.PHONY: all setup build build-asan demo test test-release test-asan clean

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

test: test-release test-asan

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
