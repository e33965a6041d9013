#!/usr/bin/env python3
"""Tolvane against multimon-ng on identical generated audio.

Speed: one hour of mixed POCSAG 512/1200/2400 and FLEX 1600/2 traffic at
22050 Hz, decoded by tolvane-cli and by multimon-ng (POCSAG512, POCSAG1200,
POCSAG2400, FLEX), each pinned to one core, alternately, in the same run.

Sensitivity: the same kind of traffic at a sweep of noise levels. For each
level, protocol/rate and decoder: pages decoded exactly (capcode and full
text) and pages shown with wrong content. For Tolvane a page whose capcode
shows question marks or whose text carries the bit-error colour (printed
between the marks of tolvane-cli --mark-errors) is marked, not wrong.

Receivers: every mode (POCSAG 512/1200/2400, FLEX 1600/2, 3200/2, 3200/4,
6400/4) alone in its own file, through a receiver low-pass of 1.0x to 4x its
symbol rate, with the transmitter's clock -1 % to +1 % off, after pauses
of 0.5 to 10 s before each transmission, and through an AC coupling (a
first-order high-pass of 5 to 300 Hz, whose corner Tolvane estimates:
--highpass-corner auto); the 4-level modes as four levels,
decoded with 4LevelInterface=1, also joined 0.4 and 1 s into one busy
transmission (the recording starts on whatever level is sent), and where
two transmitters of a simulcast network overlap (the second heard 50 to
200 us later and 3 dB weaker). Same scoring.
By default a short set of
points (clean audio, and the 1.15x filter and the 4-level modes under
noise); --full sweeps every point at every SNR of --receiver-snr.

Writes speed.csv, sensitivity.csv, sensitivity.png, receivers.csv,
receivers.png, highpass.png, simulcast.png and summary.md into the results directory. Standard library only.
"""

import argparse
import csv
import datetime
import os
import platform
import random
import re
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor

CATEGORIES = [("pocsag", "512"), ("pocsag", "1200"), ("pocsag", "2400"), ("flex", "1600/2")]
# Every mode of the receiver sweep: symbols per second and levels.
MODES = {("pocsag", "512"): (512, 2), ("pocsag", "1200"): (1200, 2), ("pocsag", "2400"): (2400, 2),
         ("flex", "1600/2"): (1600, 2), ("flex", "3200/2"): (3200, 2), ("flex", "3200/4"): (1600, 4),
         ("flex", "6400/4"): (3200, 4)}
BANDWIDTHS = [1.0, 1.15, 1.5, 2.0, 4.0]  # receiver low-pass, times the symbol rate
CLOCK_ERRORS = [-0.01, -0.005, 0.0, 0.005, 0.01]
GAPS = [0.5, 2.5, 10.0]
# AC coupling: first-order high-pass corners (Hz), clean and at HIGHPASS_SNR,
# with 1 s gaps between transmissions.
HIGHPASSES = [0, 5, 20, 30, 100, 300]
HIGHPASS_SNR = {2: 15, 4: 22}  # dB, by levels
HIGHPASS_GAP = 1.0
# Tolvane is not told the corner: it estimates it (DC-coupled audio is
# taken as it is).
HIGHPASS_TOLVANE = ["--highpass-corner", "auto"]
# Joining a busy 4-level network: the audio starts this many seconds into
# one transmission of JOIN_PAGES pages; the pages of the frame the start
# cuts (lost to any receiver) are not counted.
JOINS = [0.4, 1.0]
JOIN_PAGES = 60
JOIN_SNR = 25
# Simulcast: a second transmitter of the network sending the same signal,
# heard SIMULCAST_DB weaker and this many microseconds later, clean and at
# HIGHPASS_SNR, with SIMULCAST_GAP between transmissions.
SIMULCASTS = [0, 100, 200, 300]
SIMULCAST_DB = 1
SIMULCAST_GAP = 0.75
MULTIMON_DEMODS = ["POCSAG512", "POCSAG1200", "POCSAG2400", "FLEX"]
RATE = 22050
ALPHA_CHARS = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 .,:;!?#/()-+=@'"
MARK_OPEN, MARK_CLOSE = "\u00ab", "\u00bb"


# ---------------------------------------------------------------- traffic

def random_page(rng, protocol, rate, capcodes):
    """One page description and its truth (protocol, rate, capcode, text)."""
    while True:
        capcode = rng.randint(8, 2000000) if protocol == "pocsag" else rng.randint(1, 1900000)
        if capcode not in capcodes:
            capcodes.add(capcode)
            break
    if rng.random() < 0.7:
        n = rng.randint(12, 60)
        text = "".join(rng.choice(ALPHA_CHARS) for _ in range(n)).strip()  # no edge spaces
        kind, function = "alpha", 3 if protocol == "pocsag" else 0
    else:
        n = rng.randint(5, 20)
        text = "".join(rng.choice("0123456789") for _ in range(n))
        kind, function = "numeric", 0
    desc = f"{protocol}:{rate}:{capcode}:{function}:{kind}:{text}"
    return desc, (protocol, rate, capcode, text)


def make_mode_file(path, rng, category, pages, gap):
    """Transmissions of 1..4 pages of one mode, each after `gap` seconds."""
    truths, lines, capcodes = [], [], set()
    while len(truths) < pages:
        lines.append(f"gap {gap}")
        for _ in range(min(rng.randint(1, 4), pages - len(truths))):
            desc, truth = random_page(rng, category[0], category[1], capcodes)
            lines.append(desc)
            truths.append(truth)
    lines.append("gap 0.5")
    with open(path, "w", encoding="ascii") as f:
        f.write("\n".join(lines) + "\n")
    return truths


def make_busy_file(path, rng, category, pages):
    """One transmission of `pages` pages of one mode, no gaps; returns the truths and descriptions."""
    truths, lines, capcodes = [], [], set()
    for _ in range(pages):
        desc, truth = random_page(rng, category[0], category[1], capcodes)
        lines.append(desc)
        truths.append(truth)
    with open(path, "w", encoding="ascii") as f:
        f.write("\n".join(lines + ["gap 0.5"]) + "\n")
    return truths, lines


def joinable_pages(args, base, ini, category, descriptions, truths, join):
    """The pages of a busy transmission that a receiver started `join` s into it can get: those
    decoded from the perfect edge stream of the same start."""
    gen = os.path.join(args.build, "tools/gen/tolvane-gen")
    subprocess.run([gen, "--levels", str(MODES[category][1]), "--gap", "0", "--start-at", str(join),
                    "-o", base + ".edges"] + descriptions, check=True, capture_output=True)
    run_timed(tolvane_cmd(args.build, ini, base + ".edges"), base + ".ideal")
    ideal = parse_tolvane(base + ".ideal", category[1])
    os.remove(base + ".edges")
    os.remove(base + ".ideal")
    got = {(p.capcode, p.text) for p in ideal if not p.marked}
    return [t for t in truths if (t[2], t[3]) in got], [t for t in truths if (t[2], t[3]) not in got]


def make_page_file(path, rng, seconds=None, per_category=None):
    """Transmissions of 1..4 pages of one category, gaps of 1..3 s.

    Either until about `seconds` of air time (estimated) or until every
    category has `per_category` pages. Returns the list of truths."""
    truths, lines, capcodes = [], ["gap 1"], set()
    counts = {c: 0 for c in CATEGORIES}
    air = 1.0
    while True:
        if seconds is not None and air >= seconds:
            break
        if per_category is not None:
            left = [c for c in CATEGORIES if counts[c] < per_category]
            if not left:
                break
            category = rng.choice(left)
        else:
            category = rng.choice(CATEGORIES)
        protocol, rate = category
        n = rng.randint(1, 4)
        if per_category is not None:
            n = min(n, per_category - counts[category])
        for _ in range(n):
            desc, truth = random_page(rng, protocol, rate, capcodes)
            lines.append(desc)
            truths.append(truth)
            counts[category] += 1
        gap = rng.uniform(1.0, 3.0)
        lines.append(f"gap {gap:.2f}")
        air += gap + estimate_seconds(protocol, rate, truths[-n:])
    with open(path, "w", encoding="ascii") as f:
        f.write("\n".join(lines) + "\n")
    return truths


def estimate_seconds(protocol, rate, pages):
    if protocol == "flex":
        return 1.875 * max(1, (len(pages) + 7) // 8)
    words = sum(1 + (7 * len(t[3]) + 19) // 20 for t in pages)
    bits = 576 + ((words + 15) // 16 + 1) * 17 * 32
    return bits / int(rate)


# ---------------------------------------------------------------- decoding

def run_timed(cmd, out_path, may_fail=False):
    """Runs cmd with stdout to out_path; returns (wall s, user+sys CPU s).

    With may_fail a failure (multimon-ng crashes on some 4-level audio) is
    returned as None, the output so far kept."""
    with open(out_path, "wb") as out:
        start = time.monotonic()
        proc = subprocess.Popen(cmd, stdout=out, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.monotonic() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0 and may_fail:
        return None
    if proc.returncode != 0:
        sys.exit(f"{cmd[0]} failed with status {proc.returncode}")
    return wall, usage.ru_utime + usage.ru_stime


def tolvane_cmd(build, ini, audio, pin=False, extra=()):
    cmd = [os.path.join(build, "app/cli/tolvane-cli"), "--ini", ini, "--rate", str(RATE), "--mark-errors", *extra, audio]
    return (["taskset", "-c", "0"] if pin else []) + cmd


def multimon_cmd(audio, pin=False):
    cmd = ["multimon-ng", "-q", "-n", "-c", "-t", "raw"]
    for d in MULTIMON_DEMODS:
        cmd += ["-a", d]
    return (["taskset", "-c", "0"] if pin else []) + cmd + [audio]


# ---------------------------------------------------------------- parsing

TOLVANE_POCSAG = re.compile(r"^\{([0-9?]{7})\} (\S) (512|1200|2400) (.*)$")
TOLVANE_FLEX = re.compile(r"^\[([0-9?]{7,10})\]\s+([A-D]) (.{7}) (.*)$")
TOLVANE_GSC = re.compile(r"^\(([0-9?]{6})\) ")
MM_POCSAG = re.compile(r"^POCSAG(512|1200|2400): Address:\s*(\d+)\s+Function:\s*(\d)(?:\s+(Alpha|Numeric):\s?(.*))?$")
MM_FLEX_PIPE = re.compile(r"^FLEX\|[^|]*\|(\d+/\d)[^|]*\|[^|]*\|(\d+)\|([A-Z]+)\|(.*)$")
MM_FLEX_TEXT = re.compile(r"^FLEX: \S+ \S+ (\d+/\d)\S* \S+ \[(\d+)\] ([A-Z]+) ?(.*)$")
MM_TRAILER = re.compile(r"(?:<[A-Z]{2,3}>|\s)+$")


class Shown:
    """One page as a decoder showed it."""

    def __init__(self, category, capcode, text, marked):
        self.category, self.capcode, self.text, self.marked = category, capcode, text, marked


def parse_tolvane(path, flex_rate="1600/2"):
    pages = []
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            m = TOLVANE_POCSAG.match(line)
            if m:
                cap, text = m.group(1), m.group(4)
                category = ("pocsag", m.group(3))
            else:
                m = TOLVANE_FLEX.match(line)
                if m:
                    cap, text = m.group(1), m.group(4)
                    category = ("flex", flex_rate)  # the line does not say; one mode per file
                elif TOLVANE_GSC.match(line):
                    pages.append(Shown(("gsc", "600"), None, line, MARK_OPEN in line or "?" in line[:8]))
                    continue
                else:
                    continue  # frame rows, unknown sync headers: not pages
            marked = "?" in cap or MARK_OPEN in text
            capcode = None if "?" in cap else int(cap)
            pages.append(Shown(category, capcode, text.rstrip(" "), marked))
    return pages


def parse_multimon(path):
    pages = []
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            m = MM_POCSAG.match(line)
            if m:
                text = MM_TRAILER.sub("", (m.group(5) or "").lstrip(" ")) if m.group(4) else ""
                pages.append(Shown(("pocsag", m.group(1)), int(m.group(2)), text, False))
                continue
            m = MM_FLEX_PIPE.match(line) or MM_FLEX_TEXT.match(line)
            if m:
                pages.append(Shown(("flex", m.group(1)), int(m.group(2)), MM_TRAILER.sub("", m.group(4)), False))
    return pages


def score(truths, shown, categories=CATEGORIES, uncounted=()):
    """Per category: sent, exact, wrong (unmarked), marked. Pages of `uncounted` shown exactly count
    nowhere."""
    result = {c: {"sent": 0, "exact": 0, "wrong": 0, "marked": 0} for c in categories}
    ignored = {(protocol, rate, capcode, text) for protocol, rate, capcode, text in uncounted}
    shown = [p for p in shown if p.marked or (p.category[0], p.category[1], p.capcode, p.text) not in ignored]
    expected = {}
    for protocol, rate, capcode, text in truths:
        result[(protocol, rate)]["sent"] += 1
        expected[(protocol, rate, capcode)] = text
    found = set()
    for page in shown:
        row = result.setdefault(page.category, {"sent": 0, "exact": 0, "wrong": 0, "marked": 0})
        key = (page.category[0], page.category[1], page.capcode)
        if key in expected and expected[key] == page.text and not page.marked:
            if key not in found:
                found.add(key)
                row["exact"] += 1
        elif page.marked:
            row["marked"] += 1
        else:
            row["wrong"] += 1
    return result


# ---------------------------------------------------------------- runs

def speed_run(args, ini, work):
    rng = random.Random(2024)
    pages = os.path.join(work, "hour.pages")
    audio = os.path.join(work, "hour.s16")
    truths = make_page_file(pages, rng, seconds=args.hour_seconds)
    t0 = time.monotonic()
    out = subprocess.run([os.path.join(args.build, "bench/tolvane-traffic"), "--rate", str(RATE), "--snr", "20",
                          "--seed", "7", "-o", audio, pages], check=True, capture_output=True, text=True)
    audio_seconds = float(out.stdout.strip())
    print(f"speed: {len(truths)} pages, {audio_seconds:.0f} s of audio made in {time.monotonic() - t0:.0f} s",
          flush=True)
    # Read once so that neither decoder pays for the disk.
    with open(audio, "rb") as f:
        while f.read(1 << 24):
            pass
    runs = {"tolvane": [], "multimon-ng": []}
    for _ in range(args.rounds):
        runs["tolvane"].append(run_timed(tolvane_cmd(args.build, ini, audio, pin=True), audio + ".tolvane"))
        runs["multimon-ng"].append(run_timed(multimon_cmd(audio, pin=True), audio + ".multimon"))
    rows = []
    for name, times in runs.items():
        wall, cpu = min(times)
        shown = parse_tolvane(audio + ".tolvane") if name == "tolvane" else parse_multimon(audio + ".multimon")
        exact = sum(r["exact"] for r in score(truths, shown).values())
        rows.append({"decoder": name, "audio_s": round(audio_seconds, 1), "wall_s": round(wall, 3),
                     "cpu_s": round(cpu, 3), "realtime_x_wall": round(audio_seconds / wall, 1),
                     "realtime_x_cpu": round(audio_seconds / cpu, 1), "pages_sent": len(truths),
                     "pages_exact": exact, "rounds": args.rounds})
        print(f"speed: {name}: wall {wall:.2f} s, cpu {cpu:.2f} s, {audio_seconds / wall:.0f}x real time, "
              f"{exact}/{len(truths)} exact", flush=True)
    if not args.keep:
        os.remove(audio)
    return rows


def sensitivity_level(args, ini, work, snr, truths, pages):
    audio = os.path.join(work, f"snr{snr}.s16")
    subprocess.run([os.path.join(args.build, "bench/tolvane-traffic"), "--rate", str(RATE), "--snr", str(snr),
                    "--seed", str(100 + int(snr * 10)), "-o", audio, pages], check=True, capture_output=True)
    run_timed(tolvane_cmd(args.build, ini, audio), audio + ".tolvane")
    run_timed(multimon_cmd(audio), audio + ".multimon")
    rows = []
    for name, shown in (("tolvane", parse_tolvane(audio + ".tolvane")),
                        ("multimon-ng", parse_multimon(audio + ".multimon"))):
        for (protocol, rate), r in score(truths, shown).items():
            if r["sent"] == 0 and r["exact"] + r["wrong"] + r["marked"] == 0:
                continue
            rows.append({"snr_db": snr, "protocol": protocol, "rate": rate, "decoder": name, "sent": r["sent"],
                         "exact": r["exact"],
                         "exact_fraction": round(r["exact"] / r["sent"], 3) if r["sent"] else 0,
                         "wrong_unmarked": r["wrong"], "marked": r["marked"]})
    if not args.keep:
        os.remove(audio)
    return rows


def sensitivity_run(args, ini, work):
    rng = random.Random(99)
    pages = os.path.join(work, "sweep.pages")
    truths = make_page_file(pages, rng, per_category=args.pages)
    with ThreadPoolExecutor(max_workers=args.jobs) as pool:
        futures = [pool.submit(sensitivity_level, args, ini, work, snr, truths, pages) for snr in args.snr]
        rows = []
        for snr, fut in zip(args.snr, futures):
            rows += fut.result()
            print(f"sensitivity: {snr} dB done", flush=True)
    return rows


def receiver_points(args):
    """(category, bandwidth factor or None for 4 kHz, clock error, gap, SNR or None, high-pass Hz,
    join s, simulcast delay us) to measure."""
    points = set()
    snrs = args.receiver_snr if args.full else []
    for category in MODES:
        for snr in [None] + snrs:
            for bw in BANDWIDTHS:
                points.add((category, bw, 0.0, 0.5, snr, 0, 0.0, 0))
            for err in CLOCK_ERRORS:
                points.add((category, None, err, 0.5, snr, 0, 0.0, 0))
            for gap in GAPS:
                points.add((category, None, 0.0, gap, snr, 0, 0.0, 0))
        if not args.full:
            # Under noise by default: the narrow filter for every mode, and
            # the 4-level modes beside 2-level FLEX for their 50 % points.
            for snr in args.receiver_snr:
                points.add((category, 1.15, 0.0, 0.5, snr, 0, 0.0, 0))
                if category[0] == "flex":
                    points.add((category, None, 0.0, 0.5, snr, 0, 0.0, 0))
        levels = MODES[category][1]
        for hp in HIGHPASSES:
            for snr in (None, HIGHPASS_SNR[levels]):
                points.add((category, None, 0.0, HIGHPASS_GAP, snr, hp, 0.0, 0))
        for delay in SIMULCASTS:
            for snr in (None, HIGHPASS_SNR[levels]):
                points.add((category, None, 0.0, SIMULCAST_GAP, snr, 0, 0.0, delay))
        if levels == 4:
            for join in JOINS:
                points.add((category, None, 0.0, 0.0, JOIN_SNR, 0, join, 0))
    if args.only_highpass:
        points = {p for p in points if p[3] == HIGHPASS_GAP}
    if args.only_simulcast:
        points = {p for p in points if p[3] == SIMULCAST_GAP}
    return sorted(points, key=lambda p: (p[0], p[1] or 0, p[2], p[3], -1 if p[4] is None else p[4], *p[5:]))


def receiver_point(args, work, point, index):
    category, bw, err, gap, snr, highpass, join, simulcast = point
    symbol_rate, levels = MODES[category]
    rng = random.Random(1000 + index)
    base = os.path.join(work, f"rx{index}")
    ini = os.path.join(work, f"tolvane{levels}.ini")
    cut = []
    if join:
        truths, descriptions = make_busy_file(base + ".pages", rng, category, JOIN_PAGES)
        truths, cut = joinable_pages(args, base, ini, category, descriptions, truths, join)
    else:
        truths = make_mode_file(base + ".pages", rng, category, args.receiver_pages, gap)
    filter_hz = min(bw * symbol_rate, 0.4 * RATE) if bw else 4000
    cmd = [os.path.join(args.build, "bench/tolvane-traffic"), "--rate", str(RATE), "--seed", str(7 + index),
           "--filter-hz", f"{filter_hz:.1f}", "--rate-error", str(err), "--levels", str(levels),
           "--highpass", str(highpass), "--start-at", str(join), "-o", base + ".s16", base + ".pages"]
    if snr is not None:
        cmd[3:3] = ["--snr", str(snr)]
    if simulcast:
        cmd[3:3] = ["--simulcast", f"{simulcast}:{SIMULCAST_DB}"]
    subprocess.run(cmd, check=True, capture_output=True)
    extra = HIGHPASS_TOLVANE if gap == HIGHPASS_GAP else ()
    run_timed(tolvane_cmd(args.build, ini, base + ".s16", extra=extra), base + ".tolvane")
    crashed = run_timed(multimon_cmd(base + ".s16"), base + ".multimon", may_fail=True) is None
    rows = []
    for name, shown in (("tolvane", parse_tolvane(base + ".tolvane", category[1])),
                        ("multimon-ng", parse_multimon(base + ".multimon"))):
        r = score(truths, shown, [category], cut)[category]
        rows.append({"protocol": category[0], "rate": category[1], "bandwidth_x": bw or "4kHz",
                     "clock_error": err, "gap_s": gap, "snr_db": "clean" if snr is None else snr,
                     "highpass_hz": highpass, "join_s": join, "simulcast_us": simulcast,
                     "decoder": name,
                     "sent": r["sent"], "exact": r["exact"], "wrong_unmarked": r["wrong"], "marked": r["marked"],
                     "crashed": int(crashed and name == "multimon-ng")})
    if not args.keep:
        for ext in (".s16", ".tolvane", ".multimon", ".pages"):
            os.remove(base + ext)
    return rows


def receiver_run(args, work):
    for levels in (2, 4):
        with open(os.path.join(work, f"tolvane{levels}.ini"), "w", encoding="ascii") as f:
            f.write(f"[Tolvane]\nTimestamp=0\n4LevelInterface={1 if levels == 4 else 0}\n")
    points = receiver_points(args)
    with ThreadPoolExecutor(max_workers=args.jobs) as pool:
        futures = [pool.submit(receiver_point, args, work, p, i) for i, p in enumerate(points)]
        rows = []
        for fut in futures:
            rows += fut.result()
    print(f"receivers: {len(points)} points done", flush=True)
    return rows


def plot_exact_fractions(results, stem, title, xlabel, series, options=""):
    """One gnuplot of exact-page fractions: series are (title, line style, [(x, fraction)])."""
    data = os.path.join(results, f"{stem}.dat")
    plots = []
    with open(data, "w", encoding="ascii") as f:
        for i, (name, style, pts) in enumerate(series):
            f.write("".join(f"{x} {y}\n" for x, y in pts) + "\n\n")
            plots.append(f"'{data}' index {i} using 1:2 with linespoints {style} title '{name}'")
    script = f"""
set terminal pngcairo size 1100,600 font ',10'
set output '{os.path.join(results, stem + '.png')}'
set title '{title}'
set grid
{options}
set xlabel '{xlabel}'
set ylabel 'pages decoded exactly (fraction)'
set yrange [0:1.05]
set key outside right font ',8'
plot {', '.join(plots)}
"""
    subprocess.run(["gnuplot"], input=script, text=True, check=True)


def plot_receivers(results, rows):
    """Exact pages against SNR, 4 kHz and 1.15x low-pass, for every mode measured under noise."""
    series = []
    for category in MODES:
        for bw in ("4kHz", 1.15):
            for decoder in ("tolvane", "multimon-ng"):
                pts = sorted((r["snr_db"], r["exact"] / r["sent"]) for r in rows
                             if (r["protocol"], r["rate"]) == category and r["bandwidth_x"] == bw
                             and r["decoder"] == decoder and r["snr_db"] != "clean" and r["clock_error"] == 0
                             and r["highpass_hz"] == 0 and r["join_s"] == 0 and r["gap_s"] != SIMULCAST_GAP)
                if pts:
                    style = f"lc {list(MODES).index(category) + 1} dt {1 if decoder == 'tolvane' else 2} " \
                            f"pt {6 if bw == 1.15 else 7}"
                    name = f"{decoder} {category[0].upper()} {category[1]} {bw if bw == '4kHz' else '1.15x'}"
                    series.append((name, style, pts))
    plot_exact_fractions(results, "receivers", "Exact pages by mode and receiver low-pass: Tolvane (solid), "
                         "multimon-ng (dashed)", "SNR in the 4 kHz audio band (dB)", series)


def plot_sweep(results, rows, stem, gap, x_of, title, xlabel, options=""):
    """Exact pages of one sweep (its points have `gap` s between transmissions) against x_of(row),
    every mode, clean and under noise."""
    series = []
    for category in MODES:
        for noisy in (False, True):
            for decoder in ("tolvane", "multimon-ng"):
                pts = sorted((x_of(r), r["exact"] / r["sent"]) for r in rows
                             if (r["protocol"], r["rate"]) == category and r["decoder"] == decoder
                             and r["gap_s"] == gap and r["join_s"] == 0 and (r["snr_db"] != "clean") == noisy)
                if pts:
                    style = f"lc {list(MODES).index(category) + 1} dt {1 if decoder == 'tolvane' else 2} " \
                            f"pt {6 if noisy else 7}"
                    name = f"{decoder} {category[0].upper()} {category[1]} {'noisy' if noisy else 'clean'}"
                    series.append((name, style, pts))
    plot_exact_fractions(results, stem, title, xlabel, series, options)


def plot_highpass(results, rows):
    plot_sweep(results, rows, "highpass", HIGHPASS_GAP, lambda r: max(r["highpass_hz"], 1),
               "Exact pages through an AC coupling (Tolvane estimates the corner): "
               "Tolvane (solid), multimon-ng (dashed); 1 Hz = none", "first-order high-pass corner (Hz)",
               "set logscale x")


def plot_simulcast(results, rows):
    plot_sweep(results, rows, "simulcast", SIMULCAST_GAP, lambda r: r["simulcast_us"],
               f"Exact pages where two transmitters overlap (the second {SIMULCAST_DB} dB weaker): "
               "Tolvane (solid), multimon-ng (dashed)", "delay of the second transmitter (us)")


def receiver_summary(rows):
    """Markdown lines: one row per point, tolvane beside multimon-ng, and where multimon-ng is ahead."""
    lines = ["| mode | low-pass | clock | gap (s) | SNR (dB) | high-pass (Hz) | joined at (s) | simulcast (us) | sent | "
             "Tolvane exact | multimon-ng exact | Tolvane wrong (unmarked) | multimon-ng wrong |",
             "|---|---|---|---|---|---|---|---|---|---|---|---|---|"]
    index = {}
    for r in rows:
        key = (r["protocol"], r["rate"], r["bandwidth_x"], r["clock_error"], r["gap_s"], r["snr_db"],
               r["highpass_hz"], r["join_s"], r["simulcast_us"])
        index.setdefault(key, {})[r["decoder"]] = r
    behind = []
    for key, pair in index.items():
        tv, mm = pair["tolvane"], pair["multimon-ng"]
        bw = key[2] if key[2] == "4kHz" else f"{key[2]}x"
        crash = " (crashed)" if mm["crashed"] else ""
        lines.append(f"| {key[0]} {key[1]} | {bw} | {key[3] * 100:+.1f} % | {key[4]} | {key[5]} | {key[6]} | "
                     f"{key[7]} | {key[8]} | {tv['sent']} | {tv['exact']} | {mm['exact']}{crash} | {tv['wrong_unmarked']} | "
                     f"{mm['wrong_unmarked']} |")
        if tv["exact"] < mm["exact"] or tv["wrong_unmarked"] > mm["wrong_unmarked"]:
            behind.append(f"{key[0]} {key[1]}, low-pass {bw}, clock {key[3] * 100:+.1f} %, gap {key[4]} s, "
                          f"SNR {key[5]}, high-pass {key[6]} Hz, joined at {key[7]} s, simulcast {key[8]} us: "
                          f"Tolvane {tv['exact']} exact/{tv['wrong_unmarked']} wrong, "
                          f"multimon-ng {mm['exact']}/{mm['wrong_unmarked']}")
    lines += ["", "multimon-ng ahead at:" if behind else "multimon-ng is ahead at no receiver point."]
    return lines + [f"- {b}" for b in behind]


# ---------------------------------------------------------------- output

def write_csv(path, rows):
    with open(path, "w", newline="", encoding="ascii") as f:
        writer = csv.DictWriter(f, fieldnames=list(rows[0].keys()))
        writer.writeheader()
        writer.writerows(rows)


def plot(results, rows):
    data = os.path.join(results, "sensitivity.dat")
    series = []
    with open(data, "w", encoding="ascii") as f:
        for decoder in ("tolvane", "multimon-ng"):
            for protocol, rate in CATEGORIES:
                pts = sorted((r["snr_db"], r["exact_fraction"], r["wrong_unmarked"]) for r in rows
                             if r["decoder"] == decoder and r["protocol"] == protocol and r["rate"] == rate)
                f.write(f"# {decoder} {protocol} {rate}\n")
                for p in pts:
                    f.write(f"{p[0]} {p[1]} {p[2]}\n")
                f.write("\n\n")
                series.append(f"{decoder} {protocol.upper()} {rate}")
    plots_exact, plots_wrong = [], []
    for i, title in enumerate(series):
        lt = f"lc {i % 4 + 1} dt {1 if title.startswith('tolvane') else 2} lw 2 pt {i % 4 + 5}"
        plots_exact.append(f"'{data}' index {i} using 1:2 with linespoints {lt} title '{title}'")
        plots_wrong.append(f"'{data}' index {i} using 1:3 with linespoints {lt} notitle")
    script = f"""
set terminal pngcairo size 1100,900 font ',10'
set output '{os.path.join(results, 'sensitivity.png')}'
set multiplot layout 2,1 title 'Tolvane (solid) and multimon-ng (dashed) on the same generated audio, 22050 Hz'
set grid
set xlabel 'SNR in the 4 kHz audio band (dB)'
set ylabel 'pages decoded exactly (fraction)'
set yrange [0:1.05]
set key outside right
plot {', '.join(plots_exact)}
set ylabel 'pages shown with wrong, unmarked content'
set yrange [0:*]
plot {', '.join(plots_wrong)}
unset multiplot
"""
    subprocess.run(["gnuplot"], input=script, text=True, check=True)


def machine():
    model = "unknown"
    try:
        with open("/proc/cpuinfo", encoding="ascii", errors="replace") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    version = subprocess.run(["multimon-ng", "-h"], capture_output=True, text=True).stderr.splitlines()
    return {"cpu": model, "nproc": os.cpu_count(), "kernel": platform.release(),
            "date": datetime.date.today().isoformat(),
            "multimon": next((v for v in version if v.startswith("multimon-ng")), "multimon-ng")}


def summary(results, speed, sweep, receivers, info, elapsed):
    lines = [f"Machine: {info['cpu']}, {info['nproc']} cores, Linux {info['kernel']}; {info['multimon']}; "
             f"date {info['date']}; whole run {elapsed / 60:.1f} min.", ""]
    lines += ["| decoder | audio (s) | wall (s) | CPU (s) | x real time (wall) | x real time (CPU) | exact pages |",
              "|---|---|---|---|---|---|---|"]
    for r in speed:
        lines.append(f"| {r['decoder']} | {r['audio_s']} | {r['wall_s']} | {r['cpu_s']} | {r['realtime_x_wall']} | "
                     f"{r['realtime_x_cpu']} | {r['pages_exact']}/{r['pages_sent']} |")
    t = next(r for r in speed if r["decoder"] == "tolvane")
    m = next(r for r in speed if r["decoder"] == "multimon-ng")
    lines += ["", f"Tolvane/multimon-ng: {m['wall_s'] / t['wall_s']:.2f}x faster in wall time, "
                  f"{m['cpu_s'] / t['cpu_s']:.2f}x in CPU time.", ""]
    lines += ["| SNR (dB) | protocol | rate | sent | Tolvane exact | multimon-ng exact | Tolvane wrong (unmarked) | "
              "Tolvane marked | multimon-ng wrong |", "|---|---|---|---|---|---|---|---|---|"]
    index = {(r["snr_db"], r["protocol"], r["rate"], r["decoder"]): r for r in sweep}
    empty = {"sent": 0, "exact": 0, "wrong_unmarked": 0, "marked": 0}
    misses = []
    keys = sorted({(r["snr_db"], r["protocol"], r["rate"]) for r in sweep}, key=lambda k: (-k[0], k[1], int(k[2][:4].rstrip('/'))))
    for snr, protocol, rate in keys:
        tv = index.get((snr, protocol, rate, "tolvane"), empty)
        mm = index.get((snr, protocol, rate, "multimon-ng"), empty)
        sent = max(tv["sent"], mm["sent"])
        lines.append(f"| {snr} | {protocol} | {rate} | {sent} | {tv['exact']} | {mm['exact']} | "
                     f"{tv['wrong_unmarked']} | {tv['marked']} | {mm['wrong_unmarked']} |")
        if tv["exact"] < mm["exact"]:
            misses.append(f"{snr} dB {protocol} {rate}: Tolvane decodes {mm['exact'] - tv['exact']} fewer pages "
                          f"exactly ({tv['exact']} against {mm['exact']} of {sent})")
        if tv["wrong_unmarked"] > mm["wrong_unmarked"]:
            misses.append(f"{snr} dB {protocol} {rate}: Tolvane shows {tv['wrong_unmarked']} wrong unmarked pages "
                          f"against {mm['wrong_unmarked']} wrong pages of multimon-ng")
    lines += ["", "Sensitivity target misses:" if misses else "Sensitivity targets met at every level."]
    lines += [f"- {x}" for x in misses]
    if receivers:
        lines += ["", "Receivers (one mode per file):", ""] + receiver_summary(receivers)
    with open(os.path.join(results, "summary.md"), "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    print("\n".join(lines))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="Release build directory")
    parser.add_argument("--results", required=True)
    parser.add_argument("--work", required=True, help="scratch directory for the audio (about 160 MB)")
    parser.add_argument("--hour-seconds", type=float, default=3600)
    parser.add_argument("--rounds", type=int, default=2, help="timed runs of each decoder (the best counts)")
    parser.add_argument("--pages", type=int, default=100, help="pages per protocol/rate and noise level")
    parser.add_argument("--snr", type=float, nargs="+", default=[20, 15, 12, 10, 9, 8, 7, 6, 5, 4, 3, 2, 0])
    parser.add_argument("--jobs", type=int, default=max(1, (os.cpu_count() or 2) // 2))
    parser.add_argument("--keep", action="store_true", help="keep the audio and decoder outputs in --work")
    parser.add_argument("--full", action="store_true",
                        help="receiver sweep: every low-pass, clock error and gap at every --receiver-snr too")
    parser.add_argument("--receiver-pages", type=int, default=20, help="pages per receiver point")
    parser.add_argument("--receiver-snr", type=float, nargs="+", default=[12, 9, 6, 3])
    parser.add_argument("--only-receivers", action="store_true", help="skip the speed and noise runs")
    parser.add_argument("--only-highpass", action="store_true",
                        help="only the AC-coupling sweep: its rows of receivers.csv and highpass.png")
    parser.add_argument("--only-simulcast", action="store_true",
                        help="only the simulcast sweep: its rows of receivers.csv and simulcast.png")
    args = parser.parse_args()
    os.makedirs(args.results, exist_ok=True)
    os.makedirs(args.work, exist_ok=True)
    start = time.monotonic()
    ini = os.path.join(args.work, "tolvane.ini")
    with open(ini, "w", encoding="ascii") as f:
        f.write("[Tolvane]\nTimestamp=0\n")  # times of day would only be noise in the output
    info = machine()
    receivers = receiver_run(args, args.work)
    if args.only_highpass or args.only_simulcast:
        # The other receiver points of the last whole run stay as they were
        # (runs before the simulcast sweep had no simulcast column).
        gap = HIGHPASS_GAP if args.only_highpass else SIMULCAST_GAP
        path = os.path.join(args.results, "receivers.csv")
        kept = []
        if os.path.exists(path):
            with open(path, newline="", encoding="ascii") as f:
                kept = [{**r, "simulcast_us": r.get("simulcast_us", 0)} for r in csv.DictReader(f)
                        if float(r["gap_s"]) != gap]
        write_csv(path, kept + receivers)
        (plot_highpass if args.only_highpass else plot_simulcast)(args.results, receivers)
        print("\n".join(receiver_summary(receivers)))
        return
    write_csv(os.path.join(args.results, "receivers.csv"), receivers)
    plot_receivers(args.results, receivers)
    plot_highpass(args.results, receivers)
    plot_simulcast(args.results, receivers)
    if args.only_receivers:
        print("\n".join(receiver_summary(receivers)))
        return
    speed = speed_run(args, ini, args.work)
    write_csv(os.path.join(args.results, "speed.csv"), speed)
    sweep = sensitivity_run(args, ini, args.work)
    write_csv(os.path.join(args.results, "sensitivity.csv"), sweep)
    plot(args.results, sweep)
    summary(args.results, speed, sweep, receivers, info, time.monotonic() - start)


if __name__ == "__main__":
    main()
