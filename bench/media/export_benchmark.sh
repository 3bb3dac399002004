#!/bin/sh
# Export speed and memory against ffmpeg transcoding the same source, in one
# run, as ratios ours / ffmpeg.
#
#   bench/media/export_benchmark.sh <build-folder> [runs] [seconds]
#
# For a 1920x1080 and a 2880x1800 60 fps recording (H.264 + AAC as the
# capture writes it, with a wandering pointer and a click every 5 s so the
# default style's automatic zoom moves the camera), `runs` times each, in
# turn:
#   ours      media_export_tool export (default style, auto zoom, the
#             export's own settings: x264 veryfast, CRF 18, High profile)
#   ffmpeg    `ffmpeg -i raw.mov -c:v libx264 -preset veryfast -crf 18
#             -c:a aac out.mp4`, ffmpeg's own defaults (x264 picks its
#             threads and lookahead)
#   same-thr  the same ffmpeg command given the encoder threads and x264
#             options the export chose for that frame size; skipped (and
#             reported as equal to ffmpeg) where those are x264's defaults
# and prints the medians of wall time, CPU time (user + system) and peak
# memory (/usr/bin/time's maximum resident set size), and the ratios.
#
# The sources are short (default 10 s at 1080p, half that at 2880x1800, one
# run each: about 3 minutes of CPU) so the script can run beside a build.
# Every process runs whole, start-up included. On a busy machine wall times
# follow the scheduler more than the work: read the CPU ratio there, and the
# wall ratio on a quiet machine.
set -eu

build=${1:?usage: export_benchmark.sh <build-folder> [runs] [seconds]}
runs=${2:-1}
seconds=${3:-10}
tool="$build/bench/media/media_export_tool"
[ -x "$tool" ] || { echo "no $tool: build the media_export_tool target" >&2; exit 1; }
work=$(mktemp -d /tmp/vorpix-export-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

make_recording() {  # folder width height seconds
    mkdir -p "$1"
    ffmpeg -v error -y -f lavfi -i "testsrc2=size=$2x$3:rate=60:duration=$4" \
        -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$4" \
        -c:v libx264 -preset ultrafast -crf 20 -pix_fmt yuv420p -g 120 \
        -c:a aac -ac 2 -b:a 128k "$1/raw.mov"
    "$tool" make-events "$1" --size "$2x$3" --seconds "$4"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

timed() {  # figures-file command...: appends "wall-s cpu-s peak-kB"
    out=$1
    shift
    /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" > "$work/log" 2>&1 || { cat "$work/log" >&2; exit 1; }
    awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$work/time" >> "$out"
}

column() { cut -d' ' -f"$2" "$1" | median; }  # figures-file field

summary() {  # label figures-file
    awk -v l="$1" -v w="$(column "$2" 1)" -v c="$(column "$2" 2)" -v m="$(column "$2" 3)" \
        'BEGIN { printf "  %-9s wall %7.2f s  cpu %7.2f s  peak %5.0f MB\n", l, w, c, m / 1024 }'
}

ratio() {  # label ours-file base-file
    awk -v l="$1" -v ow="$(column "$2" 1)" -v bw="$(column "$3" 1)" -v oc="$(column "$2" 2)" \
        -v bc="$(column "$3" 2)" -v om="$(column "$2" 3)" -v bm="$(column "$3" 3)" \
        'BEGIN { printf "  ours / %-9s wall %.2f x  cpu %.2f x  peak memory %.2f x\n", l, ow / bw, oc / bc, om / bm }'
}

bench() {  # width height seconds
    name="$1x$2"
    echo "making the $name 60 fps $3 s recording ..."
    make_recording "$work/$name" "$1" "$2" "$3"
    src="$work/$name/raw.mov"
    : > "$work/ours"
    : > "$work/base"
    : > "$work/same"
    same=""
    i=0
    while [ "$i" -lt "$runs" ]; do
        timed "$work/ours" "$tool" export "$work/$name" "$work/ours.mp4"
        cp "$work/log" "$work/ours.log"
        # "threads=N x264_params=P" as the export chose them.
        threads=$(sed -n 's/.* threads=\([0-9]*\) .*/\1/p' "$work/ours.log")
        params=$(sed -n 's/.* x264_params=\([^ ]*\).*/\1/p' "$work/ours.log")
        timed "$work/base" ffmpeg -v error -y -i "$src" -c:v libx264 -preset veryfast -crf 18 \
            -c:a aac "$work/base.mp4"
        if [ "$threads" != 0 ] || [ "$params" != "-" ]; then
            same="-threads:v $threads"
            [ "$params" != "-" ] && same="$same -x264-params $params"
            # shellcheck disable=SC2086 # $same is a list of options
            timed "$work/same" ffmpeg -v error -y -i "$src" -c:v libx264 -preset veryfast -crf 18 $same \
                -c:a aac "$work/same.mp4"
        fi
        i=$((i + 1))
    done
    echo "$name 60 fps, $3 s ($(grep -o 'frames=[0-9]*' "$work/ours.log"), median of $runs):"
    summary ours "$work/ours"
    summary ffmpeg "$work/base"
    [ -n "$same" ] && summary same-thr "$work/same"
    ratio ffmpeg "$work/ours" "$work/base"
    if [ -n "$same" ]; then
        ratio "same-thr" "$work/ours" "$work/same"
        echo "  (same-thr: ffmpeg $same)"
    else
        echo "  (the export uses x264's own threads and lookahead here: same-thr = ffmpeg)"
    fi
    echo "  files: ours $(stat -c %s "$work/ours.mp4") bytes, ffmpeg $(stat -c %s "$work/base.mp4") bytes"
}

bench 1920 1080 "$seconds"
bench 2880 1800 "$(awk -v s="$seconds" 'BEGIN { print s / 2 }')"
