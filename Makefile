# Entry points: `make run` starts the panel against the simulated controller, `make test` builds
# and runs the whole suite, `make bench` runs the benchmarks, `make install` installs into PREFIX
# (staged under DESTDIR when given), `make fuzz` runs each fuzz target for FUZZ_SECONDS.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
PREFIX ?= /usr/local
DESTDIR ?=

FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: all deps configure build run test bench install fuzz clean

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

# A build of its own with clang, of the Qt-free core only; it fails on the first finding.
fuzz:
	@./scripts/install-deps.sh fuzz
	@cmake -S . -B $(FUZZ_BUILD) -DQUILLON_FUZZ=ON -DQUILLON_WERROR=ON \
	  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@./scripts/run-fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	@rm -rf $(BUILD)
