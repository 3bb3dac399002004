#!/bin/sh
# The recorder against its real-time goals, on a private Xvfb kept busy by
# capture_screen_animator (blocks repainted and a window moved 30 times a
# second), with system audio from a private PulseAudio playing a tone into a
# null sink when pulseaudio is installed.
#
#   bench/capture/record_benchmark.sh <build-folder> [seconds] [sizes]
#
# For each size (default "1920x1080 2880x1800"):
# 1. `vorpix record --no-countdown --duration S --system-audio --stats`:
#    frames grabbed, frames dropped (queue full, plus ticks missed), frame
#    interval jitter, where the audio landed against its time stamps at the
#    start and end of the take, and the recorder's CPU (user + system over
#    wall time, start-up and the final flush included) as a fraction of one
#    core.
# 2. The baseline: `ffmpeg -f x11grab -framerate 60` into libx264 with the
#    same preset, tune and bit rate for the same time; its CPU and the ratio
#    ours / ffmpeg.
# The machine may be shared: the figures say what this run saw.
set -eu

build=${1:?usage: record_benchmark.sh <build-folder> [seconds] [sizes]}
seconds=${2:-60}
sizes=${3:-"1920x1080 2880x1800"}
vorpix="$build/src/app/vorpix"
animator="$build/bench/capture/capture_screen_animator"
for f in "$vorpix" "$animator"; do
  [ -x "$f" ] || { echo "no $f: build the vorpix and capture_screen_animator targets" >&2; exit 1; }
done
work=$(mktemp -d /tmp/vorpix-record-bench.XXXXXX)
pids=""
cleanup() { for p in $pids; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT

# System audio: a private PulseAudio whose default sink is a null sink
# playing a 440 Hz tone.
audio=""
if command -v pulseaudio >/dev/null 2>&1; then
  export XDG_RUNTIME_DIR="$work/run" PULSE_RUNTIME_PATH="$work/run/pulse"
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --disable-shm=yes \
    --load="module-native-protocol-unix" --load="module-null-sink sink_name=bench" \
    --load="module-sine sink=bench frequency=440" >/dev/null 2>&1 &
  pids="$pids $!"
  sleep 1
  pactl set-default-sink bench >/dev/null 2>&1 && audio="--system-audio"
fi
[ -n "$audio" ] || echo "note: no PulseAudio here; recording without system audio"

for size in $sizes; do
  w=${size%x*}; h=${size#*x}
  Xvfb -displayfd 3 -screen 0 "${w}x${h}x24" -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  xvfb=$!; pids="$pids $xvfb"
  for _ in 1 2 3 4 5 6 7 8 9 10; do [ -s "$work/display" ] && break; sleep 0.5; done
  export DISPLAY=":$(cat "$work/display")"
  "$animator" $((seconds * 2 + 20)) & anim=$!; pids="$pids $anim"

  HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" /usr/bin/time -f "%U %S %e" -o "$work/time" \
    "$vorpix" record --no-countdown --duration "$seconds" $audio --stats >"$work/out" 2>"$work/err" || true
  stats=$(grep '^record-stats' "$work/err" || echo "record-stats none")
  read -r user sys wall <"$work/time"
  ours=$(echo "$user $sys $wall" | awk '{printf "%.2f", ($1 + $2) / $3}')
  echo "$size vorpix: $stats cpu_cores=$ours wall_s=$wall"
  grep -v '^record-stats' "$work/err" || true

  bitrate=$(( w * h * 4 > 8000000 ? w * h * 4 : 8000000 ))
  /usr/bin/time -f "%U %S %e" -o "$work/time" ffmpeg -v error -y -f x11grab -framerate 60 \
    -video_size "${w}x${h}" -i "$DISPLAY" -t "$seconds" -c:v libx264 -preset ultrafast -tune zerolatency \
    -b:v "$bitrate" -pix_fmt yuv420p "$work/ffmpeg.mov" || true
  read -r user sys wall <"$work/time"
  theirs=$(echo "$user $sys $wall" | awk '{printf "%.2f", ($1 + $2) / $3}')
  frames=$(ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets \
    -of csv=p=0 "$work/ffmpeg.mov" 2>/dev/null || echo "?")
  echo "$size ffmpeg x11grab: frames=$frames cpu_cores=$theirs; ratio ours/ffmpeg cpu=$(echo "$ours $theirs" | awk '{printf "%.2f", $1 / $2}')"
  kill "$anim" "$xvfb" 2>/dev/null || true
  wait "$anim" "$xvfb" 2>/dev/null || true
  rm -f "$work/display"
done
