# KEMRO build entry points.
#   make / make build   configure and build the programs users run (Release), no tests
#   make run            build only the interactive program, then start it
#   make serve          build kemro-serve, then start it on http://127.0.0.1:8080/
#                       (SERVE_ARGS="--port 9000" for other options)
#   make test           build the tests, then run every test (also under the sanitizers)
#   make bench          build, then run the benchmarks
#   make fuzz           build the fuzz targets with clang, run each for FUZZ_SECONDS
#   make install        build, then install the programs and their manual pages
#                       under PREFIX (default /usr/local; DESTDIR is honoured)
#   make uninstall      remove exactly the files the last make install installed
#                       (a staged installation: with the same DESTDIR)
#   make r-package      build the R package's source tarball in build/r
#   make r-install      build it and install it into R's library (R_LIBRARY=dir for another)
#   make r-check        build it and run R CMD check --no-manual on it
#   make r-test         install it into build/r/library and run its testthat tests
# Every target first installs any missing Debian package it needs.

BUILD_DIR ?= build
ASAN_DIR  ?= build-asan
JOBS      ?= $(shell nproc 2>/dev/null || echo 2)
PACKAGES  := cmake g++ make libgsl-dev libgtest-dev libbenchmark-dev librsvg2-bin \
             groff-base mandoc libcsv-dev pkg-config librsvg2-dev libcairo2-dev parallel \
             nlohmann-json3-dev libcpp-httplib-dev
# What the tests need beyond the build: kemro-serve's page is tested in a
# headless browser driven by Selenium (that test is skipped without them).
TEST_PACKAGES := chromium chromium-driver python3-selenium
SERVE_ARGS ?=
PREFIX    ?= /usr/local
FUZZ_DIR     ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := answer_reader_fuzz record_writer_fuzz grid_options_fuzz observed_csv_fuzz \
                observed_options_fuzz serve_query_fuzz
FUZZ_PACKAGES := cmake make clang libclang-rt-14-dev libgsl-dev libcsv-dev pkg-config \
                 librsvg2-dev libcairo2-dev nlohmann-json3-dev
R_PACKAGES := r-base-dev r-cran-rcpp r-cran-testthat libgsl-dev
R_BUILD_DIR  ?= $(BUILD_DIR)/r
R_TEST_LIB   := $(R_BUILD_DIR)/library
R_LIBRARY    ?=
R_TARBALL     = $(R_BUILD_DIR)/kemro_$(shell head -n 1 VERSION).tar.gz
# The programs the R package's tests compare with, to the last bit.
R_PROGRAMS    = KEMRO_GRID=$(abspath $(BUILD_DIR))/kemro-grid \
                KEMRO_OBSERVED=$(abspath $(BUILD_DIR))/kemro-observed

.PHONY: build configure run serve test test-deps bench fuzz deps fuzz-deps install uninstall clean \
        r-deps r-package r-install r-check r-test

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

configure: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release

# Only kemro and the library it links: the shortest way to the first prompt.
run: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target kemro
	./$(BUILD_DIR)/kemro

serve: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target kemro-serve
	./$(BUILD_DIR)/kemro-serve $(SERVE_ARGS)

test: build test-deps
	cmake --build $(BUILD_DIR) -j $(JOBS) --target kemro_tests
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKEMRO_SANITIZE=ON
	cmake --build $(ASAN_DIR) -j $(JOBS) --target all kemro_tests
	cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)
	$(MAKE) r-test

bench: build
	cmake --build $(BUILD_DIR) -j $(JOBS) --target kemro_bench
	./$(BUILD_DIR)/kemro_bench --benchmark_out=$(BUILD_DIR)/bench.json --benchmark_out_format=json

# Fuzzing is separate from the tests: a clang build of the library and the fuzz targets.
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

# The R package (r/kemro): a self-contained source tarball made by
# r/build-package.sh. Suggested packages that are not installed (ggplot2) are
# not forced for R CMD check. The tests of r-test and r-check compare with
# build/kemro-grid and build/kemro-observed.
r-package: r-deps
	sh r/build-package.sh $(R_BUILD_DIR)

r-install: r-package
	R CMD INSTALL $(if $(R_LIBRARY),--library=$(R_LIBRARY)) $(R_TARBALL)

r-check: r-package build
	cd $(R_BUILD_DIR) && _R_CHECK_FORCE_SUGGESTS_=false $(R_PROGRAMS) \
	  R CMD check --no-manual $(notdir $(R_TARBALL))

r-test: r-package build
	rm -rf $(R_TEST_LIB) && mkdir -p $(R_TEST_LIB)
	MAKEFLAGS=-j$(JOBS) R CMD INSTALL --library=$(R_TEST_LIB) $(R_TARBALL) >$(R_BUILD_DIR)/install.log 2>&1 || \
	  { cat $(R_BUILD_DIR)/install.log; exit 1; }
	cd r/kemro/tests && R_LIBS=$(abspath $(R_TEST_LIB)) $(R_PROGRAMS) \
	  Rscript -e 'testthat::test_dir("testthat", package = "kemro", load_package = "installed", stop_on_failure = TRUE)'

# Installs the Debian packages in $(1) that are missing, with the apt-get
# options in $(2); needs root (or prints what to install).
define install_missing
	@missing=""; \
	for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing missing packages:$$missing"; \
	    apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y $(2) $$missing; \
	  else \
	    echo "KEMRO needs these Debian packages:$$missing"; \
	    echo "Install them with: sudo apt-get install$$missing"; \
	    exit 1; \
	  fi; \
	fi
endef

deps:
	$(call install_missing,$(PACKAGES))

test-deps:
	$(call install_missing,$(TEST_PACKAGES),--no-install-recommends)

fuzz-deps:
	$(call install_missing,$(FUZZ_PACKAGES))

# R's recommended packages are not needed to build, check or test the package.
r-deps:
	$(call install_missing,$(R_PACKAGES),--no-install-recommends)

# Through CMake's install rules; CMake lists what it installed in
# $(BUILD_DIR)/install_manifest.txt, which uninstall works from.
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix "$(PREFIX)"

uninstall:
	DESTDIR="$(DESTDIR)" cmake -D MANIFEST=$(BUILD_DIR)/install_manifest.txt -P cmake/uninstall.cmake

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(FUZZ_DIR)
