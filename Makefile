# Two entry points: `make demo` and `make test`. Both configure and build as needed.
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build demo test bench clean

all: build

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	./examples/demo.sh $(BUILD)/tessarin

test: build
	cd $(BUILD) && ctest --output-on-failure

# BENCH_2GB=1 adds a 2 GB table (about 2 GB of disk and many minutes).
BENCH_2GB ?= 0
bench: build
	BENCH_2GB=$(BENCH_2GB) ./bench/run.sh $(BUILD)/tessarin

clean:
	rm -rf $(BUILD)
