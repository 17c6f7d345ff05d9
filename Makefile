# SPDX-License-Identifier: GPL-3.0-or-later
# Thin wrapper over CMake. `make demo` opens the window on a scratch copy of the example site;
# `make test` builds and runs every test; `make package` builds the Debian package.
BUILD ?= build
DEMO := $(BUILD)/demo-site

.PHONY: all build test style lint-code check sanitize package package-check demo bench screenshot install clean

all: build

build:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD)

# Every test: the layer and format checks, the suite, the package (built, validated, unpacked and run), then the suite
# again with AddressSanitizer and UBSan, with the rewrite fuzzed for a minute.
test: style check package-check sanitize

# Layers point down only, every sentence is in the message catalogue, and the code is
# formatted as .clang-format says.
style:
	tools/check-layers.sh
	tools/check-texts.sh
	git ls-files '*.cpp' '*.h' | xargs clang-format-14 --dry-run --Werror

# The checks of .clang-tidy over every source file, two at a time.
lint-code: build
	run-clang-tidy-14 -p $(BUILD) -j2 -quiet "$(CURDIR)/src/"

check: build
	cd $(BUILD) && ctest --output-on-failure -j2

sanitize:
	cmake -S . -B $(BUILD)-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DSPLICERY_SANITIZE=ON -DSPLICERY_FUZZ=ON
	cmake --build $(BUILD)-asan
	cd $(BUILD)-asan && ctest --output-on-failure -j2

# build/splicery_<version>_<arch>.deb, built from debian/ with dpkg-buildpackage (in obj-deb/);
# install it with `sudo apt-get install ./build/splicery_*.deb`.
package: build
	tools/build-package.sh $(BUILD)

package-check: package
	tools/check-package.sh $(BUILD)

# A fresh copy each time, so the shipped example stays as it is.
demo: build
	rm -rf $(DEMO) && cp -r examples/site $(DEMO)
	@if [ -n "$$DISPLAY" ]; then \
	  cd $(DEMO) && ../splicery; \
	else \
	  echo "Kein Bildschirm (DISPLAY) vorhanden: Lauf ohne Fenster in $(DEMO)"; \
	  $(BUILD)/splicery-cli -C $(DEMO); \
	fi

bench: build
	bench/run $(BUILD)

screenshot: build
	tools/screenshot.sh $(BUILD)

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) $(BUILD)-asan obj-deb
