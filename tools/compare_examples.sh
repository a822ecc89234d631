#!/bin/sh
# Runs every example project with two builds of the program, at 1 and 2
# threads, and compares every output file byte for byte. A change to the
# speed of the model must leave its outputs as they were. The new build also
# runs each project at 2 threads with the faces in 128-bit lanes
# (TORVA_NARROW_LANES=1), to compare with its run in the processor's widest.
#
#   tools/compare_examples.sh REFERENCE_BINARY NEW_BINARY [project.prj ...]
#
# Run from the top of the source tree. Each run works in a copy of the
# examples in a temporary folder, so the tree's own outputs stay untouched.
# Lines that carry run times are left out of the comparison.
set -u
if [ $# -lt 2 ]; then
    echo "usage: $0 REFERENCE_BINARY NEW_BINARY [project.prj ...]" >&2
    exit 2
fi
ref=$(realpath "$1")
new=$(realpath "$2")
shift 2
if [ $# -eq 0 ]; then
    set -- examples/valley/*.prj
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Whether two runs wrote the same outputs and console lines.
same_runs() {
    for f in "$1"/examples/valley/out/* "$2"/examples/valley/out/*; do
        [ -e "$f" ] || continue
        other="$1/examples/valley/out/$(basename "$f")"
        [ "$other" = "$f" ] && other="$2/examples/valley/out/$(basename "$f")"
        [ -e "$other" ] || return 1
        grep -v -i -e "run time" -e "time (s)" "$f" >"$work/a.cmp"
        grep -v -i -e "run time" -e "time (s)" "$other" >"$work/b.cmp"
        cmp -s "$work/a.cmp" "$work/b.cmp" || return 1
    done
    cmp -s "$1/console.cmp" "$2/console.cmp"
}

# Runs project $1 with build $2 at $3 threads in folder $4, with the
# environment settings that follow.
run_in_copy() {
    prj=$1 bin=$2 threads=$3 dir=$4
    shift 4
    rm -rf "$dir"
    mkdir -p "$dir"
    cp -r examples "$dir/"
    rm -rf "$dir/examples/valley/out"
    mkdir -p "$dir/examples/valley/out"
    { cat "$prj"; printf '\nNUM_THREADS %s\n' "$threads"; } >"$dir/run.prj"
    (cd "$dir" && env "$@" "$bin" run.prj >console.txt 2>&1)
    grep -v -i -e "run time" -e "time to init" -e "total time" -e "thread" \
        "$dir/console.txt" >"$dir/console.cmp"
}

# Compares the runs in folders $2 and $3, described as $1.
report() {
    if same_runs "$2" "$3"; then
        echo "same      $1"
    else
        echo "DIFFERENT $1"
        diff -r "$2/examples/valley/out" "$3/examples/valley/out" | head -20
        diff "$2/console.cmp" "$3/console.cmp" | head -10
        status=1
    fi
}

status=0
for prj in "$@"; do
    name=$(basename "$prj" .prj)
    for threads in 1 2; do
        run_in_copy "$prj" "$ref" "$threads" "$work/ref-$threads"
        run_in_copy "$prj" "$new" "$threads" "$work/new-$threads"
        report "$name, $threads thread(s)" "$work/ref-$threads" "$work/new-$threads"
    done
    report "$name, new build, 1 thread against 2" "$work/new-1" "$work/new-2"
    run_in_copy "$prj" "$new" 2 "$work/narrow-2" TORVA_NARROW_LANES=1
    report "$name, new build, 128-bit lanes against the widest" "$work/new-2" "$work/narrow-2"
done
exit $status
