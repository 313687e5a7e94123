# The front door. `make run` and `make test` each install what is missing, configure and build.
BUILD      ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS       ?= $(shell nproc)
PREFIX     ?= /usr/local

.PHONY: all deps configure build run test test-sanitizers bench install package clean fuzz soak lint

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/app/tellurion

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory test-sanitizers

# The libraries without the window, and their tests, under AddressSanitizer (leaks included) and UBSan;
# any report fails its test. Qt, libxml2 and SQLite themselves are not instrumented.
SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_string_checks=1 \
                UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
build-asan/CMakeCache.txt:
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTELLURION_GUI=OFF -DTELLURION_SANITIZE=ON

test-sanitizers: deps build-asan/CMakeCache.txt
	cmake --build build-asan -j $(JOBS)
	$(SANITIZER_ENV) ctest --test-dir build-asan --output-on-failure -j $(JOBS)

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTELLURION_BENCH=ON -DBUILD_TESTING=OFF
	cmake --build build-bench -j $(JOBS)
	bench/run build-bench

# libFuzzer targets (clang), each run for FUZZ_SECONDS; see the README's Hardening section.
FUZZ_SECONDS ?= 60
fuzz:
	@EXTRA_PACKAGES="clang-14 libclang-rt-14-dev" scripts/install-deps
	CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELLURION_GUI=OFF \
	  -DTELLURION_FUZZ=ON -DBUILD_TESTING=OFF
	cmake --build build-fuzz -j $(JOBS)
	scripts/run-fuzz build-fuzz $(FUZZ_SECONDS)

# 10,000 lookups through the window's run against a misbehaving fake server (a few minutes).
soak: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTELLURION_BENCH=ON -DBUILD_TESTING=OFF
	cmake --build build-bench -j $(JOBS) --target soak_lookup
	build-bench/bench/soak_lookup

# clang-tidy and cppcheck over the tree (not part of `make test`: a few minutes of CPU).
lint: build
	scripts/lint $(BUILD)

# `make install PREFIX=/opt/tellurion DESTDIR=/tmp/stage` also works for staged installs.
install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package, written to $(BUILD)/tellurion_<version>_<arch>.deb.
package: build
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) build-bench build-asan build-fuzz
