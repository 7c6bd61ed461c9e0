# Thin wrapper around CMake. `make test` builds everything and runs every test.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all configure build test test-asan bench run install package deps format clean

all: build

deps:
	@if [ "$$(id -u)" -eq 0 ]; then bash scripts/install-deps.sh; else sudo bash scripts/install-deps.sh; fi

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

configure: $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DONEX_SANITIZE=ON -DONEX_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

bench: build
	@for b in $(BUILD)/bin/bench_*; do echo "== $$b"; $$b --benchmark_repetitions=5 --benchmark_report_aggregates_only=true; done

# Starts the desktop application. Without a display it checks that the
# application starts (Qt's offscreen platform, 10 s), then computes the
# default frame with the command-line tool and prints its summary.
run: configure
	cmake $(BUILD) >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target onex_programs
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
		$(BUILD)/bin/onexrev; \
	else \
		echo "No display: starting the application offscreen for 10 s, then computing the default frame with onexrev-cli."; \
		rc=0; cd $(BUILD) && QT_QPA_PLATFORM=offscreen timeout 10 bin/onexrev || rc=$$?; \
		if [ $$rc -ne 124 ]; then echo "onexrev ended early (exit $$rc)"; exit 1; fi; \
		echo "onexrev started and ran for 10 s."; \
		bin/onexrev-cli calculate --out default-frame.mat; \
	fi

install: build
	cmake --install $(BUILD)

# The Debian packages build/onexrev_<version>_<arch>.deb and onexrev-dev_...,
# from the programs, library and module alone (no tests or benchmarks).
package: configure
	cmake $(BUILD) >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target onex_package_contents
	cd $(BUILD) && cpack -G DEB

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h' '*.c')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
