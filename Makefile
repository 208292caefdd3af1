# Front door for a fresh Debian machine:
#   make demo   install what the demo needs, build the CLI, run `maskjpeg demo`
#   make test   install what is missing, build, run every test phase and end
#               with a summary of them: the AddressSanitizer + UBSan build, the
#               ThreadSanitizer build, a short libFuzzer run of each target for
#               each kernel family this CPU has, the clang Release build, the
#               suite with the dispatch capped at each lesser kernel family,
#               the cross targets under wine and qemu-user, then the plain
#               build (with its valgrind pass)
# Also: make build, make install [PREFIX=/usr/local], make bench, make cross,
#       make cross-deps, make fuzz [FUZZ_SECONDS=600], make fuzz-seeds,
#       make fuzz-merge, make demo-samples, make clean.

BUILD       ?= build
JOBS        ?= 2
PREFIX      ?= /usr/local
FUZZ_SECONDS ?= 600
FUZZ_SMOKE_SECONDS ?= 30
BENCH_REPETITIONS ?= 5
# Debian's python3, which has numpy and python-lzo, for the binding's benchmark.
BENCH_PYTHON ?= $(shell [ -x /usr/bin/python3 ] && echo /usr/bin/python3 || echo python3)
# Kernel families this CPU runs, plainest first; the last is what `auto` picks.
FAMILIES    := $(shell sh fuzz/kernel_families.sh)
BEST_FAMILY := $(lastword $(FAMILIES))
LESSER_FAMILIES := $(filter-out $(BEST_FAMILY),$(FAMILIES))
TEST_PHASES = test-sanitize test-thread test-fuzz test-clang test-kernels test-cross test-plain
# Cross targets: the toolchain in cmake/toolchains/<triple>.cmake, the tests
# run under wine or qemu-user.
CROSS_TARGETS = x86_64-w64-mingw32 i686-w64-mingw32 aarch64-linux-gnu s390x-linux-gnu
CROSS_PACKAGES = mingw-w64 wine wine64 wine32:i386 qemu-user g++-aarch64-linux-gnu \
                 g++-s390x-linux-gnu dpkg-dev cmake make pkg-config
DEBIAN_PACKAGES = cmake make g++ pkg-config binutils liblzo2-dev libpng-dev \
                  libjpeg-dev libgtest-dev libbenchmark-dev clang libclang-rt-dev valgrind man-db \
                  python3 python3-numpy python3-venv python3-pip python3-setuptools \
                  python3-wheel python3-lzo $(HOST_PACKAGES)
# What the host examples (examples/, the host_* tests) build and run with;
# Node.js and npm come from Debian only when no node is installed, and koffi
# from the npm registry (host-deps), whose prebuilt binary comes in its
# platform package, so no install script is run.
HOST_PACKAGES = mono-devel libjna-java openjdk-17-jdk-headless golang-go cargo
SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)
CMAKE_COMMON = -DCMAKE_BUILD_TYPE=Release -DMASKJPEG_WERROR=ON

.PHONY: all deps host-deps build install demo test test-plain test-sanitize test-thread test-fuzz \
        test-clang test-kernels test-cross cross cross-deps bench fuzz-build fuzz fuzz-seeds fuzz-merge demo-samples clean

all: build

# Installs only the packages that are not there yet.
deps:
	@missing=""; \
	for p in $(DEBIAN_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  $(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y $$missing; \
	fi

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_COMMON)
	cmake --build $(BUILD) -j $(JOBS)

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The demo needs only the library, the CLI and what they build with.
DEMO_PACKAGES = cmake make g++ pkg-config liblzo2-dev libpng-dev
demo:
	@$(MAKE) --no-print-directory deps DEBIAN_PACKAGES="$(DEMO_PACKAGES)"
	cmake -S . -B $(BUILD)-demo -DCMAKE_BUILD_TYPE=Release -DMASKJPEG_BUILD_TESTS=OFF >/dev/null
	cmake --build $(BUILD)-demo -j $(JOBS) --target maskjpeg_cli
	@echo
	@./$(BUILD)-demo/tools/maskjpeg demo demo-out
	@echo "(maskjpeg here is ./$(BUILD)-demo/tools/maskjpeg; make install puts it on the PATH)"

# Every phase runs, even after one fails; the summary says which passed.
test: deps
	@sh tests/run_phases.sh "$(MAKE)" $(TEST_PHASES)

test-plain: build host-deps
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# koffi for the Node.js example, at the version its lock file pins.
host-deps: deps
	@command -v npm >/dev/null 2>&1 || { $(SUDO) apt-get update && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y nodejs npm; }
	@[ examples/node/node_modules/.package-lock.json -nt examples/node/package-lock.json ] || \
	  npm ci --prefix examples/node --no-audit --no-fund --ignore-scripts

test-sanitize: deps
	cmake -S . -B $(BUILD)-asan $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DMASKJPEG_SANITIZE=address,undefined -DMASKJPEG_BUILD_TOOLS=OFF
	cmake --build $(BUILD)-asan -j $(JOBS)
	cd $(BUILD)-asan && ctest --output-on-failure -j $(JOBS) -E '^(install_and_consume|packaging)$$'

test-thread: deps
	cmake -S . -B $(BUILD)-tsan $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DMASKJPEG_SANITIZE=thread -DMASKJPEG_BUILD_TOOLS=OFF
	cmake --build $(BUILD)-tsan -j $(JOBS) --target maskjpeg_tests
	cd $(BUILD)-tsan && ctest --output-on-failure -R '^Concurrency\.'

# The clang Release build, warnings as errors, and its whole suite (the
# valgrind pass is the plain build's).
test-clang: deps
	cmake -S . -B $(BUILD)-clang $(CMAKE_COMMON) \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(BUILD)-clang -j $(JOBS)
	cd $(BUILD)-clang && ctest --output-on-failure -j $(JOBS) \
	  -E '^(valgrind_.*|install_and_consume|packaging|python_package|host_.*)$$'

# The suite with the dispatch capped at each kernel family below the one
# this CPU would pick, so every family runs the whole suite here.
test-kernels: deps
	@for f in $(LESSER_FAMILIES); do \
	  echo "== suite with MASKJPEG_KERNELS=$$f"; \
	  cmake -S . -B $(BUILD)-kernels-$$f $(CMAKE_COMMON) -DMASKJPEG_KERNELS=$$f \
	    -DMASKJPEG_BUILD_TOOLS=OFF >/dev/null && \
	  cmake --build $(BUILD)-kernels-$$f -j $(JOBS) && \
	  (cd $(BUILD)-kernels-$$f && ctest --output-on-failure -j $(JOBS) \
	    -E '^(valgrind_.*|install_and_consume|packaging|python_package|host_.*)$$') || exit 1; \
	done

# The benchmarks once per kernel family this CPU runs, each build capped at
# its family; the tables of all of them at the end.
# The cross toolchains, wine with the i386 architecture, qemu-user, and a
# deb-src line beside each Debian binary one (for LZO's and libjpeg's source
# packages, which are built for each target). g++-multilib is not used: it
# conflicts with the cross compilers.
cross-deps:
	@if ! dpkg --print-foreign-architectures | grep -qx i386; then \
	  $(SUDO) dpkg --add-architecture i386 && $(SUDO) apt-get update; fi
	@if ! grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d; then \
	  echo "adding deb-src lines for Debian's source packages"; \
	  if [ -f /etc/apt/sources.list.d/debian.sources ]; then \
	    sed 's/^Types: deb$$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | \
	      $(SUDO) tee /etc/apt/sources.list.d/maskjpeg-deb-src.sources >/dev/null; \
	  else \
	    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list | \
	      $(SUDO) tee /etc/apt/sources.list.d/maskjpeg-deb-src.list >/dev/null; \
	  fi; \
	  $(SUDO) apt-get update; \
	fi
	@$(MAKE) --no-print-directory deps DEBIAN_PACKAGES="$(CROSS_PACKAGES)"

# Each cross target built into $(BUILD)-<triple> with its dependencies
# (built once into $(BUILD)-<triple>-deps) and its tests run under wine or
# qemu-user; tests that cannot run there are skipped and say why.
cross: cross-deps
	@for t in $(CROSS_TARGETS); do \
	  echo "== $$t"; \
	  sh cmake/run_cross.sh $$t $(BUILD) $(JOBS) $(CMAKE_COMMON) -DMASKJPEG_BUILD_TOOLS=OFF || exit 1; \
	done

test-cross: cross

bench: deps
	@for f in $(FAMILIES); do \
	  cmake -S . -B $(BUILD)-bench-$$f $(CMAKE_COMMON) -DMASKJPEG_BUILD_BENCH=ON \
	    -DMASKJPEG_KERNELS=$$f -DMASKJPEG_BUILD_TESTS=OFF -DMASKJPEG_BUILD_TOOLS=OFF >/dev/null && \
	  cmake --build $(BUILD)-bench-$$f -j $(JOBS) >/dev/null || exit 1; \
	done
	@for f in $(FAMILIES); do \
	  echo "== $$f kernels"; \
	  ./$(BUILD)-bench-$$f/bench/maskjpeg_bench --benchmark_repetitions=$(BENCH_REPETITIONS) \
	    --benchmark_enable_random_interleaving=true \
	    --benchmark_report_aggregates_only=true | tee $(BUILD)-bench-$$f/table.txt || exit 1; \
	done
	@echo; echo "== all kernel families, medians of $(BENCH_REPETITIONS) repetitions"
	@for f in $(FAMILIES); do grep '^|' $(BUILD)-bench-$$f/table.txt | \
	  { [ $$f = $(firstword $(FAMILIES)) ] && cat || tail -n +3; }; done
	@echo; echo "== the Python binding, with the $(BEST_FAMILY) kernels"
	@$(BENCH_PYTHON) bench/python_bench.py $(BUILD)-bench-$(BEST_FAMILY)/libmaskjpeg.so.1 $(BENCH_REPETITIONS)

# One libFuzzer build per kernel family, each capped at its family.
fuzz-build: deps
	@for f in $(FAMILIES); do \
	  cmake -S . -B $(BUILD)-fuzz-$$f -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMASKJPEG_WERROR=ON \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DMASKJPEG_KERNELS=$$f \
	    -DMASKJPEG_SANITIZE=address,undefined -DMASKJPEG_BUILD_FUZZ=ON \
	    -DMASKJPEG_BUILD_TESTS=OFF -DMASKJPEG_BUILD_TOOLS=OFF >/dev/null && \
	  cmake --build $(BUILD)-fuzz-$$f -j $(JOBS) || exit 1; \
	done

# Runs each target for SECONDS with each kernel family, JOBS families at a
# time, and prints the executions of every target and family.
FUZZ_RUN = echo $(FAMILIES) | tr ' ' '\n' | xargs -P $(JOBS) -I{} \
	  sh fuzz/run_fuzzers.sh $(BUILD)-fuzz-{} $(1) $(BUILD)-fuzz-{}/$(2) {} >/dev/null; \
	status=$$?; \
	for f in $(FAMILIES); do cat $(BUILD)-fuzz-$$f/$(2)/summary.txt; done; \
	for f in $(FAMILIES); do ls $(BUILD)-fuzz-$$f/$(2) | grep -E -- '-(crash|leak|timeout|oom)-' \
	  | sed "s|^|reproducer: $(BUILD)-fuzz-$$f/$(2)/|"; done; \
	exit $$status

# A short run, as part of `make test`.
test-fuzz: fuzz-build
	@$(call FUZZ_RUN,$(FUZZ_SMOKE_SECONDS),smoke)

# The long run; the corpora it grows stay in $(BUILD)-fuzz-<family>/long.
fuzz: fuzz-build
	@$(call FUZZ_RUN,$(FUZZ_SECONDS),long)

# Rewrites the demo's committed sample payloads, tools/demo_samples.h.
demo-samples: deps
	cmake -S . -B $(BUILD) $(CMAKE_COMMON)
	cmake --build $(BUILD) -j $(JOBS) --target make_demo_samples
	./$(BUILD)/tools/make_demo_samples tools/demo_samples.h

# Writes the generated seed corpora into fuzz/corpus/.
fuzz-seeds: build
	./$(BUILD)/fuzz/make_fuzz_seeds fuzz/corpus

# Adds to the committed seeds the few small inputs of the last long run that
# reach edges the seeds do not.
fuzz-merge: fuzz-build
	@for f in $(FAMILIES); do for t in fuzz/corpus/*; do \
	  name=$$(basename $$t); \
	  [ -d $(BUILD)-fuzz-$$f/long/corpus-$$name ] || continue; \
	  sh fuzz/add_new_coverage.sh ./$(BUILD)-fuzz-$$f/fuzz/fuzz_$$name $$t \
	    $(BUILD)-fuzz-$$f/long/corpus-$$name || exit 1; \
	done; done

clean:
	rm -rf $(BUILD) $(BUILD)-* demo-out
