# Brindle: the user's entry points.
#   make run    install what is missing, build, and start on the demo stores in samples/
#   make test   install what is missing, build, and run every test
#   make install          build and install under PREFIX (/usr/local; DESTDIR is honoured)
#   make package          build the Debian package brindle_VERSION_ARCH.deb in the build folder
#   make check-install    install into a temporary folder and check the desktop files there
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
CMAKE_FLAGS ?=
# Builds go through ccache where it is installed (worktrees and the sanitizer build share it).
LAUNCHER := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
PREFIX ?= /usr/local

.PHONY: all deps build run test install package check-install test-sanitize test-tsan bench fuzz clean

all: build

deps:
	@tools/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(LAUNCHER) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@tools/run.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# dpkg-shlibdeps (dpkg-dev) finds the packages of the libraries the programs link.
package: deps
	@tools/install-deps.sh dpkg-dev
	$(MAKE) build
	cd $(BUILD) && cpack -G DEB

check-install: build
	tools/check-install.sh $(BUILD)

# The core tests (no Qt) again under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DBRINDLE_GUI=OFF \
	  -DBRINDLE_SANITIZE=address,undefined $(LAUNCHER) $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS) -L core

# The core tests that run work on several threads (their names say so) under ThreadSanitizer;
# only the test programs that hold such tests are built. The run fails when it finds none.
TSAN_TARGETS := platform_tests store_test mailbox_test
THREAD_TESTS := Threaded|Threads|SideBySide
test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DBRINDLE_GUI=OFF \
	  -DBRINDLE_SANITIZE=thread $(LAUNCHER) $(CMAKE_FLAGS)
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(TSAN_TARGETS)
	cd $(TSAN_BUILD) && ctest --output-on-failure --no-tests=error -j $(JOBS) -L core -R '$(THREAD_TESTS)'

bench: deps
	@tools/install-deps.sh libbenchmark-dev libgmime-3.0-dev python3 time hyperfine isync
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBRINDLE_BENCH=ON -DBUILD_TESTING=OFF
	cmake --build build-bench -j $(JOBS)

fuzz: deps
	CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLE_GUI=OFF \
	  -DBRINDLE_FUZZERS=ON -DBUILD_TESTING=ON
	cmake --build build-fuzz -j $(JOBS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) build-bench build-fuzz
