#!/usr/bin/env bash
# setup.sh: builds gprnpv on a fresh machine and runs it.
#
#   bash setup.sh examples   build, then run the program on examples/ (answers
#                            "1 10 50 10 0.01") and show output.txt
#   bash setup.sh test       build, then run every test: the test suite in a
#                            normal build and again under AddressSanitizer and
#                            UndefinedBehaviorSanitizer, the tests of the
#                            activity limit in a build that reads 2000, the
#                            examples in a build that reads 10000 (arrays past
#                            2 GB), then a two-minute fuzz run of the
#                            instance reader and the solve and a one-minute
#                            one of the converter's readers
#
# GPRNPV_MAXACT=N (1000 to 16000; 1000 unless set) builds the program and the
# tools for networks of up to N activities, into build-maxact<N> instead of
# build: `GPRNPV_MAXACT=5000 bash setup.sh examples`.
#
# Debian packages the build needs beyond the machine image are installed
# first (as root, or through sudo).
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
jobs=$(nproc 2>/dev/null || echo 2)
maxact=${GPRNPV_MAXACT:-1000}
main=build
[ "$maxact" != 1000 ] && main=build-maxact$maxact

packages=(cmake ninja-build g++ clang libclang-rt-dev googletest libgtest-dev
          libbenchmark-dev libboost-graph-dev libcli11-dev libsqlite3-dev
          gnuplot-nox librsvg2-bin libxml2-utils zlib1g-dev git)

install_packages() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "setup: installing ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}

build() {  # build <dir> [cmake options...]
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

case "${1:-}" in
  examples)
    install_packages
    build "$main" -DCMAKE_BUILD_TYPE=Release -DGPRNPV_MAXACT="$maxact"
    run=$main/examples-run
    rm -rf "$run" && mkdir -p "$run"
    cp examples/*.gpr "$run"/
    cd "$run"
    # The answers end without a line break, so the closing key read meets the
    # end of input and the exit status is 0.
    printf '1 10 50 10 0.01' | "$root/$main/gprnpv"
    echo
    echo
    echo "---- $run/output.txt"
    cat output.txt
    echo
    ;;
  test)
    install_packages
    build build -DCMAKE_BUILD_TYPE=Release -DGPRNPV_MAXACT=1000
    (cd build && ctest -j "$jobs" --output-on-failure)
    build build-asan -DCMAKE_BUILD_TYPE=Debug -DGPRNPV_SANITIZE=ON -DGPRNPV_BENCH=OFF
    (cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
       ctest -j "$jobs" --output-on-failure)
    # The tests that depend on the activity limit, in a build that reads 2000:
    # only the program, the checker and that one test program are built.
    cmake -S "$root" -B build-maxact2000 -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DGPRNPV_MAXACT=2000 -DGPRNPV_BENCH=OFF >/dev/null
    cmake --build build-maxact2000 -j "$jobs" --target gprnpv gprnpv-check test_limit
    (cd build-maxact2000 && ctest -j "$jobs" --output-on-failure -R '^Limit\.')
    # Past a limit of 5000 the arrays lie beyond 2 GB: another code model and
    # another link. The program must still build there and give the
    # examples the rows of the default build, times aside.
    cmake -S "$root" -B build-maxact10000 -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DGPRNPV_MAXACT=10000 -DGPRNPV_BENCH=OFF -DGPRNPV_TESTS=OFF >/dev/null
    cmake --build build-maxact10000 -j "$jobs" --target gprnpv
    for b in build build-maxact10000; do
      rm -rf "$b/examples-run" && mkdir -p "$b/examples-run"
      cp examples/*.gpr "$b/examples-run"/
      (cd "$b/examples-run" && printf '1 10 50 10 0.01' | "$root/$b/gprnpv" >/dev/null)
    done
    mask() { sed -E 's/[0-9]+\.[0-9]{3,4}\b/T/g' "$1"; }
    diff <(mask build/examples-run/output.txt) <(mask build-maxact10000/examples-run/output.txt)
    cmp build/examples-run/info.out build-maxact10000/examples-run/info.out
    # Two minutes of fuzzing the reader and the solve, then one of the
    # converter's readers, with clang's libFuzzer under both sanitizers; a
    # crash, a hang over 2 s, a sanitizer report or (for the converter) a
    # broken invariant ends it with a non-zero status and the input in
    # build-fuzz/.
    cmake -S "$root" -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang \
      -DCMAKE_CXX_COMPILER=clang++ -DGPRNPV_FUZZ=ON -DGPRNPV_TESTS=OFF \
      -DGPRNPV_BENCH=OFF >/dev/null
    cmake --build build-fuzz -j "$jobs" --target gprnpv_fuzz gprnpv_fuzz_convert
    mkdir -p build-fuzz/corpus build-fuzz/corpus-convert
    build-fuzz/fuzz/gprnpv_fuzz build-fuzz/corpus fuzz/corpus -dict=fuzz/gpr.dict \
      -max_total_time=120 -timeout=2 -rss_limit_mb=2048 \
      -artifact_prefix="$root/build-fuzz/" -print_final_stats=1
    build-fuzz/fuzz/gprnpv_fuzz_convert build-fuzz/corpus-convert fuzz/corpus-convert \
      -dict=fuzz/convert.dict -max_total_time=60 -timeout=2 -rss_limit_mb=2048 \
      -artifact_prefix="$root/build-fuzz/" -print_final_stats=1
    ;;
  *)
    echo "usage: bash setup.sh examples | test" >&2
    exit 2
    ;;
esac
