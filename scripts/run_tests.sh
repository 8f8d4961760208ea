#!/usr/bin/env bash
# One command for the whole test suite on a fresh machine: installs the system and Python
# test dependencies, builds and installs the package, then
#   - builds the C++ tests in each variant (release; sanitize: AddressSanitizer +
#     UndefinedBehaviorSanitizer; portable: the rANS decoders' plain C++ branches and zlib alone,
#     the DEFLATE coder a machine without libdeflate gets) and runs them;
#   - reruns the release C++ suite and pytest on every instruction-set tier below the
#     machine's own (TESSARINE_CPU=scalar, TESSARINE_CPU=sse4.2).
# .ci/run adds the fuzzers (scripts/fuzz.sh) after this.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/apt_install.sh libgtest-dev zlib1g-dev libdeflate-dev hdf5-tools pkg-config

python3 -m pip install --quiet --upgrade cmake ninja
python3 -m pip install --quiet ".[test]"

# Python lint and format (settings in pyproject.toml), before anything is built.
python3 -m ruff check python tests/python bench
python3 -m ruff format --check python tests/python bench

jobs=$(nproc 2>/dev/null || echo 2)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# CMake flags of each build variant; each builds in build/<variant>.
variant_flags() {
  case "$1" in
    release) echo "-DCMAKE_BUILD_TYPE=Release" ;;
    sanitize) echo "-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARINE_SANITIZE=ON" ;;
    portable) echo "-DCMAKE_BUILD_TYPE=Release -DTESSARINE_PORTABLE_CODER=ON -DTESSARINE_LIBDEFLATE=OFF" ;;
  esac
}

run_ctest() {
  # A failed huge allocation must reach the code as std::bad_alloc, as it does without ASan.
  ASAN_OPTIONS=allocator_may_return_null=1 \
    ctest --test-dir "build/$1" --output-on-failure -j "$jobs"
}

run_pytest() {
  # Run from outside the source tree so the installed module is the one under test.
  local status=0
  (cd tests/python && python3 -m pytest -q .) || status=$?
  # Exit code 5 means "no tests collected", which is not a failure.
  if [ "$status" -ne 0 ] && [ "$status" -ne 5 ]; then exit "$status"; fi
}

for variant in release sanitize portable; do
  # shellcheck disable=SC2046  # the flags are meant to split into words
  cmake -S . -B "build/$variant" -G Ninja -DTESSARINE_BUILD_TESTS=ON "${launcher[@]}" \
    $(variant_flags "$variant")
  cmake --build "build/$variant" -j "$jobs"
  run_ctest "$variant"
done
# libtessarine as a C user gets it: tests/python/test_c_example.py builds against this prefix.
cmake --install build/release --prefix build/c-prefix >/dev/null
export TESSARINE_C_PREFIX="$PWD/build/c-prefix"

run_pytest
for tier in scalar sse4.2; do
  echo "== instruction-set tier capped at $tier"
  TESSARINE_CPU=$tier run_ctest release
  TESSARINE_CPU=$tier run_pytest
done
echo "all tests passed"
