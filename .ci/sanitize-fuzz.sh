#!/usr/bin/env bash
# CI step after `make test`: every test against the AddressSanitizer/UBSan build, then each
# libFuzzer target for FUZZ_SECONDS (default 60) from its seed corpus, with a fixed seed so
# that the gate is the same on every run (`make fuzz` without FUZZ_SEED explores freely). Installs clang and its
# sanitizer runtimes on a fresh Debian machine.
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
command -v clang++ >/dev/null 2>&1 || need+=(clang)
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 ||
  need+=(libclang-rt-14-dev)
.ci/apt-install.sh ${need[@]+"${need[@]}"}

start=$SECONDS
make test-asan ASAN_BUILD=build-ci-asan CMAKE_FLAGS="-DTESSARIN_WERROR=ON"
echo "sanitizer tests: $((SECONDS - start)) s"
start=$SECONDS
FUZZ_SEED=${FUZZ_SEED:-1} make fuzz FUZZ_BUILD=build-ci-fuzz FUZZ_SECONDS="${FUZZ_SECONDS:-60}" \
  CMAKE_FLAGS="-DTESSARIN_WERROR=ON"
echo "fuzzing: $((SECONDS - start)) s"
