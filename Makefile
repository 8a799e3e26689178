# The two commands: `make run` and `make test`. Each installs the Debian packages
# that are missing (through sudo when not root), configures and builds into build/.

BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
WERROR     ?= ON
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 60

PACKAGES := cmake ninja-build g++ pkg-config qt6-base-dev qt6-svg-dev libgl-dev libqt6svg6 \
            libgtest-dev libgmock-dev adwaita-icon-theme liblnk-utils liblnk-dev \
            libglib2.0-dev libglib2.0-bin
# The tests of the installed program and of the Debian package: the desktop's
# validators and dpkg-shlibdeps. Drags and the clipboard with a real file manager:
# Xvfb, Thunar in a D-Bus session, xdotool for the pointer and keys, xclip to ask
# what the clipboard offers.
TEST_PACKAGES := desktop-file-utils appstream dpkg-dev xvfb thunar xdotool dbus-x11 xclip
# `make package`: dpkg-shlibdeps for the dependencies, lintian to check the result.
PACKAGE_PACKAGES := dpkg-dev lintian
FUZZ_PACKAGES := clang libclang-rt-14-dev

# `make install` puts the program under PREFIX (inside DESTDIR when given).
PREFIX  ?= /usr/local
DESTDIR ?=

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps test-deps package-deps fuzz-deps configure build run test install package \
        sanitize tsan fuzz bench clean

all: build

# $(call apt_install,PACKAGES): installs those of PACKAGES that are missing; does
# nothing (and needs no network) when all are there.
define apt_install
	@missing=""; for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi
endef

deps:
	$(call apt_install,$(PACKAGES))

test-deps: deps
	$(call apt_install,$(TEST_PACKAGES))

package-deps: deps
	$(call apt_install,$(PACKAGE_PACKAGES))

fuzz-deps: deps
	$(call apt_install,$(FUZZ_PACKAGES))

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_WERROR=$(WERROR)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Opens the program on the sample folder (or on ARGS). Without a display it says so
# and prints the sample's report instead; the report's status 1 (the sample's broken
# link failed the test, as it should) counts as success.
run: build
	@if [ -z "$${DISPLAY:-}" ] && [ -z "$${WAYLAND_DISPLAY:-}" ]; then \
	  echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): printing the report of the sample folder instead."; \
	  ./$(BUILD)/quillmere --report --test $(BUILD)/sample; st=$$?; \
	  if [ $$st -eq 0 ] || [ $$st -eq 1 ]; then exit 0; else exit $$st; fi; \
	fi; \
	if [ -n "$(ARGS)" ]; then ./$(BUILD)/quillmere $(ARGS); else ./$(BUILD)/quillmere $(BUILD)/sample; fi

test: test-deps build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# Installs what `make build` built; through sudo when PREFIX cannot be written.
install: build
	@dest="$(DESTDIR)$(PREFIX)"; sudo=""; \
	if [ "$$(id -u)" != 0 ] && ! { mkdir -p "$$dest" 2>/dev/null && [ -w "$$dest" ]; }; then sudo=sudo; fi; \
	$$sudo env DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# The Debian package, build/quillmere_VERSION_ARCH.deb, checked by lintian.
package: package-deps build
	cmake --build $(BUILD) --target package
	@deb=$$(ls -t $(BUILD)/quillmere_*.deb | head -1); echo "lintian $$deb"; \
	lintian --fail-on error "$$deb"

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQM_SANITIZE=ON -DQM_WERROR=$(WERROR)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

# The folder watcher's tests under ThreadSanitizer: its worker threads and their
# hand-off to the GUI thread. Qt is not built for it, so the hand-off is made of
# standard mutexes and condition variables and the tests need no QApplication.
tsan: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_TSAN=ON -DQM_BENCH=OFF \
	  -DQM_WERROR=$(WERROR)
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target qm_tests_dirwatch
	cd $(TSAN_BUILD) && QT_QPA_PLATFORM=offscreen TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  ./tests/qm_tests_dirwatch

# libFuzzer targets, seeded from the corpus; each runs FUZZ_SECONDS.
fuzz: fuzz-deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DQM_FUZZ=ON -DQM_TESTS=OFF -DQM_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_all
	cd $(FUZZ_BUILD) && FUZZ_SECONDS=$(FUZZ_SECONDS) ../fuzz/run-all.sh

bench: build
	cmake --build $(BUILD) -j $(JOBS) --target bench_all
	./bench/run-all.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
