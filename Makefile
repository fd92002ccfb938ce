# The two commands a person needs: `make run` and `make test`. Both install what they
# need first (scripts/bootstrap), so they work on a fresh Debian 12 machine as root.

JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
FUZZ_SECONDS ?= 60

.PHONY: all bootstrap build test test-normal test-asan test-tsan fuzz run screens bootstrap-package package format clean

all: build

bootstrap:
	@scripts/bootstrap

build/build.ninja:
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: bootstrap build/build.ninja
	cmake --build build -j $(JOBS)

build-asan/build.ninja:
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMAVU_SANITIZE=address $(CMAKE_FLAGS)

build-tsan/build.ninja:
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMAVU_SANITIZE=thread $(CMAKE_FLAGS)

# Every suite in a normal build, again under ASan+UBSan, and the real queues under TSan.
test: bootstrap
	@$(MAKE) --no-print-directory test-normal test-asan test-tsan

test-normal: build/build.ninja
	cmake --build build -j $(JOBS)
	cd build && ctest --output-on-failure -j $(JOBS)

test-asan: build-asan/build.ninja
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
		UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

test-tsan: build-tsan/build.ninja
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS)

build-fuzz/build.ninja:
	CXX=clang++-16 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DMAVU_SANITIZE=address -DMAVU_FUZZ=ON $(CMAKE_FLAGS)

# Every parser of outside input under libFuzzer with ASan+UBSan, FUZZ_SECONDS each, in a
# build of its own (clang). `make test` replays the kept inputs without clang.
fuzz: bootstrap build-fuzz/build.ninja
	cmake --build build-fuzz --target fuzzers -j $(JOBS)
	@scripts/fuzz build-fuzz $(FUZZ_SECONDS)

# Only the programs it starts: the tests need not be built to try MAVU.
run: bootstrap build/build.ninja
	cmake --build build -j $(JOBS) --target mavu mavu-helper mavu-pmset mavu-verify mavu-ctl
	@scripts/run

# Pictures of the panel and the settings sheet in every state, in build/screens/; the
# README's two in docs/.
screens: bootstrap build/build.ninja
	cmake --build build --target screens
	mkdir -p docs
	cp build/screens/panel-light-unarmed.png docs/panel-light.png
	cp build/screens/panel-dark-armed.png docs/panel-dark.png

# The Debian package, mavu_<version>-<release>_<arch>.deb here, checked by lintian. Built
# in its own tree, for /usr, without the tests, hardened as Debian builds its packages,
# and stripped by the linker: a signature covers the file as linked, so nothing may strip
# it afterwards.
DEB_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
build-package/build.ninja:
	CXXFLAGS="$$($(DEB_FLAGS) CPPFLAGS) $$($(DEB_FLAGS) CXXFLAGS)" \
	LDFLAGS="$$($(DEB_FLAGS) LDFLAGS) -s" \
	cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DCMAKE_INSTALL_PREFIX=/usr -DMAVU_SYSTEMD_UNIT_DIR=/lib/systemd/system \
		-DMAVU_TESTS=OFF $(CMAKE_FLAGS)

bootstrap-package:
	@scripts/bootstrap package

package: bootstrap-package build-package/build.ninja
	cmake --build build-package -j $(JOBS)
	rm -f build-package/mavu_*.deb
	cd build-package && cpack
	cp build-package/mavu_*.deb .
	lintian --fail-on error --display-info mavu_*.deb

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-tsan build-fuzz build-package mavu_*.deb
