# The two commands a newcomer needs: `make demo` and `make test`.
.PHONY: all native test test-native clean

all: native

native:
	cmake --preset native
	cmake --build --preset native

test-native: native
	ctest --preset native

test: test-native

clean:
	rm -rf build dist
