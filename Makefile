# Thin wrapper over CMake. `make run` and `make test` also install what is missing.
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)

.PHONY: all deps test-deps configure build run test test-quick bench install deb format clean

all: build

deps:
	@scripts/install-deps.sh run

test-deps:
	@scripts/install-deps.sh test

configure:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: deps
	$(MAKE) build CMAKE_FLAGS="$(CMAKE_FLAGS) -DLUMIVEX_TESTS=OFF" BUILD=$(BUILD)-run
	$(BUILD)-run/src/app/lumivex

# Everything that checks the code: format, the build (any warning fails it, -Wshadow included),
# module includes (from the build's targets), no test double in the program, that each of these
# checks rejects a planted fault, the suite, clang-tidy, the suite again under ASan+UBSan, and
# each fuzz target for 20 seconds.
test: test-deps
	scripts/check-format.sh
	$(MAKE) build CMAKE_FLAGS="$(CMAKE_FLAGS) -DLUMIVEX_WERROR=ON"
	scripts/check-includes.py $(BUILD)
	scripts/check-no-doubles.sh $(BUILD)/src/app/lumivex $(BUILD)/src/ftp/lumivex-ftp
	scripts/check-checks.sh $(BUILD)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	scripts/check-tidy.sh $(BUILD) $(JOBS)
	scripts/check-sanitize.sh $(BUILD)-asan $(JOBS)
	scripts/check-fuzz.sh $(BUILD)-fuzz 20

# The edit-and-test loop: build and run the suite only (no package installs, no extra builds).
test-quick:
	$(MAKE) build CMAKE_FLAGS="$(CMAKE_FLAGS) -DLUMIVEX_WERROR=ON"
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: test-deps build
	$(BUILD)/bench/lumivex-bench

install: build
	cmake --install $(BUILD)

# The Debian package, in $(BUILD)/: its dependencies come from dpkg-shlibdeps (dpkg-dev).
deb: test-deps build
	cd $(BUILD) && cpack -G DEB

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(BUILD)-run $(BUILD)-asan $(BUILD)-fuzz
