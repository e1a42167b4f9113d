# `make` builds; `make test` installs what is missing, builds and runs every test through CTest.
# The sanitizer, ThreadSanitizer and fuzzing builds live in folders of their own.

JOBS ?= 2
PLENKO_WERROR ?= OFF
FUZZ_SECONDS ?= 60
PACKAGES := cmake g++ make pkg-config python3 libgtest-dev libgmock-dev libbenchmark-dev \
            libplist-dev clang libclang-rt-14-dev libcli11-dev libjack-jackd2-dev jackd2 midicsv \
            librtmidi-dev gnuplot-nox lv2-dev sordi lilv-utils liblilv-dev jalv lv2-examples

COMMON_FLAGS := -DPLENKO_WERROR=$(PLENKO_WERROR)

.PHONY: all deps demo test test-asan test-tsan fuzz bench bench-timing bench-lv2 install format \
        clean

all: deps
	cmake -S . -B build $(COMMON_FLAGS)
	cmake --build build -j$(JOBS)

# Installs the Debian packages the build needs when any is missing (as root, through apt-get).
deps:
	@missing=$$(for p in $(PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing missing packages:" $$missing; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing; \
	fi

# Builds, then plays the demo song through the unit to auhost's own monitor in real time.
demo: all
	AUDIO_COMPONENT_PATH=$(CURDIR)/build build/Host/auhost play build/Host/demo/demo.mid

test: all
	ctest --test-dir build --output-on-failure -j$(JOBS)

test-asan: deps
	cmake -S . -B build-asan $(COMMON_FLAGS) -DPLENKO_SANITIZE=ON -DPLENKO_BENCH=OFF
	cmake --build build-asan -j$(JOBS)
	ctest --test-dir build-asan --output-on-failure -j$(JOBS)

test-tsan: deps
	cmake -S . -B build-tsan $(COMMON_FLAGS) -DPLENKO_TSAN=ON -DPLENKO_BENCH=OFF
	cmake --build build-tsan -j$(JOBS)
	ctest --test-dir build-tsan --output-on-failure -L tsan -j$(JOBS)

# Each fuzz target runs FUZZ_SECONDS under ASan+UBSan, starting from its seed corpus if any: the
# seeds kept in fuzz/corpus/<target> and those the build writes from test corpora into
# build-fuzz/seeds/<target>.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz $(COMMON_FLAGS) -DPLENKO_FUZZ=ON \
	  -DPLENKO_SANITIZE=ON -DPLENKO_TESTS=OFF -DPLENKO_BENCH=OFF
	cmake --build build-fuzz -j$(JOBS)
	@set -e; for target in build-fuzz/fuzz_*; do \
	  [ -x "$$target" ] || continue; \
	  name=$$(basename $$target); \
	  mkdir -p build-fuzz/corpus/$$name; \
	  seeds=""; for dir in fuzz/corpus/$$name build-fuzz/seeds/$$name; do \
	    if [ -d $$dir ]; then seeds="$$seeds $$dir"; fi; \
	  done; \
	  echo "Fuzzing $$name for $(FUZZ_SECONDS) s"; \
	  $$target -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=build-fuzz/$$name- \
	    build-fuzz/corpus/$$name $$seeds; \
	done

bench: all
	@for b in build/bench_*; do [ -x "$$b" ] && $$b; done

# Plays one grid through the unit and through RtMidi's JACK output to a measuring client on a
# private JACK server, quiet and under load, TIMING_RUNS times each; the table goes to standard
# output, the histograms to build/timing/timing.png (TIMING_PICTURE=docs/timing.png copies it).
TIMING_RUNS ?= 5
bench-timing: all
	python3 bench/timing/run_timing.py --build build --runs $(TIMING_RUNS) \
	  $(if $(TIMING_PICTURE),--picture $(TIMING_PICTURE))

# lv2bench of the LV2 plug-in beside LV2's own example MIDI plug-in (eg-fifths) in one run, from
# an LV2 path that holds just the two and the specifications (the bundles without a binary), five
# times; the ratio of the two plug-ins' best times.
LV2BENCH_FRAMES ?= 4800000
bench-lv2: all
	@dir=$$(mktemp -d); trap 'rm -rf "$$dir"' EXIT; \
	for spec in /usr/lib/lv2/*.lv2; do ls $$spec/*.so >/dev/null 2>&1 || ln -s $$spec $$dir/; done; \
	ln -s /usr/lib/lv2/eg-fifths.lv2 $$dir/; cp -r build/PlenkoOut.lv2 $$dir/; \
	for run in 1 2 3 4 5; do LV2_PATH=$$dir lv2bench -n $(LV2BENCH_FRAMES) -b 256; done \
	  | tee $$dir/bench.txt; \
	awk '{if (!($$2 in best) || $$1 < best[$$2]) best[$$2] = $$1} \
	  END {f = best["http://lv2plug.in/plugins/eg-fifths"]; p = best["urn:plenko:PlenkoOut"]; \
	  if (f > 0) printf "best of 5, %d frames in blocks of 256: eg-fifths %.6f s, PlenkoOut %.6f s, " \
	  "ratio %.2f (goal <= 3)\n", $(LV2BENCH_FRAMES), f, p, p / f}' $$dir/bench.txt

# Installs into PREFIX (default /usr/local): the unit's bundle into lib/audio-components, where
# the component host looks for it, auhost into bin, and the LV2 plug-in into lib/lv2.
PREFIX ?= /usr/local
install: all
	cmake --install build --prefix $(PREFIX)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-tsan build-fuzz
