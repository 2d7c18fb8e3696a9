#!/usr/bin/env bash
# Fuzzes vidlathe's MPEG-1 readers for a short time (seconds: first argument,
# default 60), in two phases of that length each:
#  1. the libFuzzer target over the stream reader, probe, demultiplexer,
#     decoder and unchanged copy, built with clang from the committed seed
#     corpus; crashes are left in build-fuzz/fuzz/ as crash-*;
#  2. the stream commands of vidlathe-cli (props, concat-motion,
#     concat-stills, component) over damaged copies of valid streams: every
#     command must end with status 0, or 1 with its message and no output
#     left behind. A crash, a hang, a sanitizer report or any other status
#     fails the run, and the input is kept in build-fuzz/fuzz/cli-failure-*.
#     The tool of build-asan/ is used when it exists (the test script builds
#     it first), else the one built in build-fuzz/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
seconds="${1:-60}"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVEXA_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz --target vidlathe_stream_fuzzer
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp encoder/fuzz/corpus/* "$work/"
(cd build-fuzz/fuzz &&
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ./vidlathe_stream_fuzzer -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 "$work")

cli="$root/build-asan/bin/vidlathe-cli"
if [[ ! -x "$cli" ]]; then
  cmake --build build-fuzz --target vidlathe-cli vidlathe
  cli="$root/build-fuzz/bin/vidlathe-cli"
fi
ASAN_OPTIONS=detect_leaks=1:exitcode=86 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:exitcode=87 \
  python3 - "$cli" "$seconds" "$root/build-fuzz/fuzz" "$work" <<'PY'
import os, random, shutil, subprocess, sys, time

cli, seconds, keep, work = sys.argv[1], float(sys.argv[2]), sys.argv[3], sys.argv[4]
seed = int(os.environ.get("VIDLATHE_FUZZ_SEED", random.randrange(1 << 31)))
print(f"stream commands: seed {seed} (replay with VIDLATHE_FUZZ_SEED={seed})", flush=True)
rng = random.Random(seed)

def run(args, timeout=120):
    return subprocess.run([cli] + args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                          timeout=timeout, text=True, errors="replace")

# Valid inputs to damage: a motion stream, a still stream, a video stream.
ff = ["ffmpeg", "-nostdin", "-v", "error", "-y"]
motion, still, video = (os.path.join(work, n) for n in ("motion.mpg", "still.mpg", "video.m1v"))
subprocess.run(ff + ["-f", "lavfi", "-i", "testsrc2=size=352x240:rate=30000/1001", "-f", "lavfi", "-i",
                     "sine=sample_rate=44100", "-t", "0.6", "-target", "ntsc-vcd", motion], check=True)
subprocess.run(ff + ["-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-t", "0.4", "-c:v", "mpeg1video",
                     "-f", "mpeg1video", video], check=True)
photo = os.path.join(work, "photo.png")
subprocess.run(ff + ["-f", "lavfi", "-i", "testsrc2=size=352x240", "-frames:v", "1", photo], check=True)
if run(["still", "5", still, photo]).returncode != 0:
    sys.exit("stream commands: the still input could not be made")
bases = [open(p, "rb").read() for p in (motion, still, video)]

def damaged():
    kind = rng.randrange(6)
    d = bytearray(rng.choice(bases))
    if kind == 0:    # bytes changed here and there
        for _ in range(rng.randint(1, 40)):
            d[rng.randrange(len(d))] = rng.randrange(256)
    elif kind == 1:  # cut anywhere
        d = d[:rng.randrange(len(d))]
    elif kind == 2:  # a pack header, then garbage
        d = d[:12] + bytes(rng.randrange(256) for _ in range(rng.randint(0, 30000)))
    elif kind == 3:  # random bytes
        d = bytearray(rng.randrange(256) for _ in range(rng.randint(0, 30000)))
    elif kind == 4:  # a run of bytes copied over another place
        a, b = rng.randrange(len(d)), rng.randrange(len(d))
        n = rng.randint(1, 5000)
        d[b:b + n] = d[a:a + n]
    else:            # cut, then bytes changed
        d = d[:rng.randrange(len(d))]
        for _ in range(rng.randint(1, 10)):
            if d:
                d[rng.randrange(len(d))] = rng.randrange(256)
    return bytes(d)

def fail(why, data, args):
    os.makedirs(keep, exist_ok=True)
    name = os.path.join(keep, f"cli-failure-{seed}-{rounds}")
    open(name, "wb").write(data)
    sys.exit(f"stream commands: {' '.join(args)}: {why}; input kept in {name}")

deadline = time.monotonic() + seconds
rounds = 0
while time.monotonic() < deadline:
    rounds += 1
    data = damaged()
    bad = os.path.join(work, "damaged.mpg")
    open(bad, "wb").write(data)
    out = os.path.join(work, "out.mpg")
    for args in (["props", bad], ["concat-motion", "1", out, motion, bad], ["concat-stills", "1", out, bad],
                 ["component", "1", out, bad], ["component", "1", out, bad + "+"]):
        if os.path.exists(out):
            os.unlink(out)
        try:
            r = run(args)
        except subprocess.TimeoutExpired:
            fail("did not end within 120 s", data, args)
        last = r.stderr.replace("\r", "\n").strip().splitlines()[-1:] or [""]
        if r.returncode == 0:
            if args[0] != "props" and not os.path.exists(out):
                fail("succeeded without an output", data, args)
        elif r.returncode == 1:
            if not last[0].startswith(f"vidlathe-cli: {args[0]} failed: "):
                fail(f"failed without its message: {last[0]!r}", data, args)
            if os.path.exists(out):
                fail("failed and left an output", data, args)
        else:
            fail(f"ended with status {r.returncode}:\n{r.stderr[-4000:]}", data, args)
    leftovers = [n for n in os.listdir(work) if n.startswith(".out.mpg")]
    if leftovers:
        fail(f"left {leftovers} beside the output", data, ["(all)"])
print(f"stream commands: {rounds} damaged inputs, 5 commands each, all ended soundly", flush=True)
PY
