#!/usr/bin/env python3
"""The timing benchmark: the same 500-event grid played in real time through the unit (auhost play
--to the measuring client's port) and through RtMidi's JACK output (a peer that sends at absolute
deadlines), to a measuring JACK client on a private server (dummy driver, 48 kHz, 256 frames,
real-time where allowed), once on a quiet machine and once under busy threads, two per core.

For each player and condition it prints: events received, whether in order, the share within
1 frame of the grid, the 99th percentile and the worst error in frames, where an event's error is
its frame less the grid's, after the median of all of them (the constant latency) is taken off.
It also plays the grid to auhost's own monitor under each condition and gives the summary's
largest lateness, and draws the error histograms as one picture (gnuplot) into the build folder.
"""

import argparse
import math
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

EVENTS = 500
STEP_MS = 10
LEAD_IN_MS = 1000
MONITOR_PORT = "plenko-timing-monitor:in"
MONITOR_DESTINATION = "plenko-timing-monitor: in"
PLAYERS = ["PlenkoOut through auhost", "RtMidi's JACK output"]
CONDITIONS = ["quiet", "loaded"]


def event_steps():
    """The step of each grid event, as TimingGrid.h makes them."""
    steps = []
    step = 0
    while len(steps) < EVENTS:
        for _ in range(3 if step % 4 == 0 else 1):
            if len(steps) < EVENTS:
                steps.append(step)
        step += 1
    return steps


class JackServer:
    """A private JACK server, real-time where the system allows it."""

    def __init__(self, name):
        self.name = name
        self.process = None
        self.real_time = False
        self.log = tempfile.TemporaryFile()

    def start(self):
        for real_time in (True, False):
            option = "-R" if real_time else "--no-realtime"
            self.process = subprocess.Popen(
                ["jackd", option, "-n", self.name, "-d", "dummy", "-r", "48000", "-p", "256"],
                stdout=self.log, stderr=subprocess.STDOUT)
            waited = subprocess.run(["jack_wait", "-s", self.name, "-w", "-t", "10"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if waited.returncode == 0 and self.process.poll() is None:
                self.real_time = real_time
                return
            self.stop()
        self.log.seek(0)
        sys.exit("jackd did not start:\n" + self.log.read().decode(errors="replace"))

    def stop(self):
        if self.process is not None and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None


class Load:
    """Busy threads, two per core, for a bounded time; none on a quiet machine."""

    def __init__(self, timing, condition, seconds):
        self.process = None
        if condition == "loaded":
            self.process = subprocess.Popen([os.path.join(timing, "timing_load"), str(seconds)])

    def __enter__(self):
        time.sleep(0.3 if self.process else 0)
        return self

    def __exit__(self, *_):
        if self.process is not None:
            self.process.terminate()
            self.process.wait()


def measure(timing, play, rate_out):
    """Runs the measuring client, then the player; the arrivals (number, frame), and the cycles
    the server missed or began late."""
    monitor = subprocess.Popen([os.path.join(timing, "timing_monitor"), "12"],
                               stdout=subprocess.PIPE, text=True)
    ready = monitor.stdout.readline().split()
    if not ready or ready[0] != "ready":
        monitor.kill()
        sys.exit("timing_monitor did not start")
    rate_out[0] = int(ready[1])
    played = play()
    output, _ = monitor.communicate(timeout=60)
    arrivals, xruns = [], 0
    for line in output.splitlines():
        fields = line.split()
        if fields[0] == "end":
            xruns = int(fields[2]) + int(fields[4])
        else:
            arrivals.append((int(fields[0]), int(fields[1])))
    return arrivals, xruns, played


def figures(arrivals, rate):
    """Events, in order, share within 1 frame, p99 and worst error, and the errors."""
    steps = event_steps()
    frames_per_ms = rate / 1000.0
    numbers = [number for number, _ in arrivals]
    in_order = all(a < b for a, b in zip(numbers, numbers[1:]))
    first = {}
    for number, frame in arrivals:
        first.setdefault(number, frame)
    offsets = {n: frame - (LEAD_IN_MS + STEP_MS * steps[n]) * frames_per_ms
               for n, frame in first.items()}
    if not offsets:
        return {"events": 0, "in_order": in_order, "within": 0.0, "p99": None, "worst": None,
                "errors": []}
    latency = statistics.median_low(offsets.values())
    errors = [round(offset - latency) for offset in offsets.values()]
    magnitudes = sorted(abs(error) for error in errors)
    return {
        "events": len(first),
        "in_order": in_order,
        "within": sum(1 for m in magnitudes if m <= 1) / len(magnitudes),
        "p99": magnitudes[max(0, math.ceil(0.99 * len(magnitudes)) - 1)],
        "worst": magnitudes[-1],
        "errors": errors,
    }


def auhost_command(build, *arguments):
    return [os.path.join(build, "Host", "auhost"), "play", *arguments]


def auhost_environment(build):
    environment = dict(os.environ)
    environment["AUDIO_COMPONENT_PATH"] = build
    environment["PLENKO_LOG"] = "off"
    return environment


def largest_lateness(build, grid):
    """auhost plays the grid to its own monitor; the summary's largest lateness in ms."""
    run = subprocess.run(auhost_command(build, grid, "--quiet", "--rate", "48000"),
                         env=auhost_environment(build), capture_output=True, text=True, timeout=60)
    found = re.search(r"largest (-?[0-9.]+) ms", run.stdout + run.stderr)
    return float(found.group(1)) if found else None


def draw(errors, path, server):
    """One picture of the error histograms, a panel per player and condition."""
    folder = os.path.dirname(path)
    lines = [
        "set terminal pngcairo size 1200,800 font ',10'",
        f"set output '{path}'",
        f"set multiplot layout 2,2 title 'Timing error at a JACK port, frames at 48 kHz "
        f"(256-frame periods, {server} server)'",
        "set style fill solid 0.8 noborder",
        "set logscale y",
        "set yrange [0.8:*]",
        "set xlabel 'error (frames)'",
        "set ylabel 'events'",
        "set grid ytics",
    ]
    for condition in CONDITIONS:
        for player in PLAYERS:
            counts = {}
            for error in errors.get((player, condition), []):
                counts[error] = counts.get(error, 0) + 1
            data = os.path.join(folder, f"histogram-{len(lines)}.dat")
            with open(data, "w") as out:
                for error in sorted(counts) or [0]:
                    out.write(f"{error} {counts.get(error, 0)}\n")
            lines.append(f'set title "{player}, {condition}"')
            lines.append("set xrange [-300:300]")
            lines.append(f"plot '{data}' using 1:2 with boxes notitle lc rgb '#3060a0'")
    lines.append("unset multiplot")
    subprocess.run(["gnuplot"], input="\n".join(lines), text=True, check=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build", help="the build folder")
    parser.add_argument("--runs", type=int, default=5, help="runs of each player and condition")
    parser.add_argument("--picture", help="also copy the picture here (e.g. docs/timing.png)")
    options = parser.parse_args()
    build = os.path.abspath(options.build)
    timing = os.path.join(build, "timing")
    have_rtmidi = os.path.exists(os.path.join(timing, "timing_rtmidi"))

    server = JackServer(f"plenko-timing-{os.getpid()}")
    os.environ["JACK_DEFAULT_SERVER"] = server.name
    server.start()
    try:
        grid = os.path.join(timing, "grid.mid")
        subprocess.run([os.path.join(timing, "timing_grid"), grid], check=True)
        players = {
            PLAYERS[0]: lambda: subprocess.run(
                auhost_command(build, grid, "--quiet", "--rate", "48000", "--to",
                               MONITOR_DESTINATION),
                env=auhost_environment(build), capture_output=True, text=True, timeout=60),
            PLAYERS[1]: lambda: subprocess.run(
                [os.path.join(timing, "timing_rtmidi"), MONITOR_PORT],
                capture_output=True, text=True, timeout=60),
        }
        if not have_rtmidi:
            del players[PLAYERS[1]]
        rows, errors, lateness = [], {}, {}
        for condition in CONDITIONS:
            for player, play in players.items():
                for run in range(options.runs):
                    rate = [48000]
                    with Load(timing, condition, 20):
                        arrivals, xruns, played = measure(timing, play, rate)
                    if played.returncode != 0:
                        print(f"{player} failed: {played.stdout}{played.stderr}", file=sys.stderr)
                    result = figures(arrivals, rate[0])
                    errors.setdefault((player, condition), []).extend(result["errors"])
                    rows.append((player, condition, run + 1, result, xruns))
            lateness[condition] = []
            for _ in range(options.runs):
                with Load(timing, condition, 20):
                    lateness[condition].append(largest_lateness(build, grid))

        kind = "real-time" if server.real_time else "not real-time"
        print(f"JACK server: dummy driver, 48 kHz, 256 frames, {kind}; "
              f"{EVENTS} events per run; load: {2 * os.cpu_count()} busy threads")
        print(f"{'player':26} {'condition':9} {'run':>3} {'events':>6} {'order':>6} "
              f"{'within 1':>9} {'p99':>5} {'worst':>6} {'late cycles':>11}")
        for player, condition, run, result, xruns in rows:
            p99 = "-" if result["p99"] is None else str(result["p99"])
            worst = "-" if result["worst"] is None else str(result["worst"])
            print(f"{player:26} {condition:9} {run:>3} {result['events']:>6} "
                  f"{'yes' if result['in_order'] else 'NO':>6} {100 * result['within']:>8.1f}% "
                  f"{p99:>5} {worst:>6} {xruns:>11}")
        for condition in CONDITIONS:
            for player in players:
                runs = [(result, late) for name, cond, _, result, late in rows
                        if name == player and cond == condition]
                exact = sum(1 for result, _ in runs
                            if result["events"] == EVENTS and result["in_order"]
                            and result["within"] == 1.0)
                calm = sum(1 for _, late in runs if late == 0)
                print(f"{player}, {condition}: every event within 1 frame in {exact} of "
                      f"{len(runs)} runs ({calm} without missed or late cycles)")
        for condition in CONDITIONS:
            shown = ", ".join("-" if value is None else f"{value:.3f}"
                              for value in lateness[condition])
            print(f"auhost to its own monitor, {condition}: largest lateness per run (ms): {shown}")

        picture = os.path.join(timing, "timing.png")
        draw(errors, picture, kind)
        print(f"picture: {picture}")
        if options.picture:
            shutil.copyfile(picture, options.picture)
            print(f"copied to {options.picture}")
    finally:
        server.stop()


if __name__ == "__main__":
    main()
