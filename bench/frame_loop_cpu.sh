#!/usr/bin/env bash
# CPU the real program uses while it runs at 60 frames a second with music on.
#
#   bench/frame_loop_cpu.sh [build dir] [screen size] [seconds]
#
# Screen size as in the settings: 0 window, 1 doubled window (default), 3 640 x 480.
# The program plays a scripted run on the real clock: it leaves the title for the first
# stage, the player walks to and fro, and the window is closed at the end. After three
# seconds of start-up the CPU time of the whole process (every thread) is taken over the
# given span (20 s by default) from /proc, and with perf stat when perf may read it.
# Without a display the run goes under xvfb-run; without a sound device under SDL's dummy
# audio driver (set SDL_AUDIODRIVER to choose another).
set -euo pipefail

build=${1:-build/release}
size=${2:-1}
seconds=${3:-20}
program=$(realpath "$build/kestrune")
gamedir=$(realpath "$build/gamedir")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$gamedir/." "$work/"
cd "$work"

# setting.dat starts with BGM QUALITY (byte), SOUND EFFECT (byte), SCREEN SIZE (32-bit);
# the fields after them keep their defaults.
printf "\\x03\\x01\\x$(printf %02x "$size")\\x00\\x00\\x00" > setting.dat

frames=$(( (seconds + 8) * 60 ))
{
  echo "clock real"
  echo "seed 7"
  echo "30 key 0x39 1"   # SPACE: start the game
  echo "32 key 0x39 0"
  for ((f = 300; f < frames; f += 120)); do
    echo "$f key 0xCB 1"        # left for a second
    echo "$((f + 60)) key 0xCB 0"
    echo "$((f + 60)) key 0xCD 1"  # then right
    echo "$((f + 119)) key 0xCD 0"
  done
  echo "$frames close"
} > script.txt

run=(env KESTRUNE_SCRIPT=script.txt SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}" "$program")
if [ -z "${DISPLAY:-}" ]; then
  run=(xvfb-run -a -s "-screen 0 1280x1024x24" "${run[@]}")
fi
"${run[@]}" > run.log 2>&1 &
launcher=$!

pid=""
for _ in $(seq 100); do
  pid=$(pgrep -n -f "^$program\$" || true)
  [ -n "$pid" ] && break
  sleep 0.1
done
if [ -z "$pid" ]; then
  echo "the program did not start" >&2
  cat run.log >&2
  exit 1
fi
sleep 3

ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
perf_out=$work/perf.txt
start=$(ticks "$pid")
if perf stat -e task-clock -p "$pid" -o "$perf_out" -- sleep "$seconds" 2>/dev/null; then :; else sleep "$seconds"; fi
end=$(ticks "$pid")
wait "$launcher" || true

awk -v d=$((end - start)) -v hz="$hz" -v s="$seconds" -v size="$size" \
  'BEGIN { printf "screen size %s: %.2f%% of a core over %d s (/proc)\n", size, 100 * d / hz / s, s }'
if [ -s "$perf_out" ]; then
  awk -v s="$seconds" '/task-clock/ { gsub(",", "", $1); printf "perf stat task-clock: %.1f ms, %.2f%% of a core\n", $1, $1 / (10 * s) }' "$perf_out"
fi
