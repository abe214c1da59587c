# Quenda — the two set-up commands are `make run` (later) and `make test`.
BUILD   ?= build
BENCH   ?= build-bench
JOBS    ?= $(shell nproc)

.PHONY: all deps configure build test bench clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DQUENDA_BUILD_TESTS=ON >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: deps
	@cmake -S . -B $(BENCH) -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUENDA_BUILD_TESTS=OFF -DQUENDA_BUILD_BENCH=ON >/dev/null
	@cmake --build $(BENCH) -j $(JOBS)
	@for b in $(BENCH)/bench/*_bench; do echo "== $$b"; $$b; done

clean:
	rm -rf $(BUILD) $(BENCH)
