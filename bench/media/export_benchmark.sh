#!/bin/sh
# Export speed and memory against a plain ffmpeg transcode of the same
# source with the same encoder settings.
#
#   bench/media/export_benchmark.sh <build-folder> [runs] [x264-presets]
#
# 1. Makes a 60 s 1920x1080 60 fps recording (H.264 + AAC, as the capture
#    writes it) with a wandering pointer and a click every 5 s, so the
#    default style's automatic zoom moves the camera.
# 2. For each x264 preset: alternates `ffmpeg -i raw.mov -c:v libx264 -preset
#    P -crf 18 ... -movflags +faststart` and our export (default style,
#    auto zoom) `runs` times, both with the export's encoder settings (same
#    preset, CRF, thread count and sync-lookahead=0); prints the medians of
#    wall time and peak memory and the ratio ours / ffmpeg.
# 3. Exports a 20 s 2880x1800 recording and prints its peak memory.
#
# Both sides run as whole processes under /usr/bin/time, start-up included.
# The machine is shared: run it when it is quiet, or read the medians.
set -eu

build=${1:?usage: export_benchmark.sh <build-folder> [runs] [x264-presets]}
runs=${2:-3}
presets=${3:-veryfast}
tool="$build/bench/media/media_export_tool"
[ -x "$tool" ] || { echo "no $tool: build the media_export_tool target" >&2; exit 1; }
work=$(mktemp -d /tmp/vorpix-export-bench.XXXXXX)
threads=$(nproc)
[ "$threads" -gt 8 ] && threads=8
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

timed() {  # output-file command...: appends "seconds peak-kB"
    out=$1
    shift
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" > "$work/log" 2>&1 || { cat "$work/log" >&2; exit 1; }
    cat "$work/time" >> "$out"
}

echo "making the 1920x1080 60 fps 60 s recording ..."
make_recording "$work/rec1080" 1920 1080 60

for preset in $presets; do
    : > "$work/base.$preset"
    : > "$work/ours.$preset"
    i=0
    while [ "$i" -lt "$runs" ]; do
        timed "$work/base.$preset" ffmpeg -v error -y -i "$work/rec1080/raw.mov" \
            -c:v libx264 -preset "$preset" -crf 18 -profile:v high -pix_fmt yuv420p \
            -threads:v "$threads" -x264-params sync-lookahead=0 \
            -colorspace bt709 -color_primaries bt709 -color_trc bt709 \
            -c:a aac -b:a 192k -ar 48000 -ac 2 -movflags +faststart "$work/base.mp4"
        timed "$work/ours.$preset" "$tool" export "$work/rec1080" "$work/ours.mp4" --x264 "$preset" --crf 18
        i=$((i + 1))
    done
    base=$(cut -d' ' -f1 "$work/base.$preset" | median)
    ours=$(cut -d' ' -f1 "$work/ours.$preset" | median)
    base_mb=$(cut -d' ' -f2 "$work/base.$preset" | median | awk '{ printf "%.0f", $1 / 1024 }')
    ours_mb=$(cut -d' ' -f2 "$work/ours.$preset" | median | awk '{ printf "%.0f", $1 / 1024 }')
    echo "1080p60 60 s, x264 $preset crf 18: ffmpeg $(tr '\n' ' ' < "$work/base.$preset")"
    echo "1080p60 60 s, x264 $preset crf 18: ours   $(tr '\n' ' ' < "$work/ours.$preset")"
    awk -v p="$preset" -v b="$base" -v o="$ours" -v bm="$base_mb" -v om="$ours_mb" 'BEGIN {
        printf "%s: median ffmpeg %.2f s (%s MB), ours %.2f s (%s MB), ratio %.2f, ours %.0f fps\n",
               p, b, bm, o, om, o / b, 3600 / o }'
done

echo "making the 2880x1800 60 fps 20 s recording ..."
make_recording "$work/rec2880" 2880 1800 20
: > "$work/big"
timed "$work/big" "$tool" export "$work/rec2880" "$work/big.mp4"
awk '{ printf "2880x1800 source, 20 s: %.2f s, peak memory %.0f MB\n", $1, $2 / 1024 }' "$work/big"
