#!/bin/sh
# run-fuzzer.sh FUZZER WORKDIR SEEDS DICT SECONDS: runs the fuzzer for a bounded
# time; new inputs go to WORKDIR/corpus, any crash, leak or hang to WORKDIR.
set -eu
fuzzer=$1 work=$2 seeds=$3 dict=$4 seconds=$5
mkdir -p "$work/corpus"
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -detect_leaks=1 -print_final_stats=1 \
    -dict="$dict" -artifact_prefix="$work/" "$work/corpus" "$seeds"
