#!/usr/bin/env bash
# Fuzzing by hand with libFuzzer (clang-14 and libclang-rt-14-dev).
#   scripts/fuzz.sh build                 builds every fuzz_<target> in build-fuzz/
#   scripts/fuzz.sh list                  the targets
#   scripts/fuzz.sh run TARGET [MAX_MIN] [STALL_MIN]
#        fuzzes TARGET from its committed corpus for at most MAX_MIN minutes
#        (20), stopping early when coverage has not grown for STALL_MIN
#        minutes (10); new inputs go to fuzz-work/TARGET/, crashes to
#        fuzz-work/TARGET-crashes/, one summary line to fuzz-work/report.txt
#   scripts/fuzz.sh minimize TARGET       merges fuzz-work/TARGET/ into the
#        committed corpus fuzz/corpus/TARGET/, keeping the smallest set of
#        inputs that covers as much (inputs named regress-* are always kept)
# A crash is replayed with: build-fuzz/fuzz/fuzz_TARGET CRASH_FILE
# The committed corpus is replayed by every test run (tests fuzz.TARGET).
set -euo pipefail
cd "$(dirname "$0")/.."

dir=build-fuzz
work=fuzz-work
targets() { ls fuzz/*_fuzz.cpp | sed 's|fuzz/||; s|_fuzz.cpp||'; }

check_target() {
  targets | grep -qx "$1" || { echo "fuzz: unknown target '$1' (scripts/fuzz.sh list)" >&2; exit 2; }
}

options_for() {
  local t=$1 opts=(-timeout=10 -rss_limit_mb=2048 -print_final_stats=1)
  [ -f "fuzz/dict/$t.dict" ] && opts+=("-dict=fuzz/dict/$t.dict")
  case "$t" in
    png_decode|jpeg_decode|kml_import) opts+=(-max_len=16384) ;;
    *) opts+=(-max_len=4096) ;;
  esac
  echo "${opts[@]}"
}

case "${1:-}" in
  build)
    scripts/install-deps.sh --fuzz
    if [ ! -f "$dir/build.ninja" ]; then
      CC=clang-14 CXX=clang++-14 cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DWY_FUZZ=ON -DWY_BUILD_TESTS=OFF
    fi
    cmake --build "$dir" -j "$(nproc)" --target $(targets | sed 's/^/fuzz_/')
    ;;
  list)
    targets
    ;;
  run)
    t=${2:?target}; check_target "$t"
    max=${3:-20}; stall=${4:-10}
    bin="$dir/fuzz/fuzz_$t"
    [ -x "$bin" ] || { echo "fuzz: $bin missing (scripts/fuzz.sh build)" >&2; exit 1; }
    mkdir -p "$work/$t" "$work/$t-crashes"
    log="$work/$t.log"
    # Leaks are findings too, except those of system libraries the tests
    # also pass over (fontconfig keeps every font pattern Qt asks for).
    QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
      LSAN_OPTIONS="suppressions=$PWD/.ci/lsan.supp:print_suppressions=0" \
      "$bin" $(options_for "$t") -max_total_time=$((max * 60)) \
      -artifact_prefix="$work/$t-crashes/" "$work/$t" "fuzz/corpus/$t" >"$log" 2>&1 &
    pid=$!
    start=$(date +%s); last_growth=$start; best=0
    while kill -0 "$pid" 2>/dev/null; do
      sleep 15
      cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | awk '{print $2}')
      cov=${cov:-0}
      now=$(date +%s)
      if [ "$cov" -gt "$best" ]; then best=$cov; last_growth=$now; fi
      if [ $((now - last_growth)) -ge $((stall * 60)) ]; then
        echo "fuzz: $t: coverage stalled at $best for $stall min, stopping"
        kill -INT "$pid" 2>/dev/null || true
        break
      fi
    done
    wait "$pid" || true
    secs=$(( $(date +%s) - start ))
    execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | awk '{print $2}' | tail -1)
    [ -n "$execs" ] || execs=$(grep -o '^#[0-9]*' "$log" | tail -1 | tr -d '#')
    ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | awk '{print $2}')
    crashes=$(ls "$work/$t-crashes" | wc -l)
    line="$(date -u +%FT%TZ) $t: ${secs}s, ${execs:-0} execs, cov ${best}, ft ${ft:-0}, corpus $(ls "$work/$t" | wc -l) new, findings ${crashes}"
    echo "$line" | tee -a "$work/report.txt"
    ;;
  minimize)
    t=${2:?target}; check_target "$t"
    bin="$dir/fuzz/fuzz_$t"
    merged="$work/$t-merged"
    rm -rf "$merged"; mkdir -p "$merged"
    QT_QPA_PLATFORM=offscreen "$bin" $(options_for "$t") -merge=1 "$merged" "fuzz/corpus/$t" "$work/$t" \
      >"$work/$t-merge.log" 2>&1
    # Inputs of findings keep their names ("regress-..."), whatever they add.
    cp fuzz/corpus/"$t"/regress-* "$merged"/ 2>/dev/null || true
    rm -rf "fuzz/corpus/$t"; mv "$merged" "fuzz/corpus/$t"
    echo "fuzz: $t: $(ls "fuzz/corpus/$t" | wc -l) inputs, $(du -sk "fuzz/corpus/$t" | cut -f1) KB"
    ;;
  *)
    sed -n 2,16p "$0"; exit 2 ;;
esac
