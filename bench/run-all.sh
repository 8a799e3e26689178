#!/bin/sh
# Runs every benchmark. Usage: bench/run-all.sh BUILD_FOLDER
# Each benchmark prints its medians and its ratios against a baseline measured in the
# same run; add new ones below with `run NAME`.
set -u
build=${1:-build}
status=0

run() {
    if [ ! -x "$build/bench/$1" ]; then
        echo "== $1: not built (see the cmake output)"
        status=1
        return
    fi
    echo "== $1"
    "$build/bench/$1" || status=1
    echo
}

run qm_bench_registry
run qm_bench_drivemap
run qm_bench_read_links
run qm_bench_report_tree
run qm_bench_folder_tree
run qm_bench_main_window
run qm_bench_dirwatch
run qm_bench_window_watch
run qm_bench_file_jobs
run qm_bench_program_icons
run qm_bench_dead_share

exit $status
