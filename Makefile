# Front door for a fresh Debian machine:
#   make demo   install what is missing, build, run `maskjpeg demo`
#   make test   install what is missing, build, run every test: the AddressSanitizer
#               + UBSan build, the ThreadSanitizer build, a short libFuzzer run of
#               each target, then the plain build (with its valgrind pass)
# Also: make build, make install [PREFIX=/usr/local], make bench,
#       make fuzz [FUZZ_SECONDS=600], make fuzz-seeds, make fuzz-merge, make clean.

BUILD       ?= build
JOBS        ?= 2
PREFIX      ?= /usr/local
FUZZ_SECONDS ?= 600
FUZZ_SMOKE_SECONDS ?= 60
DEBIAN_PACKAGES = cmake make g++ pkg-config binutils liblzo2-dev libpng-dev \
                  libjpeg-dev libgtest-dev libbenchmark-dev clang libclang-rt-dev valgrind \
                  python3 python3-numpy
SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)
CMAKE_COMMON = -DCMAKE_BUILD_TYPE=Release -DMASKJPEG_WERROR=ON

.PHONY: all deps build install demo test test-plain test-sanitize test-thread test-fuzz \
        bench fuzz-build fuzz fuzz-seeds fuzz-merge clean

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

demo: build
	./$(BUILD)/tools/maskjpeg demo demo-out

test: test-sanitize test-thread test-fuzz test-plain

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-sanitize: deps
	cmake -S . -B $(BUILD)-asan $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DMASKJPEG_SANITIZE=address,undefined -DMASKJPEG_BUILD_TOOLS=OFF
	cmake --build $(BUILD)-asan -j $(JOBS)
	cd $(BUILD)-asan && ctest --output-on-failure -j $(JOBS) -E '^(install_and_consume|static_and_subproject)$$'

test-thread: deps
	cmake -S . -B $(BUILD)-tsan $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DMASKJPEG_SANITIZE=thread -DMASKJPEG_BUILD_TOOLS=OFF
	cmake --build $(BUILD)-tsan -j $(JOBS) --target maskjpeg_tests
	cd $(BUILD)-tsan && ctest --output-on-failure -R '^Concurrency\.'

bench: deps
	cmake -S . -B $(BUILD)-bench $(CMAKE_COMMON) -DMASKJPEG_BUILD_BENCH=ON \
	  -DMASKJPEG_BUILD_TESTS=OFF -DMASKJPEG_BUILD_TOOLS=OFF
	cmake --build $(BUILD)-bench -j $(JOBS)
	./$(BUILD)-bench/bench/maskjpeg_bench

fuzz-build: deps
	cmake -S . -B $(BUILD)-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMASKJPEG_WERROR=ON \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DMASKJPEG_SANITIZE=address,undefined -DMASKJPEG_BUILD_FUZZ=ON \
	  -DMASKJPEG_BUILD_TESTS=OFF -DMASKJPEG_BUILD_TOOLS=OFF
	cmake --build $(BUILD)-fuzz -j $(JOBS)

# A short run of each target from its seeds, as part of `make test`.
test-fuzz: fuzz-build
	sh fuzz/run_fuzzers.sh $(BUILD)-fuzz $(FUZZ_SMOKE_SECONDS) $(BUILD)-fuzz/smoke

# The long run; the corpus it grows stays in $(BUILD)-fuzz/long.
fuzz: fuzz-build
	sh fuzz/run_fuzzers.sh $(BUILD)-fuzz $(FUZZ_SECONDS) $(BUILD)-fuzz/long

# Writes the generated seed corpora into fuzz/corpus/.
fuzz-seeds: build
	./$(BUILD)/fuzz/make_fuzz_seeds fuzz/corpus

# Adds to the committed seeds the few small inputs of the last long run that
# reach edges the seeds do not.
fuzz-merge: fuzz-build
	@for t in fuzz/corpus/*; do \
	  name=$$(basename $$t); \
	  sh fuzz/add_new_coverage.sh ./$(BUILD)-fuzz/fuzz/fuzz_$$name $$t \
	    $(BUILD)-fuzz/long/corpus-$$name || exit 1; \
	done

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-tsan $(BUILD)-bench $(BUILD)-fuzz demo-out
