# Quenda — the two set-up commands are `make run` and `make test`.
BUILD   ?= build
BENCH   ?= build-bench
ASAN    ?= build-asan
FUZZ    ?= build-fuzz
FUZZ_SECONDS ?= 120
DEB     ?= build-deb
PREFIX  ?= /usr/local
JOBS    ?= $(shell nproc)

.PHONY: all deps configure build run test test-asan fuzz bench bench-e2e install deb clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DQUENDA_BUILD_TESTS=ON >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Builds the program and runs it in the foreground: on port 53 as root, else on 5353; with its
# window when there is a display, headless otherwise.
run: configure
	@cmake --build $(BUILD) -j $(JOBS) --target quenda
	@if [ "$$(id -u)" = 0 ]; then port=53; else port=5353; \
	  echo "Not root: serving DNS on port 5353. Ask it with: dig @127.0.0.1 -p 5353 example.com"; fi; \
	  exec $(BUILD)/bin/quenda --port $$port

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Every test again under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	@cmake -S . -B $(ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer" \
	  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined \
	  -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=address,undefined \
	  -DCMAKE_MODULE_LINKER_FLAGS=-fsanitize=address,undefined >/dev/null
	@cmake --build $(ASAN) -j $(JOBS)
	@cd $(ASAN) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# Every fuzz target for FUZZ_SECONDS (default two minutes) each, built with clang, libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer. New inputs gather in $(FUZZ)/corpus, crashes
# are kept in $(FUZZ)/crashes; the run fails when there is one.
fuzz:
	@scripts/install-deps.sh --fuzz
	@cmake -S . -B $(FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUENDA_BUILD_TESTS=OFF -DQUENDA_FUZZ=ON \
	  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
	  -DCMAKE_C_FLAGS="-O1 -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" \
	  -DCMAKE_CXX_FLAGS="-O1 -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" \
	  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
	@cmake --build $(FUZZ) -j $(JOBS) --target fuzz_targets
	@fuzz/run_fuzzers.sh $(FUZZ) $(FUZZ_SECONDS)

bench: deps
	@cmake -S . -B $(BENCH) -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUENDA_BUILD_TESTS=OFF -DQUENDA_BUILD_BENCH=ON >/dev/null
	@cmake --build $(BENCH) -j $(JOBS)
	@for b in $(BENCH)/bench/*_bench; do echo "== $$b"; $$b; done
	@JOBS=$(JOBS) bench/compare $(BENCH)

# dnsperf against the running program and a fake name server, beside the name server
# alone (root, in a private network namespace; about two minutes).
bench-e2e: deps
	@JOBS=$(JOBS) bench/end_to_end.sh $(BENCH)

# Installs the program under PREFIX (and DESTDIR, when set): see README, "Install".
install: build
	@cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package, built by the Debian tools from a copy of the tree in $(DEB)/, where the
# .deb lands; lintian then fails it on any error or warning.
deb: deps
	@rm -rf $(DEB) && mkdir -p $(DEB)/quenda
	@tar -c --exclude-vcs --exclude='./build*' . | tar -x -C $(DEB)/quenda
	@cd $(DEB)/quenda && dpkg-buildpackage -us -uc -b
	@lintian --info --fail-on error,warning $(DEB)/*.changes
	@ls -l $(DEB)/*.deb

clean:
	rm -rf $(BUILD) $(BENCH) $(ASAN) $(FUZZ) $(DEB)
