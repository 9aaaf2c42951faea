# KEMRO build entry points.
#   make / make build   configure and build build/kemro and build/kemro-grid (Release)
#   make run            build, then start the interactive program
#   make test           build, then run every test (also under the sanitizers)
#   make bench          build, then run the benchmarks
# Every target first installs any missing Debian package it needs.

BUILD_DIR ?= build
ASAN_DIR  ?= build-asan
JOBS      ?= $(shell nproc 2>/dev/null || echo 2)
PACKAGES  := cmake g++ make libgsl-dev libgtest-dev libbenchmark-dev librsvg2-bin

.PHONY: build run test bench deps clean

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/kemro

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKEMRO_SANITIZE=ON
	cmake --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

bench: build
	cmake --build $(BUILD_DIR) -j $(JOBS) --target kemro_bench
	./$(BUILD_DIR)/kemro_bench --benchmark_out=$(BUILD_DIR)/bench.json --benchmark_out_format=json

# Installs the Debian packages that are missing; needs root (or prints what to install).
deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing missing packages:$$missing"; \
	    apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y $$missing; \
	  else \
	    echo "KEMRO needs these Debian packages:$$missing"; \
	    echo "Install them with: sudo apt-get install$$missing"; \
	    exit 1; \
	  fi; \
	fi

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR)
