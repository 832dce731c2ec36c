# Fennick: the README's commands. Each one installs what is missing first.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build demo demo-big test test-asan bench fuzz clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	./$(BUILD)/fennick serve --demo

demo-big: build
	./$(BUILD)/fennick serve --demo --big

test: build
	bash scripts/run-tests.sh $(BUILD)

test-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DFENNICK_SANITIZE=ON -DFENNICK_BENCH=OFF
	cmake --build build-asan -j $(JOBS)
	bash scripts/run-tests.sh build-asan

bench: build
	bash scripts/run-bench.sh $(BUILD)

# libFuzzer targets (fuzz/fuzz_*.cc) with clang, into build-fuzz/.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DFENNICK_FUZZ=ON -DFENNICK_BENCH=OFF
	cmake --build build-fuzz -j $(JOBS) --target $(notdir $(basename $(wildcard fuzz/fuzz_*.cc)))

clean:
	rm -rf $(BUILD) build-asan build-fuzz
