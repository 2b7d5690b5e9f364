# Zarn — the two commands for people (`make run`, `make test`) and two for
# developers (`make bench`, `make fuzz`). CMake does the real work in build/.

BUILD       ?= build
ASAN_BUILD  ?= build-asan
FUZZ_BUILD  ?= build-fuzz
FUZZ_COVERAGE_BUILD ?= build-fuzz-cov
JOBS        ?= $(shell nproc)
FUZZ_SECONDS ?= 30
FUZZ_LONG_SECONDS ?= 600

.PHONY: all deps build run test unit-test asan-test fuzz-test bench fuzz clean

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-demo $(BUILD)

test: build
	@$(MAKE) --no-print-directory unit-test asan-test fuzz-test

unit-test:
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Every test, the end-to-end ones included, under AddressSanitizer (with its
# leak checker) and UndefinedBehaviorSanitizer; any report fails its test.
asan-test:
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARN_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

fuzz-test:
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARN_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_all
	@scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS)

bench: build
	$(BUILD)/bench/zarn-bench --benchmark_counters_tabular=true
	scripts/measure-reader $(BUILD)

# Each target on every core for FUZZ_LONG_SECONDS, then the line coverage of
# the parsers that the corpus kept in $(FUZZ_BUILD)/fuzz-corpus reaches.
fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARN_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_all
	@scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_LONG_SECONDS)
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_COVERAGE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARN_FUZZ=ON \
	  -DZARN_FUZZ_COVERAGE=ON >/dev/null
	@cmake --build $(FUZZ_COVERAGE_BUILD) -j $(JOBS) --target fuzz_all
	@scripts/fuzz-coverage $(FUZZ_COVERAGE_BUILD) $(FUZZ_BUILD)/fuzz-corpus

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(FUZZ_COVERAGE_BUILD)
