#!/usr/bin/env python3
"""Writes the hand-made files under tests/data used by the file-format tests.

Every file is built byte by byte here, independently of the program's own
writers, so the tests read what the layouts say rather than what the code
writes. Run it from anywhere; it rewrites the files in place:

    python3 tests/files/make_test_data.py

The output is deterministic (fixed seed, fixed dates), so running it again
gives the same bytes; the files are committed with the script.
"""
import math
import os
import random
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data")
MAGIC = b"MIL "
# Packed version the current program writes (9.0.0.1); files whose version
# is at or above 0x00080500 use blocks for the header, older ones (the early
# program numbered its versions 0x000800nn..) the 1024-byte header.
VERSION = 0x09000001
OLD_VERSION = 0x00080400

HEADER_SIZE = 2380
SETTINGS_SIZE = 104
STROKE_SIZE = 84
CURVE_SIZE = 163
INTERVAL_SIZE = 259
TOTALS_SIZE = 16
RAW_SIZE = 3

# A fixed session date: 2026-03-14 09:30:00 as a day count since 1899-12-30.
SESSION_DATE = 46095 + 9.5 / 24


def out(rel, data):
    path = os.path.join(ROOT, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def short_string(text, garbage=b""):
    """Short string [255]: length byte, text, then bytes past the length."""
    raw = text.encode("cp1252")
    body = raw + garbage
    body = body + bytes(255 - len(body))
    return bytes([len(raw)]) + body[:255]


def header(title="Sample session", name="Eva", kind=6, ftype=5, curve_source=0, garbage=True,
           description="Steady state with intervals", note="Synthesized for tests"):
    h = bytearray(HEADER_SIZE)
    g = b"\xAA\x55junk" if garbage else b""

    def put(off, data):
        h[off:off + len(data)] = data

    put(0, short_string("/home/eva/Documents/sample.stg", g))
    put(256, struct.pack("<d", SESSION_DATE + 0.01))
    put(264, struct.pack("<i", 123456))
    h[268] = ftype
    h[269] = kind
    put(270, short_string(title, g))
    put(526, short_string(name, g))
    put(782, short_string(description))
    put(1038, struct.pack("<d", SESSION_DATE))
    put(1046, short_string("Endurance"))
    put(1302, short_string("Winter series", g))
    put(1558, short_string(note))
    put(1814, short_string(""))
    put(2070, struct.pack("<d", 0.0))
    put(2078, struct.pack("<i", 0))
    h[2082] = 0
    h[2083] = 0
    h[2084] = 1  # Active
    h[2085] = 0
    put(2086, struct.pack("<i", 0))        # SelectedStroke
    put(2090, struct.pack("<i", 0x0000FF))  # Color
    h[2094] = 0
    put(2095, struct.pack("<i", 2))        # PenWidth
    h[2099] = 0                             # Modified
    h[2100] = curve_source
    put(2101, struct.pack("<i", 0))
    h[2105] = 3  # Creator "Vtw"
    h[2106] = 1  # VT Interface
    h[2107] = 2
    put(2108, short_string("VT Interface on /dev/ttyUSB0"))
    put(2364, bytes(range(0x10, 0x20)))  # Guid
    return bytes(h)


def settings(**kw):
    fields = ["Weight", "Gender", "BoatType", "Ergometer", "Sprocket", "LimitType", "LimitIntervals",
              "LimitTime", "LimitStrokes", "LimitDistance", "LimitEnergy", "StartValue", "StepValue",
              "RestValue", "IntervalBy", "WorkPeriod", "WorkTime", "WorkStrokes", "WorkDistance",
              "WorkEnergy", "RestPeriod", "RestTime", "RestStrokes", "RestDistance", "RestEnergy", "Display"]
    values = dict(Weight=80, Sprocket=1, LimitType=2, StartValue=150, RestValue=10, IntervalBy=3,
                  WorkTime=60, RestTime=30)
    values.update(kw)
    return struct.pack("<26i", *[values.get(f, 0) for f in fields])


def stroke(number, power=0.0, avg_power=0.0, rate=0.0, target=0.0, time=0.0, length=0.0, distance=0.0,
           time500=0.0, energy=0.0, energy_sum=0.0, pulse=0.0, wpp=0.0, peak=0.0, peak_pos=0.0, peak_rel=0.0,
           ratio=0.0, k=0.0, interval=0, countdown=0, interval_power=0, drive=0.0, dps=0.0):
    data = struct.pack("<H17fHHH2f", number, power, avg_power, rate, target, time, length, distance, time500,
                       energy, energy_sum, pulse, wpp, peak, peak_pos, peak_rel, ratio, k, interval, countdown,
                       interval_power, drive, dps)
    assert len(data) == STROKE_SIZE
    return data


def curve(number, samples, has_data=None):
    if has_data is None:
        has_data = 1 if any(s > 0 for s in samples) else 0
    data = struct.pack("<hB80H", number, has_data, *samples)
    assert len(data) == CURVE_SIZE
    return data


def interval(number, avg_power, rate, total_time, total_distance, pulse, curve_bytes, stroke_bytes):
    data = struct.pack("<6H", number, avg_power, rate, total_time, total_distance, pulse) + curve_bytes + stroke_bytes
    assert len(data) == INTERVAL_SIZE
    return data


def block(btype, size, records, count=None):
    if count is None:
        count = len(records)
    return struct.pack("<BHi", btype, size, count) + b"".join(records)


def totals(distance, time, energy, avg_power):
    return struct.pack("<4f", distance, time, energy, avg_power)


def raw_sample(value, flag):
    return struct.pack("<hB", value, flag)


def drive_curve(peak, width):
    """A drive: force rising to a peak and falling over `width` samples."""
    s = []
    for i in range(80):
        if i < width:
            x = (i + 0.5) / width
            s.append(int(round(peak * math.sin(math.pi * x) ** 1.3)))
        else:
            s.append(0)
    return s


def training_file(blocks, version=VERSION):
    return MAGIC + struct.pack("<I", version) + b"".join(blocks)


# ---------------------------------------------------------------------------
# The realistic sample session: 200 strokes, intervals by time (60 s work,
# 30 s rest, 4 intervals), raw samples.

def sample_session():
    rnd = random.Random(20260314)
    n = 200
    strokes, curves = [], []
    t = 0.0
    dist = 0.0
    esum = 0.0
    power_sum = 0.0
    per_interval = {}
    work, rest = 60.0, 30.0
    for k in range(1, n + 1):
        phase = t % (work + rest)
        number = int(t // (work + rest)) + 1
        working = phase < work and number <= 4
        base = 230.0 if working else 120.0
        power = base + rnd.uniform(-15, 15)
        rate = (27.0 if working else 19.0) + rnd.uniform(-1, 1)
        stroke_time = 60.0 / rate
        drive = stroke_time * (0.36 if working else 0.30)
        ratio = (stroke_time - drive) / drive
        energy = power * stroke_time
        speed = (power / 2.80) ** (1.0 / 3.0)
        dps = speed * stroke_time
        t += stroke_time
        dist += dps
        esum += energy / 1000.0
        power_sum += power
        length = 140.0 + rnd.uniform(-4, 4)
        peak = 480.0 + (power - 200) * 1.5 + rnd.uniform(-20, 20)
        width = int(length / 2.2)
        samples = drive_curve(peak, min(width, 79))
        m = max(samples)
        first = samples.index(m) + 1
        last = 80 - samples[::-1].index(m)
        peak_pos = 2.2 * (first + last) / 2
        pulse = 120 + min(50, t / 6) + rnd.uniform(-2, 2)
        interval_no = number if number <= 4 else 0
        countdown = int(max(0, (work - phase) if working else (work + rest - phase)))
        s = dict(power=power, avg_power=power_sum / k, rate=rate, target=0.0, time=t, length=length,
                 distance=dist, time500=500.0 / speed, energy=energy, energy_sum=esum, pulse=pulse,
                 wpp=energy / (pulse / 60.0 * stroke_time), peak=float(m), peak_pos=peak_pos,
                 peak_rel=peak_pos / length * 100.0, ratio=ratio, k=0.8 + rnd.uniform(-0.05, 0.05),
                 interval=interval_no, countdown=countdown, interval_power=int(base), drive=drive,
                 dps=dps * 100.0)
        strokes.append(stroke(k, **s))
        curves.append(curve(k, samples))
        if working:
            per_interval.setdefault(number, []).append((s, samples))
    intervals = []
    for i in range(1, 5):
        items = per_interval.get(i, [])
        cnt = len(items)
        avg = lambda key: sum(x[0][key] for x in items) / cnt
        avg_samples = [int(round(sum(x[1][j] for x in items) / cnt)) for j in range(80)]
        st = stroke(cnt, power=avg("power"), avg_power=avg("avg_power"), rate=avg("rate"), time=work,
                    length=avg("length"), distance=avg("dps") * cnt / 100.0, time500=avg("time500"),
                    energy=avg("energy"), energy_sum=sum(x[0]["energy"] for x in items) / 1000.0,
                    pulse=avg("pulse"), wpp=avg("wpp"), peak=avg("peak"), peak_pos=avg("peak_pos"),
                    peak_rel=avg("peak_rel"), ratio=avg("ratio"), k=avg("k"), interval=i, drive=avg("drive"),
                    dps=avg("dps"))
        intervals.append(interval(i, int(avg("power")), int(avg("rate")), int(work),
                                  int(avg("dps") * cnt / 100.0), int(avg("pulse")), curve(0, avg_samples), st))
    raws = []
    for i in range(1, 2001):
        raws.append(raw_sample(rnd.randint(3000, 30000), rnd.randint(110, 170)))
    h = header(title="Intervals 4 x 1 min", name="Eva Lindqvist")
    data = training_file([
        block(1, HEADER_SIZE, [h]),
        block(2, SETTINGS_SIZE, [settings(Weight=68, Gender=1, LimitType=4, LimitIntervals=4, IntervalBy=3,
                                          WorkPeriod=60, WorkTime=60, RestPeriod=30, RestTime=30)]),
        block(3, STROKE_SIZE, strokes),
        block(4, CURVE_SIZE, curves),
        block(5, INTERVAL_SIZE, intervals),
        block(6, TOTALS_SIZE, [totals(dist, t, esum, esum * 1000 / t)]),
        block(7, RAW_SIZE, raws),
    ])
    out("training/sample.stg", data)


# ---------------------------------------------------------------------------
# Small training files for the reader's cases.

def small_strokes(count):
    strokes, curves = [], []
    for k in range(1, count + 1):
        strokes.append(stroke(k, power=200.0 + k, rate=24.0, time=2.5 * k, length=140.0, distance=10.0 * k,
                              energy=500.0, energy_sum=0.5 * k, pulse=130.0, drive=0.8, ratio=1.5, dps=1000.0))
        curves.append(curve(k, drive_curve(400 + 10 * k, 60)))
    return strokes, curves


def small_files():
    strokes, curves = small_strokes(3)
    full = [
        block(1, HEADER_SIZE, [header()]),
        block(2, SETTINGS_SIZE, [settings()]),
        block(3, STROKE_SIZE, strokes),
        block(4, CURVE_SIZE, curves),
        block(5, INTERVAL_SIZE, [interval(1, 200, 24, 60, 250, 130, curve(0, drive_curve(420, 60)), stroke(3))]),
        block(6, TOTALS_SIZE, [totals(30.0, 7.5, 1.5, 200.0)]),
        block(7, RAW_SIZE, [raw_sample(6140, 130), raw_sample(-1, 131), raw_sample(7000, 0)]),
    ]
    out("training/current.stg", training_file(full))

    # A block of a later version between settings and strokes.
    unknown = full[:2] + [block(42, 10, [bytes(range(i, i + 10)) for i in range(5)])] + full[2:]
    out("training/unknown_block.stg", training_file(unknown))

    # Records shorter and longer than this program's.
    short = [
        block(1, 2000, [header()[:2000]]),
        block(2, 100, [settings()[:100]]),
        block(3, 60, [s[:60] for s in strokes]),
        block(4, 100, [c[:100] for c in curves]),
        block(6, 8, [totals(30.0, 7.5, 1.5, 200.0)[:8]]),
    ]
    out("training/short_records.stg", training_file(short))
    long = [
        block(1, HEADER_SIZE + 20, [header() + b"\x99" * 20]),
        block(2, SETTINGS_SIZE + 8, [settings() + b"\x77" * 8]),
        block(3, STROKE_SIZE + 16, [s + b"\xEE" * 16 for s in strokes]),
        block(4, CURVE_SIZE + 5, [c + b"\xDD" * 5 for c in curves]),
        block(6, TOTALS_SIZE + 4, [totals(30.0, 7.5, 1.5, 200.0) + b"\x11" * 4]),
        block(7, RAW_SIZE + 1, [raw_sample(6140, 130) + b"\x42"]),
    ]
    out("training/long_records.stg", training_file(long))

    # Stroke records placed by their own numbers: 1, 3, 9 with count 3.
    numbered = [stroke(1, power=101.0, time=2.0), stroke(3, power=103.0, time=6.0), stroke(9, power=109.0, time=18.0)]
    out("training/stroke_numbers.stg", training_file([block(1, HEADER_SIZE, [header()]),
                                                      block(3, STROKE_SIZE, numbered)]))

    # Cut files: at a record boundary inside the stroke block, and inside a record.
    whole = training_file(full)
    stroke_block_start = 8 + 7 + HEADER_SIZE + 7 + SETTINGS_SIZE
    first_record = stroke_block_start + 7
    out("training/truncated_boundary.stg", whole[:first_record + 2 * STROKE_SIZE])
    out("training/truncated_record.stg", whole[:first_record + 2 * STROKE_SIZE + 30])
    out("training/truncated_block_header.stg", whole[:stroke_block_start + 3])

    # Magic and version only.
    out("training/empty_blocks.stg", training_file([]))
    out("training/zero_version.stg", MAGIC + struct.pack("<I", 0))
    out("training/bad_magic.stg", b"LIM " + struct.pack("<I", VERSION))
    # Counts the file cannot back.
    out("training/huge_count.stg", training_file([block(3, STROKE_SIZE, [], count=1000000000)]))
    out("training/negative_count.stg", training_file([block(5, INTERVAL_SIZE, [], count=-5)]))
    out("training/zero_size.stg", training_file([block(4, 0, [], count=100)]))
    out("training/raw_overcount.stg", training_file([block(7, RAW_SIZE, [raw_sample(1, 2), raw_sample(3, 4)],
                                                           count=2000000000)]))
    out("training/block_type_zero.stg", training_file([block(0, 0, [], count=0)]))

    # A session saved by this program with an interval curve in view.
    out("training/curve_source.stg", training_file([block(1, HEADER_SIZE, [header(curve_source=2)]),
                                                    block(2, SETTINGS_SIZE, [settings()])]))

    # A user-only session (the template a new session starts from).
    out("training/user_only.stg", training_file([
        block(1, HEADER_SIZE, [header(title="Template", name="Eva", kind=7, garbage=False)]),
        block(2, SETTINGS_SIZE, [settings(Weight=66, Gender=1, BoatType=3)]),
        block(3, STROKE_SIZE, []), block(4, CURVE_SIZE, []), block(5, INTERVAL_SIZE, []),
        block(6, TOTALS_SIZE, [totals(0, 0, 0, 0)]), block(7, RAW_SIZE, []),
    ]))


def old_header_file():
    h = bytearray(1024)

    def zstr(off, size, text):
        raw = text.encode("cp1252")[:size - 1]
        h[off:off + len(raw)] = raw

    h[0:4] = MAGIC
    h[4:8] = struct.pack("<I", OLD_VERSION)
    zstr(8, 260, "C:\\Trainings\\old.stg")
    h[268:276] = struct.pack("<d", 38000.5)
    h[276:280] = struct.pack("<i", 4096)
    h[280] = 5
    h[281] = 6
    zstr(282, 40, "Old title")
    zstr(322, 40, "Old rower")
    zstr(362, 40, "Old description")
    h[402:410] = struct.pack("<d", 38000.25)
    zstr(410, 20, "Race")
    zstr(430, 20, "Regatta")
    zstr(450, 256, "An old note")
    zstr(706, 260, "C:\\Import\\orig.bxs")
    h[966:974] = struct.pack("<d", 37999.0)
    h[974:978] = struct.pack("<i", 999)
    h[978] = 10
    h[979] = 6
    h[980] = 1
    h[981] = 7  # any non-zero: curve of slot 0
    h[982:996] = b"\xFF" * 14  # not used
    h[996:1000] = struct.pack("<i", 0x00FF00)
    h[1000] = 2
    h[1001:1005] = struct.pack("<i", 3)
    h[1005] = 1
    h[1006:1024] = b"\xFF" * 18  # not used
    out("training/old_header.stg", bytes(h) + b"\x00" * 64)
    out("training/old_header_short.stg", bytes(h[:1000]))


# ---------------------------------------------------------------------------
# User files, stroke files and Brax files.

def user_record(name=b"Eva", weight=68, gender=1, boat=3, ergometer=1, sprocket=0, words=None):
    rec = bytearray(106)
    rec[0:len(name)] = name
    rec[9:19] = bytes([2, 3, 10, 11, 0, 9, 4, 6, 0, 0])
    rec[22:32] = struct.pack("<5h", weight, gender, boat, ergometer, sprocket)
    if words is None:
        # LimitType .. Display
        words = [3, 0, 1800, 0, 0, 0, 150, 0, 10, 3, 60, 60, 0, 0, 0, 30, 30, 0, 0, 0, 0]
    rec[46:88] = struct.pack("<21H", *words)
    rec[90:106] = struct.pack("<8H", 11, 0, 15, 0, 1, 3, 0, 0)
    return bytes(rec)


def user_files():
    out("user/rower.ini", user_record())
    out("user/nine_chars.ini", user_record(name=b"Alexandra"))
    out("user/ergometer3.ini", user_record(ergometer=3))
    out("user/long.ini", user_record() + b"\x00")
    out("user/short.ini", user_record()[:105])


def stroke_files():
    rec = struct.pack("<16H", 7, 250, 240, 26, 0, 95, 142, 410, 104, 580, 23, 135, 256, 2, 17, 230)
    samples = [0] * 80
    for i in range(60):
        samples[i] = int(round(100 * math.sin(math.pi * (i + 0.5) / 60)))
    # A high sample followed by zeros: the overflow mark of the earlier equipment.
    samples[30] = 200
    samples[31] = 0
    samples[32] = 0
    samples[33] = 150
    samples[40] = 100
    samples[41] = 0
    data = rec + bytes(samples) + user_record()
    assert len(data) == 218
    out("stroke/sample.str", data)
    out("stroke/short.str", data[:217])


def brax_header(kind, with_curves=0, strokes=0, intervals=0, magic=b"Brax"):
    return magic + bytes([0, kind, 4, 3, 2, 1]) + struct.pack("<3H", with_curves, strokes, intervals)


def brax_user_block(boat=3, sprocket=10, weight=72):
    return bytes([boat, sprocket, weight, 0])


def brax_workout(code=4, **kw):
    w = bytearray(28)
    w[0] = code
    for off, val in kw.get("bytes", {}).items():
        w[off] = val
    for off, val in kw.get("words", {}).items():
        w[off:off + 2] = struct.pack("<H", val)
    return bytes(w)


def brax_stroke(number, time_ms, distance_mm, energy_sum, at42=600, at44=2300, at46=150):
    r = bytearray(48)
    r[0:4] = struct.pack("<I", 850000000)   # K 0.85
    r[4:8] = struct.pack("<I", 80000)       # drive 0.8 s
    r[10:12] = struct.pack("<H", 5500)      # energy 550 J
    r[12:14] = struct.pack("<H", 2300)      # power 230 W
    r[14:16] = struct.pack("<H", 150)       # ratio 1.5
    r[16:18] = struct.pack("<H", 1050)      # 500 m time 105 s
    r[18:20] = struct.pack("<H", 2500)      # work per pulse 250
    r[20] = 141
    r[21] = 26
    r[22] = 150
    r[23] = 1
    r[26:28] = struct.pack("<H", number)
    r[28:32] = struct.pack("<I", distance_mm)
    r[32:36] = struct.pack("<I", energy_sum)
    r[36:40] = struct.pack("<I", time_ms)
    r[40:42] = struct.pack("<H", 2250)
    r[42:44] = struct.pack("<H", at42)
    r[44:46] = struct.pack("<H", at44)
    r[46:48] = struct.pack("<H", at46)
    return bytes(r)


def brax_curve(peak_byte=80):
    return bytes(int(peak_byte * math.sin(math.pi * (i + 0.5) / 75)) for i in range(75)) + b"\x00"


def brax_totals():
    t = bytearray(216)
    t[0:4] = struct.pack("<I", 30500)    # 30.5 m
    t[4:8] = struct.pack("<I", 16500)    # 1.65 kJ
    t[8:12] = struct.pack("<I", 7200)    # 7.2 s
    t[14:16] = struct.pack("<H", 2290)   # 229 W
    return bytes(t)


def brax_files():
    common_user = bytes(28) + brax_user_block()
    out("brax/user.bxi", brax_header(0) + common_user + brax_workout(4, bytes={2: 12, 3: 30}))
    out("brax/user_sprocket1.bxi", brax_header(0) + bytes(28) + brax_user_block(sprocket=11) +
        brax_workout(3, words={4: 2000}))
    out("brax/user_wrong_kind.bxi", brax_header(1) + common_user + brax_workout(4))
    out("brax/stroke.bxr", brax_header(1) + common_user + brax_workout(20, bytes={1: 4, 24: 1, 26: 30, 25: 0, 27: 45})
        + brax_stroke(1, 2400, 10200, 5500) + brax_curve())
    # Session: 3 strokes with curves, 3 strokes, 3 intervals (records for intervals 1 and 2).
    with_curves = b"".join(brax_stroke(k, 2400 * k, 10200 * k, 5500 * k) + brax_curve(70 + 5 * k) for k in (1, 2, 3))
    plain = b"".join(brax_stroke(k, 2400 * k, 10150 * k, 5500 * k) for k in (1, 2, 3))
    intervals = struct.pack("<4H", 600, 2310, 250, 0) + struct.pack("<4H", 605, 2280, 248, 0)
    session = (brax_header(2, 3, 3, 3) + common_user + brax_workout(19, bytes={1: 3}, words={12: 250, 14: 100})
               + with_curves + plain + intervals + brax_totals())
    out("brax/session.bxs", session)
    out("brax/session_truncated.bxs", session[:-10])
    out("brax/session_bad_magic.bxs", b"Brux" + session[4:])
    # More curves than strokes: the curve records would land outside the session.
    out("brax/session_overcount.bxs", brax_header(2, 60000, 3, 1) + session[16:])


if __name__ == "__main__":
    sample_session()
    small_files()
    old_header_file()
    user_files()
    stroke_files()
    brax_files()
