# Sourced by the run.sh of each fuzz folder: builds a libFuzzer target with clang
# (AddressSanitizer and UndefinedBehaviorSanitizer on) and runs it for a fixed time.
# fuzz_target ROOT BUILD SECONDS FOLDER TARGET NAME MAX_LEN DICT SEEDS...: the binary of TARGET
# lands in BUILD/fuzz/FOLDER; NAME names its corpus and artifacts folders there; DICT is a
# dictionary file or empty. Exit status is non-zero on a finding.
fuzz_target() {
  local root=$1 build=$2 seconds=$3 folder=$4 target=$5 name=$6 max_len=$7 dict=$8
  shift 8
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DFERRYMARK_GUI=OFF -DFERRYMARK_FUZZ=ON \
    -DFERRYMARK_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
    >/dev/null
  cmake --build "$build" --target "$target"
  local corpus="$build/fuzz/$folder/$name-corpus"
  local artifacts="$build/fuzz/$folder/$name-artifacts/"
  mkdir -p "$corpus" "$artifacts"
  local options=(-max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048
    -artifact_prefix="$artifacts" -print_final_stats=1)
  [ -n "$dict" ] && options+=(-dict="$dict")
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  exec "$build/fuzz/$folder/$target" "${options[@]}" "$corpus" "$@"
}
