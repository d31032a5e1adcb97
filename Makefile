# Two entry points for a fresh machine: `make play` and `make test`.
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: format-check deps build play test test-plain asan tsan bench fuzz clean windows windows-test install package

deps:
	@bash scripts/install-deps.sh

# A configure that fails leaves a cache behind; it is removed so that the
# next make configures again instead of taking the folder as ready.
$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) || \
	  { rm -f $(BUILD)/CMakeCache.txt; exit 1; }

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

play: build
	@bash scripts/play-demo.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Installs the build under PREFIX (default /usr/local), into DESTDIR when
# given (a staging folder). The build is configured for PREFIX, since the
# player's documentation link and zarn.pc name it.
PREFIX ?= /usr/local
install: deps
	cmake -S . -B $(BUILD) -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)
	DESTDIR=$(DESTDIR) cmake --install $(BUILD)

# The Debian package, from a build of its own made for the prefix /usr
# (the player's documentation link and zarn.pc name the prefix): build-deb/*.deb.
DEB_BUILD ?= build-deb
package: deps
	cmake -S . -B $(DEB_BUILD) -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
	  -DZARN_BENCH=OFF -DZARN_TESTS=OFF
	cmake --build $(DEB_BUILD) -j $(JOBS)
	cd $(DEB_BUILD) && cpack -G DEB

# The whole suite again with the plain kernels only (ZARN_CPU=plain).
test-plain: build
	cd $(BUILD) && ZARN_CPU=plain ctest --output-on-failure -j $(JOBS)

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DZARN_SANITIZE=ON -DZARN_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# The threaded engine tests under ThreadSanitizer.
tsan: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARN_TSAN=ON -DZARN_BENCH=OFF
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	cd $(TSAN_BUILD) && ctest --output-on-failure -j $(JOBS) -L threads

# Fuzz targets built with clang in build-fuzz/: replay the stored inputs, then
# fuzz each target for FUZZ_SECONDS (see scripts/fuzz.sh).
FUZZ_SECONDS ?= 60
fuzz: deps
	@JOBS=$(JOBS) bash scripts/fuzz.sh --seconds $(FUZZ_SECONDS)

# Every C and C++ file as clang-format makes it with .clang-format.
format-check: deps
	@bash scripts/check-format.sh

bench: build
	@for b in $(BUILD)/bench/*/*_bench; do echo "== $$b"; $$b; done

# The native Windows player, cross-built: build-win64/ and build-win32/
# (statically linked zarnplay.exe). The closing picture comes from the host
# build. `windows-test` runs the Windows checks under wine and Xvfb.
WIN64_BUILD ?= build-win64
WIN32_BUILD ?= build-win32
WIN_FLAGS = -DCMAKE_BUILD_TYPE=Release \
  -DZARN_CLOSING_PICTURE_SOURCE=$(abspath $(BUILD))/encoder/closing_picture.cpp

windows: deps $(BUILD)/CMakeCache.txt
	@bash scripts/install-deps.sh windows
	cmake --build $(BUILD) --target zarn_closing_picture -j $(JOBS)
	cmake -S . -B $(WIN64_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DZARN_WINDOWS_TESTS=ON $(WIN_FLAGS)
	cmake --build $(WIN64_BUILD) --target zarnplay engine_reader_tests engine_clock_tests -j $(JOBS)
	cmake -S . -B $(WIN32_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake $(WIN_FLAGS)
	cmake --build $(WIN32_BUILD) --target zarnplay -j $(JOBS)

windows-test: windows
	cmake --build $(BUILD) --target zarn zarn_make_media -j $(JOBS)
	bash tests/windows/run_wine_checks.sh $(BUILD) $(WIN64_BUILD) $(WIN32_BUILD)

clean:
	rm -rf $(BUILD) $(DEB_BUILD) $(ASAN_BUILD) $(TSAN_BUILD) build-fuzz $(WIN64_BUILD) $(WIN32_BUILD)
