#!/usr/bin/env bash
# A private PulseAudio server for capture tests, started and stopped by the
# tests themselves (tests/capture/PulseTestServer.h wraps it for C++):
#
#   pulse-test-server.sh start DIR   starts it in the empty folder DIR and
#                                    prints the line PULSE_SERVER=unix:DIR/native
#   pulse-test-server.sh stop DIR    stops it and leaves DIR
#
# Point clients at it with that PULSE_SERVER (libpulse, pactl, pacat). It has
#   - "vorpix_test_out": a null sink, the default output, into which a 440 Hz
#     sine (module-sine) plays, so the system audio (the default output's
#     monitor) carries a known tone;
#   - "vorpix_test_mic": the default input, standing in for a microphone (it
#     is not a monitor): a mono remap of the monitor of the null sink
#     "vorpix_test_mic_feed", into which a 1000 Hz sine plays. Another
#     microphone: load-module module-remap-source source_name=NAME
#     master=vorpix_test_mic_feed.monitor channels=1.
# Unload or load modules with `pactl` to unplug or plug devices.
#
# It runs as root too (CI containers): PulseAudio only warns that it is not
# meant to, as long as it is not asked for --system. HOME and the runtime
# folders point into DIR so the user's own sound setup is never touched.
set -euo pipefail

cmd="${1:-}"
dir="${2:-}"
if [ -z "$cmd" ] || [ -z "$dir" ]; then
  echo "usage: $0 start|stop DIR" >&2
  exit 2
fi

case "$cmd" in
  start)
    command -v pulseaudio >/dev/null || { echo "pulse-test-server: pulseaudio is not installed (run scripts/setup)" >&2; exit 1; }
    if [ -f "$dir/pid" ] && kill -0 "$(cat "$dir/pid")" 2>/dev/null; then
      echo "pulse-test-server: one already runs in $dir" >&2
      exit 1
    fi
    mkdir -p "$dir/runtime" "$dir/home"
    chmod 700 "$dir/runtime"
    cat > "$dir/server.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$dir/native
load-module module-null-sink sink_name=vorpix_test_out rate=48000 channels=2 sink_properties=device.description=Test_Output
set-default-sink vorpix_test_out
load-module module-sine sink=vorpix_test_out frequency=440
load-module module-null-sink sink_name=vorpix_test_mic_feed rate=48000 channels=1
load-module module-sine sink=vorpix_test_mic_feed frequency=1000
load-module module-remap-source source_name=vorpix_test_mic master=vorpix_test_mic_feed.monitor channels=1 source_properties=device.description=Test_Microphone
set-default-source vorpix_test_mic
PA
    HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" PULSE_RUNTIME_PATH="$dir/runtime" \
    XDG_CONFIG_HOME="$dir/home" \
      setsid pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
        --disable-shm=yes -F "$dir/server.pa" >"$dir/server.log" 2>&1 </dev/null &
    echo $! > "$dir/pid"
    for _ in $(seq 100); do
      if PULSE_SERVER="unix:$dir/native" pactl info >/dev/null 2>&1; then
        # A null sink renders in blocks as long as the lowest latency its
        # clients ask for, 2 s with module-sine alone, so a new recording of
        # its monitor would wait that long for its first buffer. Silent
        # players at 10 ms keep the blocks short; suspending and resuming
        # ends the 2 s block each sink started with.
        export PULSE_SERVER="unix:$dir/native"
        setsid pacat --latency-msec=10 --raw --rate=48000 -d vorpix_test_out </dev/zero >/dev/null 2>&1 &
        setsid pacat --latency-msec=10 --raw --rate=48000 -d vorpix_test_mic_feed </dev/zero >/dev/null 2>&1 &
        sleep 0.1
        for sink in vorpix_test_out vorpix_test_mic_feed; do
          pactl suspend-sink "$sink" 1 && pactl suspend-sink "$sink" 0
        done
        echo "PULSE_SERVER=unix:$dir/native"
        exit 0
      fi
      kill -0 "$(cat "$dir/pid")" 2>/dev/null || break
      sleep 0.1
    done
    echo "pulse-test-server: PulseAudio did not start; its log:" >&2
    tail -5 "$dir/server.log" >&2
    kill "$(cat "$dir/pid")" 2>/dev/null || true
    exit 1
    ;;
  stop)
    if [ -f "$dir/pid" ]; then
      pid="$(cat "$dir/pid")"
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      kill -9 "$pid" 2>/dev/null || true
      rm -f "$dir/pid"
    fi
    ;;
  *)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
