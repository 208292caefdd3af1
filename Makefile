# Front door for a fresh Debian machine:
#   make demo   install what is missing, build, run `maskjpeg demo`
#   make test   install what is missing, build, run every test (sanitizer builds,
#               AddressSanitizer+UBSan and ThreadSanitizer, then the plain build)
# Also: make build, make bench, make fuzz [FUZZ_SECONDS=60], make clean.

BUILD       ?= build
JOBS        ?= 2
FUZZ_SECONDS ?= 60
DEBIAN_PACKAGES = cmake make g++ pkg-config binutils liblzo2-dev libpng-dev \
                  libjpeg-dev libgtest-dev libbenchmark-dev clang libclang-rt-dev valgrind
SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)
CMAKE_COMMON = -DCMAKE_BUILD_TYPE=Release -DMASKJPEG_WERROR=ON

.PHONY: all deps build demo test test-plain test-sanitize test-thread bench fuzz clean

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

demo: build
	./$(BUILD)/tools/maskjpeg demo demo-out

test: test-sanitize test-thread test-plain

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-sanitize: deps
	cmake -S . -B $(BUILD)-asan $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DMASKJPEG_SANITIZE=address,undefined -DMASKJPEG_BUILD_TOOLS=OFF
	cmake --build $(BUILD)-asan -j $(JOBS)
	cd $(BUILD)-asan && ctest --output-on-failure -j $(JOBS) -E install_and_consume

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

fuzz: deps
	cmake -S . -B $(BUILD)-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DMASKJPEG_SANITIZE=address,undefined -DMASKJPEG_BUILD_FUZZ=ON \
	  -DMASKJPEG_BUILD_TESTS=OFF -DMASKJPEG_BUILD_TOOLS=OFF
	cmake --build $(BUILD)-fuzz -j $(JOBS)
	@for t in fuzz/corpus/*; do \
	  name=$$(basename $$t); mkdir -p $(BUILD)-fuzz/corpus-$$name; \
	  dict=""; [ -f fuzz/$$name.dict ] && dict="-dict=fuzz/$$name.dict"; \
	  ./$(BUILD)-fuzz/fuzz/fuzz_$$name $$dict -max_total_time=$(FUZZ_SECONDS) \
	    $(BUILD)-fuzz/corpus-$$name $$t || exit 1; \
	done

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-tsan $(BUILD)-bench $(BUILD)-fuzz demo-out
