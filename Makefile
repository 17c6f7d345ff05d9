# Thin wrapper over CMake. `make demo` opens the window on a scratch copy of the example site;
# `make test` builds and runs every test.
BUILD ?= build
DEMO := $(BUILD)/demo-site

.PHONY: all build test demo bench screenshot fuzz sanitize install clean

all: build

build:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j2

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
	rm -rf $(BUILD)
