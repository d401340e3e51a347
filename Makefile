# The two entry points: `make run` and `make test`. Both install what is missing,
# configure once, build, and run headless.
BUILD ?= build
# The same suite again under AddressSanitizer (leaks included) and UndefinedBehaviorSanitizer;
# with clang it also builds the fuzz targets, whose short runs are part of that suite.
SAN_BUILD ?= build-asan
# Libs/SurfaceAnalysis configured and built on its own: proof that it never needs Apps/.
LIBS_BUILD ?= build-libs
# ccache, where it is installed, keeps rebuilds of other checkouts short; read when a recipe runs,
# after the dependencies are installed.
LAUNCHER = $$(command -v ccache >/dev/null 2>&1 && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
JOBS ?= $(shell nproc)
export QT_QPA_PLATFORM ?= offscreen

.PHONY: all deps configure build run gui test test-main test-libs test-sanitized function-size bench valgrind clean \
	package package-check

all: build

deps:
	@sh tools/install-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPython3_EXECUTABLE=/usr/bin/python3 $(LAUNCHER)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	@cmake --build $(BUILD) -j$(JOBS) -- --no-print-directory

run: build
	@$(BUILD)/bin/oxhost examples/tour.py

# The viewer on the teapot with zebra stripes. With a display it opens there; without one it runs
# on Qt's offscreen platform, writes its window to $(BUILD)/viewer.png and closes.
gui: build
ifneq ($(DISPLAY)$(WAYLAND_DISPLAY),)
	@env -u QT_QPA_PLATFORM $(BUILD)/bin/oxhost --gui --sample teapot examples/viewer.py y
else
	@$(BUILD)/bin/oxhost --gui --sample teapot examples/viewer.py y $(BUILD)/viewer.png
endif

$(SAN_BUILD)/CMakeCache.txt:
	if command -v clang++ >/dev/null 2>&1; then set -- clang++ -DOX_FUZZ=ON; else set -- g++; fi; \
	CXX=$$1 cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOX_SANITIZE=ON $$2 \
		-DPython3_EXECUTABLE=/usr/bin/python3 $(LAUNCHER)

test: test-main test-libs test-sanitized valgrind function-size

test-main: build
	@cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# No function in Apps/ over 80 lines: clang-tidy on the build's sources, one file per core.
function-size: build
	@sh tools/function-size.sh $(BUILD)

test-libs: configure
	@cmake -S Libs/SurfaceAnalysis -B $(LIBS_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DPython3_EXECUTABLE=/usr/bin/python3 $(LAUNCHER) >/dev/null
	@cmake --build $(LIBS_BUILD) -j$(JOBS) -- --no-print-directory
	@cd $(LIBS_BUILD) && ctest --output-on-failure -j$(JOBS) -L module

test-sanitized: configure $(SAN_BUILD)/CMakeCache.txt
	@cmake --build $(SAN_BUILD) -j$(JOBS) -- --no-print-directory
	@cd $(SAN_BUILD) && ctest --output-on-failure -j$(JOBS)

# The Debian package of the build (CPack): $(BUILD)/oxhost_<version>_<arch>.deb. package-check (root)
# installs it with apt-get, runs the installed oxhost outside the checkout and removes it again.
package: build
	@cmake --build $(BUILD) --target package -- --no-print-directory

package-check: package
	@sh tools/package-check.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(LIBS_BUILD)

# Every benchmark program of the build (bench_*), one after the other; figures in BENCHMARKS.md.
# CAD files they read are cached in the build tree, not in the user's cache.
bench: build
	@export XDG_CACHE_HOME="$(abspath $(BUILD))/bench-cache"; for b in $(BUILD)/bin/bench_*; do [ -x "$$b" ] || continue; echo "== $$b"; "$$b" || exit 1; done

# oxhost running the tour under memcheck: no errors, nothing definitely lost. Third-party
# noise (Python, fontconfig, Qt's platform plugin) is in tools/valgrind.supp.
# Then the same for the viewer (oxhost --gui), driven by its test script.
VALGRIND := $(shell command -v valgrind 2>/dev/null)
valgrind: build
ifeq ($(VALGRIND),)
	@echo "valgrind not installed: memcheck run skipped"
else
	@QT_QPA_PLATFORM=offscreen PYTHONMALLOC=malloc valgrind --tool=memcheck --error-exitcode=1 --leak-check=full \
		--errors-for-leak-kinds=definite --show-leak-kinds=definite --suppressions=tools/valgrind.supp \
		--num-callers=30 $(BUILD)/bin/oxhost examples/tour.py
	@QT_QPA_PLATFORM=offscreen PYTHONMALLOC=malloc valgrind --tool=memcheck --error-exitcode=1 --leak-check=full \
		--errors-for-leak-kinds=definite --show-leak-kinds=definite --suppressions=tools/valgrind.supp \
		--num-callers=30 $(BUILD)/bin/oxhost --gui --sample sphere Apps/oxhost/viewer/tests/viewer_script.py
endif
