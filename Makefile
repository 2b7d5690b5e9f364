# Zarn — the two commands for people (`make run`, `make test`), installing
# (`make install [PREFIX=...]`, `make package` for a Debian package) and two
# for developers (`make bench`, `make fuzz`). CMake does the real work in build/.

BUILD       ?= build
ASAN_BUILD  ?= build-asan
FUZZ_BUILD  ?= build-fuzz
FUZZ_COVERAGE_BUILD ?= build-fuzz-cov
WEB_BUILD   ?= build-web
WEB_LIBS    ?= $(WEB_BUILD)/libs
JOBS        ?= $(shell nproc)
FUZZ_SECONDS ?= 30
FUZZ_LONG_SECONDS ?= 600
PREFIX      ?= /usr/local

.PHONY: all deps build run test unit-test asan-test fuzz-test install package bench fuzz clean
.PHONY: web web-deps web-libs web-build web-test web-bench

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-demo $(BUILD)

test: build
	@$(MAKE) --no-print-directory unit-test asan-test fuzz-test web-test

unit-test:
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The unit tests and the headless end-to-end ones (start-up failures
# included) under AddressSanitizer (with its leak checker) and
# UndefinedBehaviorSanitizer; any report fails its test. Left to the plain
# run: the whole-binary repeats of the unit tests (the same code once more,
# for state one test leaves the next) and the two window tests under Xvfb,
# whose waits for the window are timed for an unsanitized program.
asan-test:
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARN_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS) -LE whole -E '^e2e_(app_window|platform_sdl_window)$$'

fuzz-test:
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARN_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_all
	@scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS)

# DESTDIR (staged installs) is passed on to cmake through the environment.
# A real install also refreshes the desktop's file-type and desktop-entry
# caches below the prefix, as a package's triggers would.
install: build
	@cmake --install $(BUILD) --prefix $(PREFIX)
	@if [ -z "$(DESTDIR)" ]; then \
	  if command -v update-mime-database >/dev/null; then update-mime-database $(PREFIX)/share/mime; fi; \
	  if command -v update-desktop-database >/dev/null; then update-desktop-database -q $(PREFIX)/share/applications; fi; \
	fi

package: build
	@cmake --build $(BUILD) --target package
	@ls $(BUILD)/zarn_*.deb

# The WebAssembly build: Emscripten, the libraries compiled from Debian's
# sources (cached in $(WEB_LIBS)), every layer with the headless backend, and
# the tests run under node. The web tests read the desktop build's demo issue.
web-libs web-build web-test web-bench: export NODE_PATH := /usr/share/nodejs

web-deps:
	@scripts/install-deps --web

web-libs: web-deps
	@JOBS=$(JOBS) scripts/build-web-libs $(WEB_LIBS)

web-build: web-libs
	@emcmake cmake -S . -B $(WEB_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CROSSCOMPILING_EMULATOR=$$(command -v node) -DZARN_WEB_LIBS=$(abspath $(WEB_LIBS)) \
	  -DZARN_WEB_DESKTOP_BUILD=$(abspath $(BUILD)) >/dev/null
	@cmake --build $(WEB_BUILD) -j $(JOBS)

# The demo issue's web edition: a folder any static server can serve as it is.
web: build web-build
	@ZARN_WEB_FILES=$(abspath $(WEB_BUILD))/web $(BUILD)/tools/zarn-tool web -C $(BUILD)/demo -o $(BUILD)/web/demo
	@echo "build/web/demo: serve it, e.g. python3 -m http.server -d $(BUILD)/web/demo"

web-test: build web-build
	cd $(WEB_BUILD) && ctest --output-on-failure -j $(JOBS) -L web

# The benchmarks on WebAssembly under node (the plain and SIMD loops).
web-bench: build web-deps
	@JOBS=$(JOBS) scripts/build-web-libs --with-benchmark $(WEB_LIBS)
	@$(MAKE) --no-print-directory web-build
	@cmake --build $(WEB_BUILD) -j $(JOBS) --target zarn-bench
	@cmake -E copy_directory $(BUILD)/demo $(WEB_BUILD)/demo
	node $(WEB_BUILD)/bench/zarn-bench.js --benchmark_counters_tabular=true

bench: build web-build
	$(BUILD)/bench/zarn-bench --benchmark_counters_tabular=true
	scripts/measure-reader $(BUILD)
	scripts/measure-web $(BUILD) $(WEB_BUILD)

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
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(FUZZ_COVERAGE_BUILD) $(WEB_BUILD)
