# Entry points: `make run` starts the panel against the simulated controller, `make test` builds
# and runs the whole suite, `make bench` runs the benchmarks, `make install` installs into PREFIX
# (staged under DESTDIR when given), `make fuzz` runs each fuzz target for FUZZ_SECONDS.
# `make check-sanitizers` runs the whole suite under AddressSanitizer with
# UndefinedBehaviorSanitizer (`make check-asan`, in build-asan) and the tests labelled "threads"
# under ThreadSanitizer (`make check-tsan`, in build-tsan).
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
PREFIX ?= /usr/local
DESTDIR ?=

FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: all deps configure build run test bench install package fuzz clean check-sanitizers check-asan \
  check-tsan

all: build

deps:
	@./scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DQUILLON_WERROR=ON $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: configure
	@cmake --build $(BUILD) -j $(JOBS) --target quillon-utility quillon-sim
	@./scripts/run-panel.sh $(BUILD)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

bench: build
	@./scripts/run-benchmarks.sh $(BUILD)

# The prefix is configured, not only given to the install step: the program keeps its library
# folder's path, and under /usr that folder is the multiarch one.
install: deps
	@cmake -S . -B $(BUILD) -DQUILLON_WERROR=ON $(CMAKE_FLAGS) -DCMAKE_INSTALL_PREFIX=$(PREFIX) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target quillon-utility quillon-sim quillon-tty quillon-sim-pty
	@DESTDIR="$(DESTDIR)" cmake --install $(BUILD)

# Debian packages (quillon-utility, quillon-tango) in $(BUILD), built for the prefix /usr.
package: deps
	@cmake -S . -B $(BUILD) -DQUILLON_WERROR=ON $(CMAKE_FLAGS) -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	@cd $(BUILD) && cpack -G DEB

# Sanitizer builds: their own folders, no benchmarks (they measure the instrumentation). -O1 and
# line tables only halve the instrumented compile and still name every frame of a report.
SAN_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_WERROR=ON -DQUILLON_BUILD_BENCH=OFF \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan

check-sanitizers: check-asan check-tsan

check-asan: deps
	@cmake -S . -B $(ASAN_BUILD) $(SAN_FLAGS) -DQUILLON_SANITIZE=address,undefined >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

# The ThreadSanitizer runtime of g++ 12 cannot map its shadow memory under the wider address
# randomisation of newer kernels; the tests run with it turned off where the system allows.
check-tsan: deps
	@cmake -S . -B $(TSAN_BUILD) $(SAN_FLAGS) -DQUILLON_SANITIZE=thread >/dev/null
	@cmake --build $(TSAN_BUILD) -j $(JOBS) --target threaded-tests
	@cd $(TSAN_BUILD) && norandom=""; \
	  if setarch "$$(uname -m)" -R true 2>/dev/null; then norandom="setarch $$(uname -m) -R"; fi; \
	  $$norandom ctest -L threads --output-on-failure -j $(JOBS) --timeout 300

# A build of its own with clang, of the Qt-free core only; it fails on the first finding.
fuzz:
	@./scripts/install-deps.sh fuzz
	@cmake -S . -B $(FUZZ_BUILD) -DQUILLON_FUZZ=ON -DQUILLON_WERROR=ON \
	  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@./scripts/run-fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	@rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
