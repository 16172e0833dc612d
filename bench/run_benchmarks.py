"""Runs the benchmarks of the ordering window and prints their figures as Markdown.

    python3 run_benchmarks.py BUILD-DIR [ROUNDS]

Start-up: ordering-system against two floors, an empty main window and one with the same
widgets and captions, started in turns (one round starts each program once, the order
turning round by round). Measured from outside the programs: on an Xvfb display, from
process start until the X server maps the window; on the offscreen platform, until the
toolkit's painting log reports the first frame flushed. Peak memory is the kernel's
maximum resident set size of the process, read when it exits after its window was closed.
Clicks: the QBENCHMARK figures of bench_clicks. The record click is timed in turns with
floor-record, which opens, locks, writes, syncs and closes the same bytes with plain system
calls: each round runs the floor, then the click with test.txt at 0 bytes and at 1 GiB.
"""

import csv
import io
import os
import platform
import signal
import statistics
import subprocess
import sys
import tempfile
import time

from Xlib import X, display

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
from xdisplay import close_window, start_xvfb  # noqa: E402

PROGRAMS = ["ordering-system", "floor-widgets", "floor-empty"]


def run_on_x(x, name, path, cwd):
    """Seconds from process start until the window is mapped, and peak RSS in KiB."""
    env = dict(os.environ, DISPLAY=x.get_display_name(), QT_QPA_PLATFORM="xcb")
    env.pop("QT_LOGGING_RULES", None)
    start = time.perf_counter()
    process = subprocess.Popen([path], cwd=cwd, env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    window = None
    while window is None:
        event = x.next_event()
        if event.type == X.MapNotify and not event.override:
            window = event.window
    mapped = time.perf_counter() - start
    time.sleep(0.2)  # let it paint, so that the peak memory includes the first frame
    close_window(x, window)
    _, status, usage = os.wait4(process.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        raise RuntimeError(name + " did not exit cleanly")
    while x.pending_events():
        x.next_event()
    return mapped, usage.ru_maxrss


def run_offscreen(path, cwd):
    """Seconds from process start until the first frame is flushed on the offscreen platform."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen",
               QT_LOGGING_RULES="qt.widgets.painting=true")
    start = time.perf_counter()
    process = subprocess.Popen([path], cwd=cwd, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE, text=True)
    for line in process.stderr:
        if line.startswith("qt.widgets.painting: Flushing"):
            break
    shown = time.perf_counter() - start
    process.send_signal(signal.SIGKILL)
    process.stderr.close()
    process.wait()
    return shown


def startup(build, rounds):
    paths = {
        "ordering-system": os.path.join(build, "ordering-system"),
        "floor-widgets": os.path.join(build, "bench", "floor-widgets"),
        "floor-empty": os.path.join(build, "bench", "floor-empty"),
    }
    server, name = start_xvfb()
    try:
        x = display.Display(name)
        x.screen().root.change_attributes(event_mask=X.SubstructureNotifyMask)
        x.sync()
        mapped = {p: [] for p in PROGRAMS}
        rss = {p: [] for p in PROGRAMS}
        shown = {p: [] for p in PROGRAMS}
        for p in PROGRAMS:  # warm the page cache and font caches first
            run_on_x(x, p, paths[p], build)
        for r in range(rounds):
            order = PROGRAMS if r % 2 == 0 else list(reversed(PROGRAMS))
            for p in order:
                seconds, kib = run_on_x(x, p, paths[p], build)
                mapped[p].append(seconds)
                rss[p].append(kib)
            for p in order:
                shown[p].append(run_offscreen(paths[p], build))
        x.close()
    finally:
        server.terminate()
        server.wait()
    return mapped, rss, shown


def ratio(a, b):
    return statistics.median(x / y for x, y in zip(a, b))


RECORD_ROUNDS = 15
RECORDS_PER_RUN = 1000


def clicks(build, args):
    out = subprocess.run(
        [os.path.join(build, "bench", "bench_clicks"), *args, "-o", "-,csv"],
        env=dict(os.environ, QT_QPA_PLATFORM="offscreen"), cwd=build,
        capture_output=True, text=True, check=True).stdout
    figures = {}
    for row in csv.reader(io.StringIO(out)):
        if len(row) >= 4 and row[2] == "WalltimeMilliseconds":
            figures[(row[0], row[1])] = float(row[3]) * 1000.0
    return figures


def records(build):
    """Mean microseconds of one record: the floor, the click at 0 bytes and at 1 GiB."""
    floor, empty, big = [], [], []
    work = tempfile.mkdtemp(prefix="floor-record-")
    try:
        for _ in range(RECORD_ROUNDS):
            floor.append(float(subprocess.run(
                [os.path.join(build, "bench", "floor-record"), str(RECORDS_PER_RUN)],
                cwd=work, capture_output=True, text=True, check=True).stdout))
            figures = clicks(build, ["recordClick", "-iterations", str(RECORDS_PER_RUN),
                                     "-median", "1"])
            empty.append(figures[("recordClick", "0 bytes")])
            big.append(figures[("recordClick", "1 GiB")])
    finally:
        os.rmdir(work)
    return floor, empty, big


def machine():
    cpu = "unknown processor"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    memory = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2**30
    return "%s, %d cores, %.0f GiB, %s %s" % (cpu, os.cpu_count(), memory, platform.system(),
                                              platform.release())


def main():
    build = os.path.abspath(sys.argv[1])
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 30
    mapped, rss, shown = startup(build, rounds)
    order = clicks(build, ["orderClick", "-median", "7"])[("orderClick", "")]
    floor, empty, big = records(build)

    ms = lambda values: "%.1f ms" % (1000 * statistics.median(values))
    mib = lambda values: "%.1f MiB" % (statistics.median(values) / 1024)
    print("Machine: " + machine())
    print()
    print("Start-up and peak memory, median of %d runs each, the programs in turns:" % rounds)
    print()
    print("| program | mapped on Xvfb | first frame offscreen | peak RSS |")
    print("|---|---|---|---|")
    for p in PROGRAMS:
        print("| %s | %s | %s | %s |" % (p, ms(mapped[p]), ms(shown[p]), mib(rss[p])))
    print("| ordering-system / floor-widgets (median of pairwise ratios) | %.3f | %.3f | %.3f |"
          % (ratio(mapped["ordering-system"], mapped["floor-widgets"]),
             ratio(shown["ordering-system"], shown["floor-widgets"]),
             ratio(rss["ordering-system"], rss["floor-widgets"])))
    print("| ordering-system / floor-empty (median of pairwise ratios) | %.3f | %.3f | %.3f |"
          % (ratio(mapped["ordering-system"], mapped["floor-empty"]),
             ratio(shown["ordering-system"], shown["floor-empty"]),
             ratio(rss["ordering-system"], rss["floor-empty"])))
    print()
    us = lambda values: "%.1f µs" % statistics.median(values)
    print("One click, QBENCHMARK wall time; the order button median of 7, the record button")
    print("the median of %d runs of %d records, in turns with floor-record:" % (
        RECORD_ROUNDS, RECORDS_PER_RUN))
    print()
    print("| click | time |")
    print("|---|---|")
    print("| order button | %.1f µs |" % order)
    print("| floor-record: open, lock, write, fdatasync, close | %s |" % us(floor))
    print("| record button, test.txt at 0 bytes | %s |" % us(empty))
    print("| record button, test.txt at 1 GiB | %s |" % us(big))
    print("| record button at 0 bytes / floor-record (median of pairwise ratios) | %.3f |"
          % ratio(empty, floor))
    print("| record button at 1 GiB / at 0 bytes (median of pairwise ratios) | %.3f |"
          % ratio(big, empty))
    print()
    print("startup_ratio=%.3f rss_ratio=%.3f record_1GiB_ratio=%.3f record_floor_ratio=%.3f" % (
        ratio(mapped["ordering-system"], mapped["floor-widgets"]),
        ratio(rss["ordering-system"], rss["floor-widgets"]), ratio(big, empty),
        ratio(empty, floor)))


if __name__ == "__main__":
    main()
