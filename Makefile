# Thin wrapper over CMake. `make demo` and `make test` do all the set-up on a fresh machine
# (after .ci/run has installed the packages, or with them already present).
BUILD        ?= build
ASAN_BUILD   ?= build-asan
FUZZ_BUILD   ?= build-fuzz
BENCH_BUILD  ?= build-bench
JOBS         ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_RUNS    ?= 20000
FUZZ_SECONDS ?= 60
# make test bounds each target by runs, and caps its time so a slow machine cannot stall CI.
FUZZ_CAP_SECONDS ?= 60
CLANGXX      := $(shell command -v clang++ 2>/dev/null)

.PHONY: all build demo test test-normal test-asan test-fuzz test-install fuzz bench install package screenshots clean

all: build

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	sh examples/demo.sh $(BUILD)/src/driver/bxa
	@echo
	@echo "== bxa-view examples/work $(BUILD)/demo/preview"
	$(BUILD)/src/view/bxa-view examples/work $(BUILD)/demo/preview

test: test-normal test-install test-asan test-fuzz

test-normal: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Installs into a staging prefix, builds the example program against the installed package, runs it on the
# bundled archive, runs the installed bxa-view on the example work directory, and checks that the man pages
# render without warnings.
STAGE := $(CURDIR)/$(BUILD)/stage
test-install: build
	rm -rf $(STAGE) $(BUILD)/list_records
	cmake --install $(BUILD) --prefix $(STAGE) >/dev/null
	cmake -S examples/list_records -B $(BUILD)/list_records -G Ninja -DCMAKE_PREFIX_PATH=$(STAGE) >/dev/null
	cmake --build $(BUILD)/list_records
	$(BUILD)/list_records/list_records examples/example.BXA > $(BUILD)/list_records/out.txt
	cat $(BUILD)/list_records/out.txt
	grep -q '^PANEL.R7D ' $(BUILD)/list_records/out.txt
	test -x $(STAGE)/bin/bxa && test -f $(STAGE)/share/man/man1/bxa.1
	test -x $(STAGE)/bin/bxa-view && test -f $(STAGE)/share/man/man1/bxa-view.1
	rm -rf $(BUILD)/installed-view
	$(STAGE)/bin/bxa-view examples/work $(BUILD)/installed-view 2>$(BUILD)/installed-view.txt
	grep -q '^bxa-view: 3 of 3 models written' $(BUILD)/installed-view.txt
	groff -ww -man -Tutf8 docs/bxa.1 docs/bxa-view.1 2>$(BUILD)/man-warnings.txt >/dev/null
	test ! -s $(BUILD)/man-warnings.txt || (cat $(BUILD)/man-warnings.txt; false)

PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

package: build
	cd $(BUILD) && cpack -G DEB

$(ASAN_BUILD)/build.ninja:
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBXA_SANITIZE=ON

test-asan: $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

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
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(BENCH_BUILD)

# ---- Windows: bxa.exe cross-built with MinGW-w64; its end-to-end tests run on this machine under Wine ----
WINDOWS_BUILD    ?= build-windows
WINE_TESTS_BUILD ?= build-wine-tests

.PHONY: windows test-windows

$(WINDOWS_BUILD)/build.ninja:
	cmake -S . -B $(WINDOWS_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw_w64_x86_64.cmake

# A statically linked $(WINDOWS_BUILD)/src/driver/bxa.exe
windows: $(WINDOWS_BUILD)/build.ninja
	cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target bxa

# The end-to-end tests (tests/e2e, tests/driver) built as Linux programs that run bxa.exe under Wine.
$(WINE_TESTS_BUILD)/build.ninja:
	cmake -S tests/windows -B $(WINE_TESTS_BUILD) -G Ninja \
	  -DBXA_WINDOWS_EXE=$(CURDIR)/$(WINDOWS_BUILD)/src/driver/bxa.exe

test-windows: windows $(WINE_TESTS_BUILD)/build.ninja
	cmake --build $(WINE_TESTS_BUILD) -j $(JOBS)
	sh tests/windows/run_wine_tests.sh $(WINE_TESTS_BUILD) -j $(JOBS)
