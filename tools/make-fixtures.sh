#!/usr/bin/env bash
# Makes the small MP3 files that the player tests play: good ones of known
# length in several encodings, and files that must be refused.
# Usage: make-fixtures.sh OUTDIR
set -euo pipefail

out=${1:?usage: make-fixtures.sh OUTDIR}
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Writes a 16-bit WAV: a quiet tone, then noise over it. The loud half makes
# a VBR encoder change its bit rate mid-file, which is what fools a length
# estimate taken from the first frames.
wav() { # file rate channels seconds
  python3 - "$@" <<'PY'
import math, random, struct, sys, wave
path, rate, channels, seconds = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4])
n = round(rate * seconds)
rnd = random.Random(7)
frames = bytearray()
for i in range(n):
    tone = math.sin(2 * math.pi * 440 * i / rate)
    v = 0.02 * tone if i < n // 2 else 0.4 * tone + 0.4 * rnd.uniform(-1, 1)
    frames += struct.pack('<h', int(v * 32767)) * channels
with wave.open(path, 'wb') as w:
    w.setnchannels(channels)
    w.setsampwidth(2)
    w.setframerate(rate)
    w.writeframes(bytes(frames))
PY
}

wav "$tmp/stereo.wav" 44100 2 2
wav "$tmp/mono8k.wav" 8000 1 2
wav "$out/wave.mp3" 8000 1 0.5 # a WAV file under an MP3 name

lame --quiet -b 128 "$tmp/stereo.wav" "$out/cbr.mp3"
lame --quiet -V 2 "$tmp/stereo.wav" "$out/vbr-xing.mp3"
lame --quiet -V 2 -t "$tmp/stereo.wav" "$out/vbr-noxing.mp3"
lame --quiet -m m -b 16 "$tmp/mono8k.wav" "$out/mono8k.mp3"

# Cut part-way into a frame (frames of this file are 417 or 418 bytes).
head -c 20000 "$out/cbr.mp3" >"$out/truncated.mp3"

printf 'These are words, not music.\n%.0s' {1..40} >"$out/text.mp3"
: >"$out/empty.mp3"
