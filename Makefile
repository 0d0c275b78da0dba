# The two set-up commands: `make run` builds and starts the editor, `make test` builds and
# passes all tests. Both install what they need first.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test bench package fuzz clean

all: build

deps:
	bash scripts/install-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	bash scripts/run-editor $(BUILD)

test: build
	bash scripts/fetch-test-packages
	bash scripts/run-tests $(BUILD)

bench: build
	$(BUILD)/bin/tovra-bench

# The Debian package, tovra-editor_<version>_<arch>.deb in the build folder.
package: build
	cmake --build $(BUILD) --target package

# Runs each fuzzer for FUZZ_SECONDS (default 600) with a clang build of its own.
FUZZ_SECONDS ?= 600
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTOVRA_FUZZ=ON -DTOVRA_BUILD_TESTS=OFF -DTOVRA_BUILD_BENCH=OFF
	cmake --build build-fuzz --target fuzz_project_file fuzz_ini_reader -j $(JOBS)
	mkdir -p build-fuzz/corpus-project build-fuzz/corpus-ini
	build-fuzz/bin/fuzz_project_file -max_total_time=$(FUZZ_SECONDS) build-fuzz/corpus-project tests/data/fuzz/project
	build-fuzz/bin/fuzz_ini_reader -max_total_time=$(FUZZ_SECONDS) build-fuzz/corpus-ini tests/data/fuzz/ini

clean:
	rm -rf $(BUILD) build-fuzz
