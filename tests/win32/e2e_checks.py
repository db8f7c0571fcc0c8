"""What the end-to-end playback tests share (tests/win32/e2e-playback and
tests/package/installed-layout): sound files made here, the levels' arithmetic, and
the reading and checking of the virtual driver's recordings. check() collects
failures in the list failures."""
import os
import random
import struct

RATE = 48000
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL " + what, flush=True)
    return ok


def winpath(path):
    return "Z:" + path.replace("/", "\\")


# --- sound files -----------------------------------------------------------------


def wav_bytes(data, tag=1, channels=1, rate=RATE, bits=16, extra_fmt=b""):
    block = channels * bits // 8
    fmt = struct.pack("<HHIIHH", tag, channels, rate, rate * block, block, bits) + extra_fmt
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    body += b"data" + struct.pack("<I", len(data)) + data + (b"\0" if len(data) % 2 else b"")
    return b"RIFF" + struct.pack("<I", len(body)) + body


def pcm16(samples):
    return struct.pack("<%dh" % len(samples), *samples)


def signal(seed, count):
    """Samples over the whole 16-bit range, the extremes included, and none 0, so that
    silence in a recording is never part of a sound."""
    rng = random.Random(seed)
    samples = [rng.choice((-1, 1)) * rng.randint(1, 32767) for _ in range(count)]
    samples[0] = 20000  # loud enough to start every recording at any level used here
    samples[count // 3] = -32768
    samples[count // 2] = 32767
    return samples


# --- levels and sample types -----------------------------------------------------


def gain(level):
    # The 32-bit float nearest to 10^(level/20).
    return struct.unpack("<f", struct.pack("<f", 10.0 ** (level / 20.0)))[0]


def scale(sample, level):
    if level >= 0 or sample == 0:
        return sample
    return int(sample * gain(level))  # exact in a double; int() truncates toward zero


# Bytes of one sample in address order, for the types the plug-in writes.
LAYOUT = {0: "HL", 1: "HL0", 2: "HL00", 16: "LH", 17: "0LH", 18: "00LH"}


def decode(stype, data, what):
    """The samples in a recording, whose bytes besides each sample's two must all be 0.
    Sliced a byte position at a time: fast runs record many millions of samples."""
    layout = LAYOUT[stype]
    width = len(layout)
    if not check(len(data) % width == 0, "%s: %d bytes is not whole samples" % (what, len(data))):
        return None
    count = len(data) // width
    for position, part in enumerate(layout):
        if part == "0" and not check(data[position::width].count(0) == count,
                                     "%s: bytes besides the sample are not 0" % what):
            return None
    pairs = bytearray(2 * count)
    pairs[0::2] = data[layout.index("L")::width]
    pairs[1::2] = data[layout.index("H")::width]
    return list(struct.unpack("<%dh" % count, pairs))


def recording(folder, channel, stype, what):
    wav = stype in (16, 17, 18)
    path = os.path.join(folder, "out%d.%s" % (channel, "wav" if wav else "raw"))
    if not check(os.path.exists(path), "%s: no recording %s" % (what, path)):
        return None
    with open(path, "rb") as f:
        data = f.read()
    if wav:
        if not check(data[:4] == b"RIFF" and struct.unpack("<I", data[40:44])[0] == len(data) - 44,
                     "%s: the recording is not a complete WAV file" % what):
            return None
        data = data[44:]
    return decode(stype, data, what)


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return i
    return min(len(a), len(b))


def sound_at(rec, what):
    """Where the sound starts: everything before it is silence."""
    start = next((i for i, v in enumerate(rec) if v), None)
    check(start is not None, "%s: the recording is silent" % what)
    return start


def expect_silence(rec, start, what):
    rest = rec[start:]
    check(len(rest) > 0, "%s: the recording ends with the sound (no silence after it)" % what)
    bad = next((i for i, v in enumerate(rest) if v), None)
    check(bad is None, "%s: sound after the end, at sample %s" % (what, None if bad is None else start + bad))


def expect_sound(rec, start, expected, what):
    got = rec[start:start + len(expected)]
    at = first_difference(got, expected)
    return check(at == len(expected),
                 "%s: sample %d of %d is %s, expected %s" % (what, at, len(expected),
                                                            got[at] if at < len(got) else "missing",
                                                            expected[at] if at < len(expected) else "-"))


def expect_only(rec, expected, what):
    """Silence, exactly the expected samples, silence."""
    if rec is None:
        return
    start = sound_at(rec, what)
    if start is not None and expect_sound(rec, start, expected, what):
        expect_silence(rec, start + len(expected), what)


def expect_level_change(rec, source, before, after, what):
    """The whole file once, at one level up to some sample and at the other from there on."""
    if rec is None:
        return
    start = sound_at(rec, what)
    if start is None:
        return
    got = rec[start:start + len(source)]
    k = first_difference(got, [scale(s, before) for s in source])
    check(0 < k < len(source), "%s: the level did not change mid-file (at %d of %d)" % (what, k, len(source)))
    if expect_sound(rec, start + k, [scale(s, after) for s in source[k:]], what + " after the level change"):
        expect_silence(rec, start + len(source), what)


def expect_mp3(rec, reference, level, what):
    """The decoding of the 32-bit build may differ from the reference by one step in a
    few samples (as in the decoder's own tests); the level applies to what it decoded."""
    if rec is None:
        return
    start = sound_at(rec, what)
    if start is None:
        return
    got = rec[start:start + len(reference)]
    if not check(len(got) == len(reference), "%s: %d of %d samples recorded" % (what, len(got), len(reference))):
        return
    off = 0
    for i, (g, r) in enumerate(zip(got, reference)):
        if g == scale(r, level):
            continue
        off += 1
        near = [scale(max(-32768, min(32767, r + d)), level) for d in (-1, 1)]
        if not check(g in near, "%s: sample %d is %d, expected %d at one step from %d" % (what, i, g, scale(
                r, level), r)):
            return
    check(off * 100 <= len(reference), "%s: %d of %d samples one step off" % (what, off, len(reference)))
    expect_silence(rec, start + len(reference), what)


