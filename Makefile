# TamoVideoEditor: `make run` starts the editor, `make test` runs every test.
# Both install what is missing first (scripts/install-deps.sh).

BUILD_DIR ?= build
ASAN_DIR  ?= build-asan
FUZZ_DIR  ?= build-fuzz
COV_DIR   ?= build-coverage
# Seconds each fuzz target runs in make fuzz.
FUZZ_SECONDS ?= 120
JOBS      ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: deps build run test test-asan coverage lint lint-cpp lint-page format fuzz bench install clean

deps:
	@bash scripts/install-deps.sh

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: deps $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/src/app/tamovid

# Tests run under the Hungarian locale of the users' desktops (install-deps generates it); an
# LC_ALL or LC_* of the caller's shell would hide it.
TEST_LOCALE = LANG=hu_HU.UTF-8 LC_ALL= LC_NUMERIC= LC_MESSAGES= LANGUAGE=

test: build
	cd $(BUILD_DIR) && $(TEST_LOCALE) ctest --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DTAMO_SANITIZE=ON -DTAMO_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && $(TEST_LOCALE) ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j $(JOBS) -LE no-asan

# Line and branch coverage of src/ by every test, through gcovr (installed on demand); the summary
# is printed and a per-file table lands in $(COV_DIR)/coverage.txt.
coverage: deps
	bash scripts/coverage.sh $(COV_DIR)

# Static checks, one target per checker; each one that fails stops the run. Add a new checker
# as its own target beside these and list it after lint:.
lint: deps lint-cpp lint-page

# The C++ sources against .clang-format; `make format` rewrites them to it.
CPP_SOURCES = $(shell git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp')
lint-cpp:
	@clang-format --dry-run --Werror $(CPP_SOURCES) && echo "lint-cpp: $(words $(CPP_SOURCES)) files as .clang-format says"

format:
	clang-format -i $(CPP_SOURCES)

# The page's scripts (resources/js) through ESLint, installed from the page tests' package-lock.json.
lint-page:
	@bash tests/page/install-node-deps.sh
	tests/page/node_modules/.bin/eslint --config tests/page/eslint.config.mjs resources/js

# Fuzz targets with clang + libFuzzer + ASan + UBSan (clang is installed on demand), FUZZ_SECONDS each.
fuzz: deps
	bash tests/fuzz/run_fuzz.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

bench: build
	bash bench/run.sh $(BUILD_DIR)

install: build
	cmake --install $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(FUZZ_DIR)
