# Thin wrapper over CMake. `make demo` and `make test` do all the set-up on a fresh machine
# (after .ci/run has installed the packages, or with them already present).
BUILD        ?= build
ASAN_BUILD   ?= build-asan
TSAN_BUILD   ?= build-tsan
FUZZ_BUILD   ?= build-fuzz
BENCH_BUILD  ?= build-bench
JOBS         ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_RUNS    ?= 20000
FUZZ_SECONDS ?= 60
# make test bounds each target by runs, and caps its time so a slow machine cannot stall CI.
FUZZ_CAP_SECONDS ?= 30
CLANGXX      := $(shell command -v clang++ 2>/dev/null)

SHARED_BUILD  ?= build-shared

.PHONY: all build demo test test-normal test-asan test-tsan test-fuzz test-install test-shared fuzz bench \
        install package screenshots clean packages-build packages-test

all: build

# A fresh machine first gets what it lacks (or is told the one command that installs it).
packages-build:
	@sh tools/install_packages.sh build
packages-test:
	@sh tools/install_packages.sh test

# The main build is what a distribution's build does: a Release tree with the defaults only (warnings stay
# warnings). The sanitizer build treats them as errors.
$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release

build: packages-build $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	sh examples/demo.sh $(BUILD)/src/driver/bxa
	@echo
	@echo "== bxa-view examples/work $(BUILD)/demo/preview"
	$(BUILD)/src/view/bxa-view examples/work $(BUILD)/demo/preview

test: packages-test test-normal test-install test-shared test-asan test-fuzz

test-normal: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Installs the Release tree into a staging prefix, builds the example programs against the installed
# package (with find_package and with pkg-config), runs them and the installed bxa-view on the bundled
# examples, and checks that the man pages render without warnings and that only the public header is
# installed.
STAGE := $(CURDIR)/$(BUILD)/stage
EXAMPLES := $(CURDIR)/$(BUILD)/examples
test-install: build
	rm -rf $(STAGE) $(EXAMPLES)
	cmake --install $(BUILD) --prefix $(STAGE) >/dev/null
	test -x $(STAGE)/bin/bxa && test -f $(STAGE)/share/man/man1/bxa.1 && test -f $(STAGE)/lib/pkgconfig/bxa.pc
	test -x $(STAGE)/bin/bxa-view && test -f $(STAGE)/share/man/man1/bxa-view.1
	test "$$(cd $(STAGE)/include && find . -type f)" = "./bxa/bxa.hpp"
	cmake -S examples/list_records -B $(EXAMPLES)/list_records -G Ninja -DCMAKE_PREFIX_PATH=$(STAGE) >/dev/null
	cmake --build $(EXAMPLES)/list_records
	$(EXAMPLES)/list_records/list_records examples/example.BXA > $(EXAMPLES)/records.txt
	cat $(EXAMPLES)/records.txt
	grep -q '^PANEL.R7D ' $(EXAMPLES)/records.txt
	cmake -S examples/extract_record -B $(EXAMPLES)/extract_cmake -G Ninja -DCMAKE_PREFIX_PATH=$(STAGE) >/dev/null
	cmake --build $(EXAMPLES)/extract_cmake
	PKG_CONFIG_PATH=$(STAGE)/lib/pkgconfig cmake -S examples/extract_record -B $(EXAMPLES)/extract_pkgconfig \
	  -G Ninja -DBXA_USE_PKG_CONFIG=ON >/dev/null
	cmake --build $(EXAMPLES)/extract_pkgconfig
	for program in $(EXAMPLES)/extract_cmake/extract_record $(EXAMPLES)/extract_pkgconfig/extract_record; do \
	  $$program examples/example.BXA PRICES.CSV | cmp - examples/work/PRICES.CSV && \
	  $$program examples/example.BXA BUSH.R7T | cmp - examples/work/BUSH.R7T || exit 1; \
	done
	$(STAGE)/bin/bxa-view examples/work $(EXAMPLES)/installed-view 2>$(EXAMPLES)/installed-view.txt
	grep -q '^bxa-view: 3 of 3 models written' $(EXAMPLES)/installed-view.txt
	groff -ww -man -Tutf8 docs/bxa.1 docs/bxa-view.1 2>$(EXAMPLES)/man-warnings.txt >/dev/null
	test ! -s $(EXAMPLES)/man-warnings.txt || (cat $(EXAMPLES)/man-warnings.txt; false)

# The shared library exports the public interface and nothing else.
$(SHARED_BUILD)/build.ninja:
	cmake -S . -B $(SHARED_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON -DBUILD_TESTING=OFF

test-shared: $(SHARED_BUILD)/build.ninja
	cmake --build $(SHARED_BUILD) -j $(JOBS) --target bxa bxa_library
	sh tools/check_exports.sh $(SHARED_BUILD)/src/library/libbxa.so include/bxa/bxa.hpp
	# bxa ends with status 1 after every command it ran.
	LD_LIBRARY_PATH=$(SHARED_BUILD)/src/library $(SHARED_BUILD)/src/driver/bxa -t examples/example.BXA \
	  $(SHARED_BUILD)/listing </dev/null >/dev/null; test $$? -eq 1
	grep -q ' PANEL.R7D' $(SHARED_BUILD)/listing/catalog.dat

PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

package: build
	cd $(BUILD) && cpack -G DEB

$(ASAN_BUILD)/build.ninja:
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBXA_SANITIZE=ON -DBXA_WERROR=ON

# The kill, two-runs, peak-memory and file-handle-limit tests measure processes rather than code paths (a
# sanitizer's memory is not the program's, and its checks need file handles of their own, so under a
# handle limit it reports faults of its own making): they run in the normal build only.
SANITIZER_SKIPPED := 'Interruption|SharedCurrentDirectory|ModelMemory|ArchiveMemory|FewFileHandles'
test-asan: $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) -E $(SANITIZER_SKIPPED)

# Every test under ThreadSanitizer: the thread pool, the threaded compressor and the commands run with more
# than one thread. Not part of make test (it doubles its time); run it after changing anything threaded.
$(TSAN_BUILD)/build.ninja:
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBXA_TSAN=ON -DBXA_WERROR=ON
test-tsan: $(TSAN_BUILD)/build.ninja
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	cd $(TSAN_BUILD) && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS) -E $(SANITIZER_SKIPPED)

$(FUZZ_BUILD)/build.ninja:
	CXX=$(CLANGXX) cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DBXA_FUZZ=ON -DBXA_SANITIZE=ON -DBXA_WERROR=OFF -DBUILD_TESTING=OFF

# Bounded libFuzzer runs of every target, when clang is present.
test-fuzz:
ifeq ($(CLANGXX),)
	@echo "clang++ not found: skipping the libFuzzer runs (the replay tests ran them on fixed inputs)"
else
	$(MAKE) $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	sh fuzz/run_all.sh $(FUZZ_BUILD) -runs=$(FUZZ_RUNS) -max_total_time=$(FUZZ_CAP_SECONDS)
endif

# Time-bounded fuzzing of every target: make fuzz FUZZ_SECONDS=N
fuzz:
	$(MAKE) $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	sh fuzz/run_all.sh $(FUZZ_BUILD) -max_total_time=$(FUZZ_SECONDS)

bench:
	cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DBXA_BENCH=ON -DBUILD_TESTING=OFF
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	sh bench/run_all.sh $(BENCH_BUILD)

# The README's pictures of the preview page: the example work directory, and a copy of it in which a face of
# PANEL.R7D points outside the vertex table. Needs Debian's chromium.
SHOTS := $(BUILD)/screenshots
CHROMIUM_SHOT = chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync --use-angle=swiftshader \
  --enable-unsafe-swiftshader --hide-scrollbars --window-size=1100,640 --virtual-time-budget=5000
screenshots: build
	rm -rf $(SHOTS) && mkdir -p $(SHOTS) && cp -r examples/work $(SHOTS)/work && cp -r examples/work $(SHOTS)/broken
	sed 's/^Face\[   1\]:  0   2   3 /Face[   1]:  0   2   9 /' examples/work/PANEL.R7D > $(SHOTS)/broken/PANEL.R7D
	for dir in work broken; do $(BUILD)/src/view/bxa-view $(SHOTS)/$$dir $(SHOTS)/$$dir-preview 2>/dev/null; done
	$(CHROMIUM_SHOT) --user-data-dir=$(SHOTS)/profile-1 --screenshot=$(CURDIR)/docs/bxa-view.png \
	  "file://$(CURDIR)/$(SHOTS)/work-preview/index.html#PANEL.R7D"
	$(CHROMIUM_SHOT) --user-data-dir=$(SHOTS)/profile-2 --screenshot=$(CURDIR)/docs/bxa-view-broken.png \
	  "file://$(CURDIR)/$(SHOTS)/broken-preview/index.html#PANEL.R7D"

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(BENCH_BUILD) $(SHARED_BUILD)

# ---- Windows: bxa.exe cross-built with MinGW-w64; its end-to-end tests run on this machine under Wine ----
WINDOWS_BUILD    ?= build-windows
WINE_TESTS_BUILD ?= build-wine-tests

.PHONY: windows package-windows test-windows

# The zip an author on Windows unpacks: bxa.exe, the README and the manual as plain text (CR LF).
WINDOWS_ZIP      := $(WINDOWS_BUILD)/bxa-windows-x86_64.zip
WINDOWS_UNZIPPED := $(WINDOWS_BUILD)/unzipped

$(WINDOWS_BUILD)/build.ninja:
	cmake -S . -B $(WINDOWS_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw_w64_x86_64.cmake

# A statically linked $(WINDOWS_BUILD)/src/driver/bxa.exe, and the threaded compressor's check program
windows: $(WINDOWS_BUILD)/build.ninja
	cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target bxa compress_parallel_check

package-windows: windows
	rm -rf $(WINDOWS_BUILD)/package $(WINDOWS_ZIP) && mkdir -p $(WINDOWS_BUILD)/package/bxa
	cp $(WINDOWS_BUILD)/src/driver/bxa.exe $(WINDOWS_BUILD)/package/bxa/
	sed 's/$$/\r/' README.md > $(WINDOWS_BUILD)/package/bxa/README.txt
	groff -man -Tascii -P-cbou docs/bxa.1 | sed 's/$$/\r/' > $(WINDOWS_BUILD)/package/bxa/bxa.txt
	cd $(WINDOWS_BUILD)/package && cmake -E tar cf $(CURDIR)/$(WINDOWS_ZIP) --format=zip bxa
	rm -rf $(WINDOWS_UNZIPPED) && mkdir -p $(WINDOWS_UNZIPPED)
	cd $(WINDOWS_UNZIPPED) && cmake -E tar xf $(CURDIR)/$(WINDOWS_ZIP)
	test "$$(cd $(WINDOWS_UNZIPPED) && find . -type f | sort | tr '\n' ' ')" = \
	  "./bxa/README.txt ./bxa/bxa.exe ./bxa/bxa.txt "
	@echo "$(WINDOWS_ZIP): bxa.exe, README.txt, bxa.txt"

# The end-to-end tests (tests/e2e, tests/driver) built as Linux programs that run the bxa.exe of the zip
# under Wine.
$(WINE_TESTS_BUILD)/build.ninja:
	cmake -S tests/windows -B $(WINE_TESTS_BUILD) -G Ninja \
	  -DBXA_WINDOWS_EXE=$(CURDIR)/$(WINDOWS_UNZIPPED)/bxa/bxa.exe \
	  -DBXA_WINDOWS_COMPRESS_CHECK=$(CURDIR)/$(WINDOWS_BUILD)/src/compress/compress_parallel_check.exe

test-windows: package-windows $(WINE_TESTS_BUILD)/build.ninja
	cmake --build $(WINE_TESTS_BUILD) -j $(JOBS)
	sh tests/windows/run_wine_tests.sh $(WINE_TESTS_BUILD) -j $(JOBS)
