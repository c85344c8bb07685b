# Entry points: `make demo` (the tool and the example run), `make test`, `make install`.
# Both configure and build as needed, quietly: only warnings and errors are shown.
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX ?= /usr/local
MAKEFLAGS += --no-print-directory
QUIET_CMAKE = --log-level=WARNING -DCMAKE_RULE_MESSAGES=OFF -DCMAKE_TARGET_MESSAGES=OFF

.PHONY: all build configure demo test install package bench bench-hostile clean test-asan fuzz

all: build

$(BUILD)/CMakeCache.txt:
	@cmake $(QUIET_CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null

# Always configures again (a second at most), so a GoogleTest installed since is found.
configure:
	@cmake $(QUIET_CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null

build: $(BUILD)/CMakeCache.txt
	@cmake --build $(BUILD) -j $(JOBS) --target tessarin

demo: build
	@./examples/demo.sh $(BUILD)/tessarin

test: configure
	@if grep -q '^TESSARIN_GTEST_MISSING:INTERNAL=1' $(BUILD)/CMakeCache.txt; then \
	  echo "tessarin: GoogleTest not found: install libgtest-dev to run the tests" >&2; exit 1; fi
	@cmake --build $(BUILD) -j $(JOBS) --target tessarin unit_tests e2e_tests
	@cd $(BUILD) && ctest --output-on-failure --progress -j $(JOBS)

install: build
	@cmake --install $(BUILD) --prefix $(PREFIX)

package: build
	@cd $(BUILD) && cpack

# Every test against a build instrumented with AddressSanitizer and UBSan (own build folder).
ASAN_BUILD ?= build-asan
test-asan:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTESSARIN_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1 \
	  UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# Each libFuzzer target of fuzz/ for FUZZ_SECONDS seconds (clang; own build folder).
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 30
fuzz:
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
	  -DTESSARIN_FUZZ=ON -DTESSARIN_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	./fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# BENCH_2GB=1 adds a 2 GB table (about 2 GB of disk and many minutes).
BENCH_2GB ?= 0
bench: build
	@BENCH_2GB=$(BENCH_2GB) ./bench/run.sh $(BUILD)/tessarin

# The inputs that once made runs crawl: an organ-pipe sort and a 200k-column table, every mode.
bench-hostile: build
	@./bench/hostile.sh $(BUILD)/tessarin

clean:
	rm -rf $(BUILD)
