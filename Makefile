# The two commands a newcomer needs: `make demo` and `make test`.
.PHONY: all native test test-native bench clean

all: native

native:
	cmake --preset native
	cmake --build --preset native

test-native: native
	ctest --preset native

test: test-native

# Each frame of the plug-in against its native-call floor, and the INI reader's speed: Release,
# no sanitizers. The wall clock of a shared machine is noisy, so the repetitions run interleaved,
# and callgrind's instruction counts follow, which do not depend on the load at all.
bench:
	cmake --preset bench
	cmake --build build/bench --target fraywick_bench -j2
	build/bench/bin/fraywick_bench --benchmark_repetitions=7 --benchmark_min_time=0.1 \
	  --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
	bench/instructions.sh build/bench/bin/fraywick_bench

clean:
	rm -rf build dist
