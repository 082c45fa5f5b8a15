# The two commands a newcomer needs: `make demo` and `make test`. What each target does is told
# once, in docs/building.md (Make targets); the comments here say why a recipe is as it is.
.PHONY: all packages native test test-native windows windows-gcc test-windows demo release \
  test-reproducible lint bench bench-build test-tsan fuzz test-fuzz test-fresh clean

# cmake runs make underneath; its "Entering directory" chatter would bury the demo's report.
MAKEFLAGS += --no-print-directory

all: native

# What the targets below need beyond git, make, CMake and g++ (GoogleTest, LLVM, mingw-w64, Wine,
# ...), installed when missing: tools/install-tools.sh is the one place that runs apt-get.
packages:
	@tools/install-tools.sh

native: packages
	cmake --preset native
	cmake --build --preset native

test-native: native
	ctest --preset native

# Fraywick.asi with its PDB, and the Windows test program: clang and lld for mingw-w64, the
# build that ships.
windows: packages
	cmake --preset windows
	cmake --build --preset windows

# The same with mingw-w64's g++, the second compiler.
windows-gcc: packages
	cmake --preset windows-gcc
	cmake --build --preset windows-gcc

# The same tests as natively, under Wine, plus the check of Fraywick.asi's import table: on the
# shipped build, then on the second compiler's.
test-windows: windows windows-gcc
	ctest --preset windows
	ctest --preset windows-gcc

# The showcase, on a machine with nothing but cmake and g++: builds fraywick-sim and the plug-in
# (Release, no sanitizers, no test framework), runs the evening at the Valentine saloon and
# draws its map.
demo:
	cmake --preset demo
	cmake --build --preset demo
	build/demo/bin/fraywick-sim --svg build/demo/valentine.svg
	@echo "The map of the evening: $(CURDIR)/build/demo/valentine.svg"

# dist/Fraywick-<version>.zip and dist/Fraywick-<version>-diagnostic.zip from the shipped Windows
# build, and dist/SHA256SUMS over every file in dist/, written last (docs/release.md). It refuses,
# in one line, a checkout with changes not committed, a tag other than project()'s version, and at
# the release's tag a CHANGELOG.md section that is missing or undated (tools/release/ready.cmake);
# any other commit builds a release whose version says -dev+<commit>.
release: packages
	cmake --preset windows
	@refusal=$$(cmake -P build/windows/tools/release/ready.cmake 2>&1) && [ -z "$$refusal" ] || \
	  { echo "$$refusal" >&2; exit 1; }
	cmake --build --preset windows --target release
	rm -rf dist
	mkdir -p dist
	cp build/windows/dist/Fraywick-*.zip dist/
	cmake -DDIR=dist -P tools/release/sums.cmake
	@echo "The release, in $(CURDIR)/dist:" && cat dist/SHA256SUMS

# Two clones of the commit at two different paths, each building only the release: both modules,
# their PDBs, Fraywick-explain.exe, both zips, each file in them and SHA256SUMS, every one named,
# must come out byte for byte the same (build/reproducible).
test-reproducible: packages
	tools/release/reproducible_test.sh

# clang-tidy over src/ with the checks of .clang-tidy, on the native build's compilation database
# (configuring is enough), and clang-format over every C++ file: any finding fails it.
# The LLVM's own clang-tidy and clang-format (tools/toolchain.sh), whichever release it is.
lint: packages
	cmake --preset native
	tools/lint.sh

# The Windows build comes first: a native test compares its traces with the native ones. The
# benchmarks are built, not run, so that they cannot rot unseen. Each stage is timed, and the run
# ends with the seconds each took (tools/stage.sh); a stage that fails stops it and fails it. The
# packages are seen to once, as the first stage (-o packages: not again in each target).
STAGE = @tools/stage.sh
STAGE_MAKE = $(MAKE) -o packages
test:
	@tools/stage.sh --reset
	$(STAGE) install $(MAKE) packages
	$(STAGE) lint $(STAGE_MAKE) lint
	$(STAGE) "Windows clang" $(STAGE_MAKE) windows
	$(STAGE) "Windows g++" $(STAGE_MAKE) windows-gcc
	$(STAGE) native $(STAGE_MAKE) test-native
	$(STAGE) "Windows clang" ctest --preset windows
	$(STAGE) "Windows g++" ctest --preset windows-gcc
	$(STAGE) TSan $(STAGE_MAKE) test-tsan
	$(STAGE) fuzz $(STAGE_MAKE) test-fuzz
	$(STAGE) reproducibility $(STAGE_MAKE) test-reproducible
	$(STAGE) "bench build" $(STAGE_MAKE) bench-build
	@tools/stage.sh --table

# Each frame of the plug-in against its native-call floor, and the INI reader's speed: Release,
# no sanitizers. The wall clock of a shared machine is noisy, so the verdict comes from plug-in
# and floor timed in turns, and callgrind's instruction counts follow, which ignore the load.
bench: bench-build
	build/bench/bin/fraywick_bench --benchmark_repetitions=7 --benchmark_min_time=0.1 \
	  --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
	bench/instructions.sh build/bench/bin/fraywick_bench

bench-build: packages
	cmake --preset bench
	cmake --build build/bench --target fraywick_bench -j2

# The tests in which threads meet (the keyboard handler on its own thread while the script
# runs), built with ThreadSanitizer: a race fails them.
test-tsan: packages
	cmake --preset tsan
	cmake --build build/tsan --target fraywick_thread_tests Fraywick -j2
	ctest --preset tsan

# The INI reader, and the reader of the diagnostic build's recordings, under libFuzzer (clang,
# AddressSanitizer, UndefinedBehaviorSanitizer), each checking its invariants on every input:
# `make fuzz` for ten minutes each, `make test` for thirty seconds each.
FUZZ_SECONDS ?= 600
fuzz: packages
	fuzz/run.sh $(FUZZ_SECONDS) ini
	fuzz/run.sh $(FUZZ_SECONDS) recording

test-fuzz: packages
	fuzz/run.sh 30 ini
	fuzz/run.sh 30 recording

# The README's two commands, `make demo` and `make test`, in a fresh Debian system made with
# debootstrap (DIST=trixie: Debian 13, or bookworm: Debian 12), on a clone of the commit checked
# out, as a user with password-less sudo: fails if either fails (tools/test-fresh.sh), and ends
# with the seconds of debootstrap, make demo and make test (whose own table of stages comes
# before). Needs root or password-less sudo on this machine.
DIST ?= trixie
test-fresh:
	@tools/install-tools.sh debootstrap
	tools/test-fresh.sh $(DIST)

# --one-file-system: a fresh system of test-fresh left mounted by a killed run has the machine's
# /dev bound inside; never delete through it.
clean:
	rm -rf --one-file-system build dist
