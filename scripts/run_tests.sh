#!/usr/bin/env bash
# One command for the whole test suite on a fresh machine: installs the system and Python
# test dependencies, builds and installs the package, builds the C++ tests three times (plain,
# with AddressSanitizer + UndefinedBehaviorSanitizer, and without libdeflate) and runs them,
# then runs pytest.
set -euo pipefail
cd "$(dirname "$0")/.."

apt_packages=(libgtest-dev zlib1g-dev libdeflate-dev)
missing=()
for p in "${apt_packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi

python3 -m pip install --quiet --upgrade cmake ninja
python3 -m pip install --quiet ".[test]"

jobs=$(nproc 2>/dev/null || echo 2)
for variant in release sanitize portable; do
  flags=(-DCMAKE_BUILD_TYPE=Release)
  [ "$variant" = sanitize ] && flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARINE_SANITIZE=ON)
  # The build a machine without libdeflate gets: zlib alone.
  [ "$variant" = portable ] && flags=(-DCMAKE_BUILD_TYPE=Release -DTESSARINE_LIBDEFLATE=OFF)
  cmake -S . -B "build/$variant" -G Ninja -DTESSARINE_BUILD_TESTS=ON "${flags[@]}"
  cmake --build "build/$variant" -j "$jobs"
  # A failed huge allocation must reach the code as std::bad_alloc, as it does without ASan.
  ASAN_OPTIONS=allocator_may_return_null=1 \
    ctest --test-dir "build/$variant" --output-on-failure -j "$jobs"
done

# Run from outside the source tree so the installed module is the one under test.
status=0
(cd tests/python && python3 -m pytest -q .) || status=$?
# Exit code 5 means "no tests collected", which is not a failure.
if [ "$status" -ne 0 ] && [ "$status" -ne 5 ]; then exit "$status"; fi
echo "all tests passed"
