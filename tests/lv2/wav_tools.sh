# Shell functions the LV2 tests share (sourced): a 32-bit float stereo test file and the samples
# of a WAV file, for bit-for-bit comparisons.

# A 32-bit float stereo WAV of `frames` frames at 48 kHz: a tone left, a ramp of awkward values
# right (negative zero, a denormal, full scale).
float_wav() {
  python3 - "$1" "$2" <<'PY'
import math, struct, sys
path, frames = sys.argv[1], int(sys.argv[2])
rate = 48000
left = [0.5 * math.sin(2 * math.pi * 440 * k / rate) for k in range(frames)]
right = [(-0.0, 1e-42, 1.0, -1.0)[k % 4] if k < 8 else (k % 97) / 97 - 0.5 for k in range(frames)]
data = b"".join(struct.pack("<ff", l, r) for l, r in zip(left, right))
fmt = struct.pack("<HHIIHH", 3, 2, rate, rate * 8, 8, 32)
body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"fact" + struct.pack("<II", 4, frames) \
    + b"data" + struct.pack("<I", len(data)) + data
open(path, "wb").write(b"RIFF" + struct.pack("<I", len(body)) + body)
PY
}

# The format and the samples of a WAV file's data chunk, whatever other chunks it has.
wav_samples() {
  python3 - "$1" <<'PY'
import hashlib, struct, sys
blob = open(sys.argv[1], "rb").read()
at, fmt = 12, None
while at + 8 <= len(blob):
    kind, size = blob[at:at + 4], struct.unpack("<I", blob[at + 4:at + 8])[0]
    if kind == b"fmt ":
        fmt = struct.unpack("<HHIIHH", blob[at + 8:at + 24])
    if kind == b"data":
        print(fmt, size, hashlib.sha256(blob[at + 8:at + 8 + size]).hexdigest())
        break
    at += 8 + size + (size & 1)
PY
}
