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

bench: build
	./bench/run.sh $(BUILD)/tessarin

clean:
	rm -rf $(BUILD)
