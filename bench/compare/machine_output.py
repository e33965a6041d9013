#!/usr/bin/env python3
"""What machine-readable output costs: tolvane-cli on one hour of mixed
POCSAG/FLEX traffic (the comparison's traffic) plain, with --json, and with
--mqtt to a mosquitto on the loopback that a subscriber drains.

The decoder is pinned to one core (its MQTT thread included), the broker and
subscriber to another; the runs alternate and the best of --rounds counts.
On a shared machine the times scatter more than the difference sought, so
with --instructions each variant also runs once under valgrind (callgrind)
on the first --excerpt seconds of the audio: the instructions executed by
the whole process, its threads included, do not depend on the load.
Writes machine_output.csv into the results directory. Standard library only.
"""

import argparse
import csv
import json
import os
import random
import re
import shutil
import signal
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import compare  # noqa: E402  (the traffic and the timed runs)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, seconds=5):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        with socket.socket() as s:
            if s.connect_ex(("127.0.0.1", port)) == 0:
                return
        time.sleep(0.05)
    sys.exit("mosquitto did not start")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="Release build directory")
    parser.add_argument("--results", required=True)
    parser.add_argument("--work", required=True, help="scratch directory for the audio (about 160 MB)")
    parser.add_argument("--hour-seconds", type=float, default=3600)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--instructions", action="store_true", help="also count instructions under valgrind")
    parser.add_argument("--excerpt", type=float, default=600, help="seconds of audio counted under valgrind")
    args = parser.parse_args()
    os.makedirs(args.results, exist_ok=True)
    ini = os.path.join(args.work, "tolvane.ini")
    with open(ini, "w", encoding="ascii") as f:
        f.write("[Tolvane]\nTimestamp=0\nReceiverName=bench\n")
    pages = os.path.join(args.work, "hour.pages")
    audio = os.path.join(args.work, "hour.s16")
    truths = compare.make_page_file(pages, random.Random(2024), seconds=args.hour_seconds)
    out = subprocess.run([os.path.join(args.build, "bench/tolvane-traffic"), "--rate", str(compare.RATE), "--snr",
                          "20", "--seed", "7", "-o", audio, pages], check=True, capture_output=True, text=True)
    audio_seconds = float(out.stdout.strip())
    with open(audio, "rb") as f:
        while f.read(1 << 24):
            pass

    port = free_port()
    conf = os.path.join(args.work, "broker.conf")
    with open(conf, "w", encoding="ascii") as f:
        f.write(f"listener {port} 127.0.0.1\nallow_anonymous true\n")
    mosquitto = shutil.which("mosquitto") or "/usr/sbin/mosquitto"  # /usr/sbin may not be on PATH
    broker = subprocess.Popen(["taskset", "-c", "1", mosquitto, "-c", conf], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    received = os.path.join(args.work, "received.txt")
    subscriber = None
    try:
        wait_for_port(port)
        with open(received, "wb") as sink:
            subscriber = subprocess.Popen(["taskset", "-c", "1", "mosquitto_sub", "-h", "127.0.0.1", "-p", str(port),
                                           "-q", "1", "-t", "tolvane/bench/pages"], stdout=sink)
        time.sleep(0.5)
        cli = [os.path.join(args.build, "app/cli/tolvane-cli"), "--ini", ini, "--rate", str(compare.RATE)]
        variants = {"plain": [], "json": ["--json"], "mqtt": ["--mqtt", f"mqtt://127.0.0.1:{port}"]}
        times = {name: [] for name in variants}
        for _ in range(args.rounds):
            for name, options in variants.items():
                cmd = ["taskset", "-c", "0"] + cli + options + [audio]
                times[name].append(compare.run_timed(cmd, os.path.join(args.work, name + ".out")))
        counts = {}
        if args.instructions:
            excerpt = os.path.join(args.work, "excerpt.s16")
            with open(audio, "rb") as src, open(excerpt, "wb") as dst:
                dst.write(src.read(int(args.excerpt * compare.RATE) * 2))
            for name, options in variants.items():
                run = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null"] + cli +
                                     options + [excerpt], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                     text=True, check=True)
                counts[name] = int(re.search(r"Collected : (\d+)", run.stderr).group(1))
        time.sleep(1)
    finally:
        if subscriber:
            subscriber.send_signal(signal.SIGTERM)
            subscriber.wait()
        broker.send_signal(signal.SIGTERM)
        broker.wait()

    with open(os.path.join(args.work, "json.out"), encoding="ascii") as f:
        records = [json.loads(line) for line in f]
    with open(received, encoding="ascii") as f:
        published = sum(1 for _ in f)
    plain_wall, plain_cpu = min(times["plain"])
    rows = []
    for name, runs in times.items():
        wall, cpu = min(runs)
        rows.append({"run": name, "audio_s": round(audio_seconds, 1), "pages_sent": len(truths),
                     "records": len(records), "wall_s": round(wall, 3), "cpu_s": round(cpu, 3),
                     "wall_vs_plain_pct": round(100 * (wall / plain_wall - 1), 1),
                     "cpu_vs_plain_pct": round(100 * (cpu / plain_cpu - 1), 1), "rounds": args.rounds})
        line = (f"{name:5}: wall {wall:.3f} s ({rows[-1]['wall_vs_plain_pct']:+.1f} %), cpu {cpu:.3f} s "
                f"({rows[-1]['cpu_vs_plain_pct']:+.1f} %)")
        if counts:
            rows[-1]["excerpt_s"] = args.excerpt
            rows[-1]["instructions"] = counts[name]
            rows[-1]["instructions_vs_plain_pct"] = round(100 * (counts[name] / counts["plain"] - 1), 2)
            line += f", {counts[name]} instructions in {args.excerpt:.0f} s ({rows[-1]['instructions_vs_plain_pct']:+.2f} %)"
        print(line, flush=True)
    print(f"{len(truths)} pages sent, {len(records)} JSON records, {published} MQTT messages received "
          f"over {args.rounds} --mqtt runs")
    with open(os.path.join(args.results, "machine_output.csv"), "w", newline="", encoding="ascii") as f:
        writer = csv.DictWriter(f, fieldnames=list(rows[0]))
        writer.writeheader()
        writer.writerows(rows)
    os.remove(audio)


if __name__ == "__main__":
    main()
