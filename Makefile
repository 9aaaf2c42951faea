# KEMRO build entry points.
#   make / make build   configure and build build/kemro and build/kemro-grid (Release)
#   make run            build, then start the interactive program
#   make test           build, then run every test (also under the sanitizers)
#   make bench          build, then run the benchmarks
#   make fuzz           build the fuzz targets with clang, run each for FUZZ_SECONDS
# Every target first installs any missing Debian package it needs.

BUILD_DIR ?= build
ASAN_DIR  ?= build-asan
JOBS      ?= $(shell nproc 2>/dev/null || echo 2)
PACKAGES  := cmake g++ make libgsl-dev libgtest-dev libbenchmark-dev librsvg2-bin parallel
FUZZ_DIR     ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := answer_reader_fuzz record_writer_fuzz
FUZZ_PACKAGES := cmake make clang libclang-rt-14-dev

.PHONY: build run test bench fuzz deps fuzz-deps clean

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

# Fuzzing is separate from the tests: a clang build of the report code only.
# Each target runs on a copy of its seed corpus (the seeds in fuzz/corpus stay
# as they are); crash inputs land in $(FUZZ_DIR) as <target>-crash-*.
fuzz: fuzz-deps
	cmake -S . -B $(FUZZ_DIR) -DKEMRO_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_DIR) -j $(JOBS)
	@status=0; \
	for t in $(FUZZ_TARGETS); do \
	  rm -rf $(FUZZ_DIR)/corpus/$$t && mkdir -p $(FUZZ_DIR)/corpus && \
	  cp -r fuzz/corpus/$$t $(FUZZ_DIR)/corpus/$$t || exit 1; \
	  echo "Fuzzing $$t for $(FUZZ_SECONDS) s (log: $(FUZZ_DIR)/$$t.log)"; \
	  if ! ./$(FUZZ_DIR)/$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	      -artifact_prefix=$(FUZZ_DIR)/$$t- $(FUZZ_DIR)/corpus/$$t >$(FUZZ_DIR)/$$t.log 2>&1; then \
	    status=1; tail -n 40 $(FUZZ_DIR)/$$t.log; \
	  fi; \
	  grep -E '^(Done|stat::number_of_executed_units)' $(FUZZ_DIR)/$$t.log; \
	done; \
	exit $$status

# Installs the Debian packages in $(1) that are missing; needs root (or prints what to install).
define install_missing
	@missing=""; \
	for p in $(1); do \
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
endef

deps:
	$(call install_missing,$(PACKAGES))

fuzz-deps:
	$(call install_missing,$(FUZZ_PACKAGES))

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(FUZZ_DIR)
