#!/bin/sh
# Runs every example project with two builds of the program, at 1 and 2
# threads, and compares every output file byte for byte. A change to the
# speed of the model must leave its outputs as they were.
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

status=0
for prj in "$@"; do
    name=$(basename "$prj" .prj)
    for threads in 1 2; do
        for which in ref new; do
            dir="$work/$which-$threads"
            rm -rf "$dir"
            mkdir -p "$dir"
            cp -r examples "$dir/"
            rm -rf "$dir/examples/valley/out"
            mkdir -p "$dir/examples/valley/out"
            { cat "$prj"; printf '\nNUM_THREADS %s\n' "$threads"; } >"$dir/run.prj"
            bin=$ref
            [ "$which" = new ] && bin=$new
            (cd "$dir" && "$bin" run.prj >console.txt 2>&1)
            grep -v -i -e "run time" -e "time to init" -e "total time" -e "thread" \
                "$dir/console.txt" >"$dir/console.cmp"
        done
        if same_runs "$work/ref-$threads" "$work/new-$threads"; then
            echo "same      $name, $threads thread(s)"
        else
            echo "DIFFERENT $name, $threads thread(s)"
            diff -r "$work/ref-$threads/examples/valley/out" \
                "$work/new-$threads/examples/valley/out" | head -20
            diff "$work/ref-$threads/console.cmp" "$work/new-$threads/console.cmp" | head -10
            status=1
        fi
    done
    if same_runs "$work/new-1" "$work/new-2"; then
        echo "same      $name, new build, 1 thread against 2"
    else
        echo "DIFFERENT $name, new build, 1 thread against 2"
        diff -r "$work/new-1/examples/valley/out" "$work/new-2/examples/valley/out" | head -20
        status=1
    fi
done
exit $status
