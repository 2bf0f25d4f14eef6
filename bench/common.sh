# What the benchmark scripts share: the Release build of graphrep, the graph generator, the
# directory of generated inputs, and timing in turns. Sourced from the project root with the
# number of runs in $runs; sets graphrep and bench_dir.
bench_dir=${BENCH_DIR:-/tmp/graphrep-bench}
mkdir -p "$bench_dir"

cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DGRAPHREP_TESTS=OFF >/dev/null
cmake --build build/bench --target graphrep -j2 >/dev/null
graphrep=$PWD/build/bench/graphrep
g++ -O2 -std=c++20 -o "$bench_dir/generate_graph" bench/generate_graph.cpp

# Generates $bench_dir/NAME.graph once, seeded: generate NAME GENERATOR-ARGUMENTS...
generate() {
    local name=$1
    shift
    [ -s "$bench_dir/$name.graph" ] || "$bench_dir/generate_graph" "$@" >"$bench_dir/$name.graph"
}

# Runs each of the given shell commands $runs times, taking turns, so that a load that comes
# and goes on the machine weighs on all of them alike, and leaves the median wall time of
# each, in seconds, in the array medians (same order). With sync_before_runs=1 the dirty
# pages of the runs before are written out first, untimed: otherwise whichever command meets
# the kernel's write-back threshold pays for all of them.
medians_in_turns() {
    local commands=("$@") count=$# samples=() start end c r
    for ((r = 0; r < runs; r++)); do
        for ((c = 0; c < count; c++)); do
            [ "${sync_before_runs:-0}" = 1 ] && sync
            start=$(date +%s%N)
            bash -c "${commands[c]}" >/dev/null
            end=$(date +%s%N)
            samples[c]+="$(((end - start) / 1000)) "
        done
    done
    medians=()
    for ((c = 0; c < count; c++)); do
        medians+=("$(printf '%s\n' ${samples[c]} | sort -n |
            awk '{ t[NR] = $1 } END { printf "%.3f", t[int((NR + 1) / 2)] / 1e6 }')")
    done
}

# Peak resident memory of a command, in MiB, from GNU time.
peak_mib() {
    /usr/bin/time -f %M bash -c "exec $1" 2>&1 >/dev/null | tail -n 1 | awk '{ printf "%.1f", $1 / 1024 }'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
megabytes() { awk -v bytes="$(stat -L -c %s "$1")" 'BEGIN { printf "%.1f", bytes / 1e6 }'; }
