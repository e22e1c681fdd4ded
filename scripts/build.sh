#!/usr/bin/env bash
# Configures and builds one flavour of the project into build/<flavour>.
#   release  the application and the benchmarks, optimised
#   test     the test programs, with assertions, AddressSanitizer and UndefinedBehaviorSanitizer
#   tsan     the stress test, with assertions and ThreadSanitizer
#   fuzz     the libFuzzer targets, built with clang, AddressSanitizer and UndefinedBehaviorSanitizer
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
flavour=${1:-release}
shift || true
jobs=${TARROWBY_JOBS:-$(nproc)}
# Paths below the checkout reach ccache relative, and debug builds are not told apart by the
# folder they are built in, so that every checkout shares one cache.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
targets=()

case "$flavour" in
    release)
        args=(-DCMAKE_BUILD_TYPE=Release -DTARROWBY_BUILD_APP=ON -DTARROWBY_BUILD_BENCH=ON -DTARROWBY_BUILD_TESTS=ON
              -DTARROWBY_UNIT_TESTS=OFF -DTARROWBY_E2E=ON)
        ;;
    test)
        args=(-DCMAKE_BUILD_TYPE=Debug -DTARROWBY_BUILD_APP=OFF -DTARROWBY_BUILD_TESTS=ON
              -DTARROWBY_UNIT_TESTS=ON -DTARROWBY_E2E=OFF
              "-DTARROWBY_SANITIZERS=address;undefined")
        ;;
    tsan)
        args=(-DCMAKE_BUILD_TYPE=Debug -DTARROWBY_BUILD_APP=OFF -DTARROWBY_BUILD_TESTS=ON
              -DTARROWBY_UNIT_TESTS=ON -DTARROWBY_E2E=OFF
              -DTARROWBY_SANITIZERS=thread)
        targets=(tarrowby_stress_tests)
        ;;
    fuzz)
        # Optimised, but with framework assertions logged (and made fatal by the targets).
        export CC=clang CXX=clang++
        args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARROWBY_BUILD_APP=OFF -DTARROWBY_BUILD_TESTS=ON
              -DTARROWBY_UNIT_TESTS=OFF -DTARROWBY_E2E=OFF -DTARROWBY_FUZZ=ON
              "-DTARROWBY_SANITIZERS=fuzzer-no-link;address;undefined")
        targets=(tarrowby_fuzz_state_bytes tarrowby_fuzz_settings_file tarrowby_fuzz_xml_reader)
        ;;
    *)
        echo "unknown flavour: $flavour" >&2
        exit 2
        ;;
esac

cmake -S "$root" -B "$root/build/$flavour" "${args[@]}" "$@" >/dev/null
cmake --build "$root/build/$flavour" --parallel "$jobs" ${targets[@]+--target "${targets[@]}"}
