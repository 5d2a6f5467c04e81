# Quillora — build, run and test.
#   make run    install what is missing, build a release build, start the program
#   make test   install what is missing, build with ASan+UBSan (benchmarks too, so they keep
#               compiling), run every test, fuzz a minute
#   make install PREFIX=/usr/local   install the release build (menu entry, icon, data files)
#   make deb    build a Debian package of the release build (build/release/quillora_*.deb)

RELEASE_DIR := build/release
TEST_DIR    := build/test
JOBS        ?= $(shell nproc 2>/dev/null || echo 2)

# Debian packages needed to build, run and test.
PKGS := cmake g++ ninja-build pkg-config qt6-base-dev qt6-multimedia-dev libgtest-dev \
        fonts-vlgothic qt6-translations-l10n clang libclang-rt-14-dev xvfb xauth \
        libsqlite3-dev sqlite3 libminiupnpc-dev libnatpmp-dev

# Only the tests need these: headless Chromium reads the HTML chat log back as a browser shows it;
# the router tests build a home router in network namespaces.
TEST_PKGS := chromium miniupnpd-nftables nftables iproute2

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps build run test test-build fuzz bench clean install deb

all: build

deps:
	@missing=""; for p in $(PKGS) $(EXTRA_PKGS); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing >/dev/null; \
	fi

build: deps
	@cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLORA_TESTS=OFF >/dev/null
	@cmake --build $(RELEASE_DIR) -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "No display found: starting under xvfb-run (offscreen)."; \
	  xvfb-run -a $(RELEASE_DIR)/quillora $(ARGS); \
	else $(RELEASE_DIR)/quillora $(ARGS); fi

test-build:
	@$(MAKE) --no-print-directory deps EXTRA_PKGS="$(TEST_PKGS)"
	@cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLORA_SANITIZE=ON -DQUILLORA_BENCH=ON >/dev/null
	@cmake --build $(TEST_DIR) -j $(JOBS)

test: test-build
	@cd $(TEST_DIR) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure
	@$(MAKE) --no-print-directory fuzz

# Fuzz the protocol layer for a minute when clang and its fuzzer runtime are present. Only the
# fuzz target is built; the run works on a copy so the checked-in corpus stays as it is.
# The program is kept from input to input, so libFuzzer's leak check after single inputs is off
# (it would take what the models keep for leaks and re-run nearly every input); the harness
# checks for leaks each time it takes the program down instead. A small quarantine still holds
# far more than one input frees and keeps the memory the sanitizer reuses warm; a run whose
# memory climbs past the limit fails. Five frames of every allocation's stack are kept (not
# thirty): recording them is a good part of what an input costs, and a report still names the
# caller that allocated or freed. The program folder of the run lives in memory where it can,
# as the files inputs make come and go all the time.
FUZZ_DIR  := build/fuzz
FUZZ_TIME ?= 60
fuzz:
	@if ! command -v clang++ >/dev/null || \
	    ! dpkg-query -W -f='$${Status}' libclang-rt-14-dev 2>/dev/null | grep -q "install ok installed"; then \
	  echo "clang or libclang-rt-14-dev missing: protocol fuzzing skipped."; exit 0; \
	fi; \
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DQUILLORA_FUZZ=ON -DQUILLORA_TESTS=ON >/dev/null && \
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target protocol_fuzz && \
	rm -rf $(FUZZ_DIR)/corpus && cp -r tests/fuzz/corpus $(FUZZ_DIR)/corpus && \
	cd $(FUZZ_DIR) && \
	TMPDIR=$$(test -w /dev/shm && echo /dev/shm || echo $${TMPDIR:-/tmp}) \
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:quarantine_size_mb=32:malloc_context_size=5 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ./tests/fuzz/protocol_fuzz -max_total_time=$(FUZZ_TIME) -detect_leaks=0 -rss_limit_mb=1024 \
	  -print_final_stats=1 corpus

PREFIX ?= /usr/local
install: build
	@cmake --install $(RELEASE_DIR) --prefix $(PREFIX)

deb: build
	@cd $(RELEASE_DIR) && cpack -G DEB >/dev/null && ls -1 $(CURDIR)/$(RELEASE_DIR)/quillora_*.deb

bench: build
	@cmake -S . -B $(RELEASE_DIR) -DQUILLORA_BENCH=ON >/dev/null
	@cmake --build $(RELEASE_DIR) -j $(JOBS)

clean:
	rm -rf build
