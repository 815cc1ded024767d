# Two commands for a fresh Debian 12 machine (as root or with sudo):
#   make run    install what the program needs, build it alone (plain build, build-run/), start it
#   make test   install what is missing, build everything (plain, sanitized, fuzz, arm64
#               and armhf, Debian 13), run every test (the ARM ones under qemu-user, the
#               packages installed in Debian 12 and 13 roots); each phase's tests run
#               while the next phase builds at idle priority (BUILD_AHEAD= turns that off)
# Also: make check (the fast unit tests, in parallel), make build, make bench,
# make soak, make fuzz-long, make format.
#   make framework [PREFIX=/usr/local] the framework alone (no soundboard, tests, benchmarks or
#               cross toolchains), built in build-framework/ and installed under PREFIX
#   make board SOUNDS=path/to/folder   a soundboard of your own sounds, in build-board/
#   make package                       the Debian package, in build/
#   make cross ARCH=arm64|armhf        the program, framework, tour and tests for ARM, in build-ARCH/
#   make test-cross ARCH=arm64|armhf   those tests under qemu-user
#   make package ARCH=arm64|armhf      the Debian package for ARM, in build-ARCH/
#   make package DIST=trixie           the Debian 13 (amd64) package, in build-trixie/
#   make package DIST=trixie ARCH=arm64|armhf   the Raspberry Pi OS trixie package, in build-trixie-ARCH/
#   make test-roots                    both amd64 packages installed in fresh Debian 12/13 roots
#   make test-trixie-cross             the arm64 trixie program under qemu-user
#   make test-releases                 both of those (make test runs them too)

.PHONY: setup configure build build-asan build-fuzz run framework check test test-default test-asan test-fuzz test-cross-all fuzz-long bench soak format clean

setup:
	@sh tools/setup.sh test

# The plain build takes Debian's default compiler and linker flags (hardening,
# fortified C library calls), so every test run is also a build as a
# distribution's package would make it; the preset adds -Werror.
DEB_FLAGS = -DCMAKE_C_FLAGS="$$(dpkg-buildflags --get CFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
	-DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CXXFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
	-DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)"

configure: setup
	cmake --preset default $(DEB_FLAGS) >/dev/null

build: configure
	cmake --build --preset default

build-asan: setup
	cmake --preset asan >/dev/null
	cmake --build --preset asan

# Fuzz targets need clang's libFuzzer; without clang this step is skipped
# (the corpora are still replayed by the plain and sanitized test runs).
build-fuzz: setup
	@if command -v clang++ >/dev/null; then cmake --preset fuzz >/dev/null && cmake --build --preset fuzz; fi

# For a user: only the packages building and running the program needs, and
# only the program, in the plain build (Debian's flags, no -Werror, no tests,
# no benchmarks) in its own folder, so the developer build in build/ keeps its
# own settings.
run:
	@sh tools/setup.sh run
	cmake -S . -B build-run -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOSTREL_TESTS=OFF -DVOSTREL_BENCH=OFF $(DEB_FLAGS) >/dev/null
	cmake --build build-run -j$$(nproc) --target vostrel-soundboard
	./build-run/vostrel-soundboard

# The framework alone, for applications built on it: only its library,
# headers, CMake package and pkg-config file are built and installed.
PREFIX ?= /usr/local
framework:
	@sh tools/setup.sh run
	cmake -S . -B build-framework -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOSTREL_TESTS=OFF -DVOSTREL_BENCH=OFF >/dev/null
	cmake --build build-framework -j$$(nproc) --target vostrel_framework
	cmake --install build-framework --component framework --prefix $(PREFIX)

# The release checks need a display: use the one we have, or start a private
# Xvfb. CTest's tests bring their own (tests/private_display.sh), so they run
# TEST_JOBS at a time: most of a test's time is spent waiting for a program,
# a server or a window, not computing.
XRUN = $(if $(DISPLAY),,xvfb-run -a -s "-screen 0 1024x768x24 -noreset")
TEST_JOBS ?= 4

# Within make test, each phase's tests run while later phases' programs build
# (with_build_ahead): the build at the lowest processor and disk priority
# (nice 19, the idle I/O class), so the tests, which mostly wait on programs,
# servers and windows, keep the processor whenever they want it and the build
# takes the time they leave. The later phase's own step then finds its build
# done. $(call with_build_ahead,NAME,BUILD COMMANDS,TEST COMMAND) ends with
# the test command's status once the build has ended; a failed build shows the
# end of its log (build-ahead-NAME.log) and fails too. Outside make test
# (BUILD_AHEAD empty) the test command runs alone.
BUILD_AHEAD ?=
IDLE_MAKE = nice -n 19 $(if $(shell command -v ionice),ionice -c 3) $(MAKE) --no-print-directory
with_build_ahead = $(if $(BUILD_AHEAD),log=build-ahead-$(1).log; \
	( $(2) ) >$$log 2>&1 & ahead=$$!; \
	$(3); status=$$?; \
	if ! wait $$ahead; then tail -40 $$log; echo "build ahead failed: $(1)" >&2; exit 1; fi; \
	exit $$status,$(3))

# The sanitized and fuzz builds during the plain tests; the armhf build and
# the arm64 one during the sanitized tests.
test-default: build
	$(call with_build_ahead,asan,$(IDLE_MAKE) build-asan && $(IDLE_MAKE) build-fuzz,\
	  ctest --preset default -j$(TEST_JOBS))

test-asan: build-asan
	$(call with_build_ahead,cross,$(IDLE_MAKE) cross ARCH=armhf CROSS_TARGETS='$(ARMHF_TARGETS)' && \
	  $(IDLE_MAKE) cross ARCH=arm64,ctest --preset asan -j$(TEST_JOBS))

# Each fuzz target computes on one core.
test-fuzz: build-fuzz
	@if command -v clang++ >/dev/null; then ctest --preset fuzz -j$$(nproc); else echo "clang not found: fuzz runs skipped"; fi

# The ARM builds under emulation: for armhf the program with its smoke tests,
# the float results and the board's picture; for arm64 every test that runs
# under emulation, whose ctest count line ends the run; then the release
# checks.
# In make test the release checks run during the arm64 tests, which emulate
# one program at a time and so leave the other core to them: first their
# Debian 13 builds at idle priority, then the checks themselves at the
# ordinary one (their log, build-ahead-releases.log, is printed after).
ARMHF_TARGETS = vostrel-soundboard test_smoke test_float_exact
test-cross-all:
	$(MAKE) test-cross ARCH=armhf CROSS_TARGETS='$(ARMHF_TARGETS)' \
	  CROSS_TESTS='^(test_smoke|test_float_exact|same_screenshot_as_native)'
	$(call with_build_ahead,releases,$(IDLE_MAKE) build-trixie && $(IDLE_MAKE) build-trixie-cross ARCH=arm64 && \
	  $(MAKE) --no-print-directory test-releases,$(MAKE) test-cross ARCH=arm64)
	@if [ -n "$(BUILD_AHEAD)" ]; then echo "== release checks (beside the arm64 tests)"; \
	  cat build-ahead-releases.log; else $(MAKE) --no-print-directory test-releases; fi

test: BUILD_AHEAD = 1
test: fetch-ahead test-default test-asan test-fuzz test-cross-all

# The sysroots and Debian roots of the later steps, downloaded in the
# background while the first builds compile (tools/fetch_ahead.sh, its output
# in build-fetch-ahead.log); each step still asks for its folder and waits for
# it there.
.PHONY: fetch-ahead
fetch-ahead: setup
	@sh tools/fetch_ahead.sh $(CURDIR) > build-fetch-ahead.log 2>&1 &

# The packages checked on both releases: each amd64 package installed in a
# fresh Debian root, its picture compared, and the trixie build's smoke,
# end-to-end, PipeWire restart and named-sink tests run in the Debian 13 root
# (on its SDL 2, beneath sdl12-compat, which names sinks its own way); the arm64
# trixie program and its smoke test under qemu.
.PHONY: test-releases
test-releases: test-roots test-trixie-cross

# The tests labelled "unit" (tests/CMakeLists.txt): fast, two at a time.
check: build
	ctest --preset default -L unit -j$(TEST_JOBS)

# Every fuzz target for FUZZ_SECONDS each. New inputs go to
# build-fuzz/long-corpus/NAME (the committed seeds are only read), crash
# inputs to build-fuzz/.
FUZZ_SECONDS ?= 300
fuzz-long: build-fuzz
	@command -v clang++ >/dev/null || { echo "clang not found: no fuzz targets"; exit 1; }
	@set -e; for src in tests/fuzz_*.cpp; do name=$$(basename $$src .cpp); \
	  echo "== $$name: $(FUZZ_SECONDS) s"; mkdir -p build-fuzz/long-corpus/$$name; \
	  (cd build-fuzz && SDL_AUDIODRIVER=dummy ./tests/$$name -max_total_time=$(FUZZ_SECONDS) \
	    -rss_limit_mb=2048 -print_final_stats=1 long-corpus/$$name ../tests/corpus/$$name); \
	done

bench: build
	$(XRUN) sh bench/run.sh

# The sanitized test run's monkey (random X input against the program) for
# ten minutes instead of 30 seconds; SOAK_SECONDS changes the length. Then the
# kiosk's start on a resetting server SOAK_KIOSK_STARTS times (make test
# starts it 5 times).
SOAK_SECONDS ?= 600
SOAK_KIOSK_STARTS ?= 50
soak: build-asan
	$(XRUN) env VOSTREL_MONKEY_SECONDS=$(SOAK_SECONDS) SDL_AUDIODRIVER=dummy \
	  ASAN_OPTIONS=detect_leaks=0 ./build-asan/tests/monkey
	env VOSTREL_KIOSK_STARTS=$(SOAK_KIOSK_STARTS) SDL_AUDIODRIVER=dummy ASAN_OPTIONS=detect_leaks=0 \
	  ./build-asan/tests/test_kiosk

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

# Own board: a folder of 1 to 20 sounds appended by the board maker to a copy
# of build/'s program, as build-board/vostrel-soundboard. Nothing is compiled
# for the board itself.
.PHONY: board
board: setup
	@test -n "$(SOUNDS)" || { echo "usage: make board SOUNDS=path/to/folder" >&2; exit 2; }
	cmake --preset default $(DEB_FLAGS) >/dev/null
	cmake --build --preset default --target vostrel-soundboard vostrel-make-board
	mkdir -p build-board
	./build/vostrel-make-board "$(SOUNDS)" -o build-board/vostrel-soundboard --program build/vostrel-soundboard

# Debian package of the soundboard (build/vostrel-soundboard_<version>_<arch>.deb),
# checked by lintian (errors fail) and desktop-file-validate. With ARCH=arm64
# or armhf, the cross build's package in build-ARCH/. With DIST=trixie, the
# package for Debian 13 / Raspberry Pi OS trixie, in build-trixie/ (amd64) or
# build-trixie-ARCH/.
.PHONY: package
ifeq ($(DIST),trixie)
ifneq ($(filter arm64 armhf,$(ARCH)),)
package: package-trixie-cross
else
package: package-trixie
endif
else ifneq ($(filter-out bookworm,$(DIST)),)
package:
	@echo "DIST must be bookworm (the default) or trixie" >&2; exit 2
else ifneq ($(filter arm64 armhf,$(ARCH)),)
package: cross
	rm -f build-$(ARCH)/vostrel-soundboard_*.deb
	cd build-$(ARCH) && cpack -G DEB
	lintian --fail-on error build-$(ARCH)/vostrel-soundboard_*_$(ARCH).deb
	desktop-file-validate tools/install/vostrel-soundboard.desktop
else
package: build
	cd build && cpack -G DEB
	lintian --fail-on error build/vostrel-soundboard_*.deb
	desktop-file-validate tools/install/vostrel-soundboard.desktop
endif

# The Debian 13 (trixie) build: this host's compiler and libraries, but the
# one library whose ABI differs between the releases, LodePNG (trixie's
# liblodepng0.1: another soname and C symbols), taken from a sysroot of
# trixie packages (build-sysroot-trixie-amd64/, made by tools/cross/sysroot.sh
# and kept until tools/cross/packages-trixie.txt changes), which also gives
# dpkg-shlibdeps trixie's package names for the Depends. The program then
# needs no newer C library than Debian 12's, and runs on Debian 13's.
# Its test programs named in TRIXIE_TESTS are built beside it, to run in a
# Debian 13 root (test-roots).
TRIXIE_SYSROOT = $(CURDIR)/build-sysroot-trixie-amd64
TRIXIE_TESTS = test_smoke;test_e2e;test_pulse
TRIXIE_LODEPNG = $(CURDIR)/build-trixie/lodepng
.PHONY: package-trixie build-trixie
build-trixie: setup
	sh tools/cross/sysroot.sh amd64 $(TRIXIE_SYSROOT) trixie
	mkdir -p $(TRIXIE_LODEPNG)
	cp $(TRIXIE_SYSROOT)/usr/include/lodepng.h $(TRIXIE_SYSROOT)/usr/lib/x86_64-linux-gnu/liblodepng.so.0.1 $(TRIXIE_LODEPNG)/
	ln -sf liblodepng.so.0.1 $(TRIXIE_LODEPNG)/liblodepng.so
	cmake -S . -B build-trixie -DCMAKE_BUILD_TYPE=RelWithDebInfo $(DEB_FLAGS) \
	  -DVOSTREL_TEST_ONLY="$(TRIXIE_TESTS)" -DVOSTREL_BENCH=OFF -DCMAKE_SKIP_BUILD_RPATH=ON \
	  -DLODEPNG_INCLUDE=$(TRIXIE_LODEPNG) -DLODEPNG_LIB=$(TRIXIE_LODEPNG)/liblodepng.so \
	  -DVOSTREL_DEB_ARCH=amd64 -DVOSTREL_SYSROOT=$(TRIXIE_SYSROOT) >/dev/null
	cmake --build build-trixie -j2

package-trixie: build-trixie
	rm -f build-trixie/vostrel-soundboard_*.deb
	cd build-trixie && cpack -G DEB
	lintian --fail-on error build-trixie/vostrel-soundboard_*_amd64.deb
	desktop-file-validate tools/install/vostrel-soundboard.desktop

# For Raspberry Pi OS trixie (ARCH=arm64 or armhf): the cross build of
# `make cross` (Debian 12's cross compilers and sysroot) with trixie's LodePNG
# from a trixie sysroot of that architecture (build-sysroot-trixie-ARCH/),
# against which the Depends are computed; in build-trixie-ARCH/.
TRIXIE_CROSS_SYSROOT = $(CURDIR)/build-sysroot-trixie-$(ARCH)
TRIXIE_CROSS_LODEPNG = $(CURDIR)/build-trixie-$(ARCH)/lodepng
.PHONY: build-trixie-cross package-trixie-cross
build-trixie-cross: setup
	@case "$(ARCH)" in arm64|armhf) ;; *) echo "ARCH must be arm64 or armhf" >&2; exit 2 ;; esac
	sh tools/cross/sysroot.sh $(ARCH) $(CROSS_SYSROOT)
	sh tools/cross/sysroot.sh $(ARCH) $(TRIXIE_CROSS_SYSROOT) trixie
	mkdir -p $(TRIXIE_CROSS_LODEPNG)
	cp $(TRIXIE_CROSS_SYSROOT)/usr/include/lodepng.h \
	  $(TRIXIE_CROSS_SYSROOT)/usr/lib/$$(dpkg-architecture -a$(ARCH) -qDEB_HOST_MULTIARCH 2>/dev/null)/liblodepng.so.0.1 \
	  $(TRIXIE_CROSS_LODEPNG)/
	ln -sf liblodepng.so.0.1 $(TRIXIE_CROSS_LODEPNG)/liblodepng.so
	cmake -S . -B build-trixie-$(ARCH) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/tools/cross/toolchain.cmake \
	  -DVOSTREL_CROSS_ARCH=$(ARCH) -DVOSTREL_SYSROOT=$(CROSS_SYSROOT) -DVOSTREL_BENCH=OFF \
	  -DVOSTREL_TEST_ONLY=test_smoke -DVOSTREL_RUN_SYSROOT=$(TRIXIE_CROSS_SYSROOT) -DCMAKE_SKIP_BUILD_RPATH=ON \
	  -DLODEPNG_INCLUDE=$(TRIXIE_CROSS_LODEPNG) -DLODEPNG_LIB=$(TRIXIE_CROSS_LODEPNG)/liblodepng.so \
	  -DVOSTREL_DEPENDS_SYSROOT=$(TRIXIE_CROSS_SYSROOT) >/dev/null
	cmake --build build-trixie-$(ARCH) -j2

package-trixie-cross: build-trixie-cross
	rm -f build-trixie-$(ARCH)/vostrel-soundboard_*.deb
	cd build-trixie-$(ARCH) && cpack -G DEB
	lintian --fail-on error build-trixie-$(ARCH)/vostrel-soundboard_*_$(ARCH).deb

# The arm64 trixie package as apt installs it on a fresh Raspberry Pi OS
# trixie: its Depends resolved against trixie's arm64 archive, their closure
# and the package unpacked in build-root-trixie-arm64/ (no maintainer script
# runs: they are arm64 programs); the installed program run there under
# qemu-user, drawn and a tap heard (tools/root/check_emulated.sh). Then the
# build's smoke test with the trixie sysroot, on Debian 13's SDL
# (sdl12-compat) and Mesa (no OpenGL ES 1: the default path).
.PHONY: test-trixie-cross
test-trixie-cross:
	$(MAKE) package DIST=trixie ARCH=arm64
	sh tools/cross/sysroot.sh arm64 $(CURDIR)/build-root-trixie-arm64 trixie \
	  $$(ls build-trixie-arm64/vostrel-soundboard_*_arm64.deb)
	$(XRUN) sh tools/root/check_emulated.sh qemu-aarch64 build-root-trixie-arm64 \
	  build-root-trixie-arm64/usr/bin/vostrel-soundboard build-trixie-arm64/emulated.png
	cd build-trixie-arm64 && $(XRUN) env SDL_AUDIODRIVER=dummy VOSTREL_WAIT_SCALE=4 \
	  qemu-aarch64 -L $(CURDIR)/build-sysroot-trixie-arm64 tests/test_smoke

# Each release's amd64 package installed with apt in a fresh Debian root of
# that release (debootstrap minbase, kept in build-root-DIST/ as a template),
# its program started on this display, the board's picture saved and a tap
# heard (tools/root/check_package.sh). Prints install and start-up times.
# The two pictures must match byte for byte, although Debian 12 draws through
# OpenGL ES 1.1 and Debian 13, whose Mesa builds no ES 1 (eglCreateContext
# answers EGL_BAD_ALLOC for every ES 1 config), through SDL's OpenGL context.
.PHONY: test-roots
test-roots: package package-trixie
	sh tools/root/root.sh bookworm $(CURDIR)/build-root-bookworm
	sh tools/root/root.sh trixie $(CURDIR)/build-root-trixie
	$(XRUN) sh tools/root/check_package.sh build-root-bookworm build/vostrel-soundboard_*_amd64.deb build/root-bookworm.png
	$(XRUN) sh tools/root/check_package.sh build-root-trixie build-trixie/vostrel-soundboard_*_amd64.deb build-trixie/root-trixie.png \
	  build-trixie test_smoke test_e2e 'test_pulse:PipeWire*:PulseAudio*NamedSink*'
	cmp build/root-bookworm.png build-trixie/root-trixie.png
	@echo "test-roots: the board's picture is byte for byte the same on both releases"

# Cross builds for ARM devices, ARCH=arm64 (the default) or armhf: Debian's
# cross compilers (tools/cross/toolchain.cmake) against a sysroot of that
# architecture's packages, made by tools/cross/sysroot.sh in
# build-sysroot-ARCH/ and kept until tools/cross/packages.txt changes. The
# host's own packages and apt settings are left as they are. Benchmarks are
# not built: timings under emulation measure the emulator.
# CROSS_TARGETS narrows the build to those targets.
ARCH ?= arm64
CROSS_SYSROOT = $(CURDIR)/build-sysroot-$(ARCH)
CROSS_TARGETS ?=
.PHONY: cross test-cross
cross: setup
	@case "$(ARCH)" in arm64|armhf) ;; *) echo "ARCH must be arm64 or armhf" >&2; exit 2 ;; esac
	sh tools/cross/sysroot.sh $(ARCH) $(CROSS_SYSROOT)
	cmake -S . -B build-$(ARCH) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/tools/cross/toolchain.cmake \
	  -DVOSTREL_CROSS_ARCH=$(ARCH) -DVOSTREL_SYSROOT=$(CROSS_SYSROOT) -DVOSTREL_BENCH=OFF \
	  -DVOSTREL_NATIVE_BUILD=$(CURDIR)/build >/dev/null
	cmake --build build-$(ARCH) -j2 $(if $(CROSS_TARGETS),--target $(CROSS_TARGETS))

# The cross build's tests, each program run by qemu-user (CMake's cross-
# compiling emulator) against this machine's X display, and the board's
# picture compared with the native build's; the tests listed in
# tools/cross/not_emulated.txt are left out, and printed with their reasons.
# CROSS_TESTS narrows the run to a ctest name pattern (-R).
CROSS_TESTS ?=
CROSS_TEST_JOBS ?= 1
test-cross: cross build
	@echo "Not run under emulation (tools/cross/not_emulated.txt):"
	@sed -n 's,^\([A-Za-z0-9_]*\(/[^:]*\)\{0\,1\}\): *,  \1 -- ,p' tools/cross/not_emulated.txt
	ctest --test-dir build-$(ARCH) --output-on-failure -LE not_emulated -j$(CROSS_TEST_JOBS) \
	  $(if $(CROSS_TESTS),-R '$(CROSS_TESTS)')

clean:
	rm -f build-ahead-*.log
	rm -rf build build-run build-framework build-asan build-fuzz build-board build-arm64 build-armhf build-trixie build-trixie-arm64 build-trixie-armhf build-root-trixie-arm64
