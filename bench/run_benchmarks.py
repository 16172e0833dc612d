"""Runs the benchmarks of the ordering window and prints their figures as Markdown.

    python3 run_benchmarks.py BUILD-DIR [ROUNDS [WINDOWS-FOLDER]]

Start-up: ordering-system against two floors, an empty main window and one with the same
widgets and captions, started in turns (one round starts each program once, the order
turning round by round). Measured from outside the programs: on an Xvfb display, from
process start until the X server maps the window; on the offscreen platform, until the
toolkit's painting log reports the first frame flushed. Peak memory is the kernel's
maximum resident set size of the process, read when it exits after its window was closed.
Clicks: the QBENCHMARK figures of bench_clicks. The record click is timed in turns with
floor-record, which opens, locks, writes, syncs and closes the same bytes with plain system
calls: each round runs the floor, then the click with test.txt at 0 bytes and at 1 GiB.
Given WINDOWS-FOLDER, the Windows build's programs gathered with their libraries, the same
again under Wine: start-up to the mapped window and peak memory against floor-widgets.exe and
floor-empty.exe, and the record click against floor-record.exe, its Win32 calls; each figure as
the minimum, median and maximum of the ratios of runs side by side.
"""

import csv
import io
import os
import platform
import select
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

from Xlib import X, display

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
from xdisplay import close_window, start_xvfb  # noqa: E402

PROGRAMS = ["ordering-system", "floor-widgets", "floor-empty"]


def watching_maps(name):
    """The display, told to report every window mapped on it."""
    x = display.Display(name)
    x.screen().root.change_attributes(event_mask=X.SubstructureNotifyMask)
    x.sync()
    return x


# A program that shows no window, or does not end once it is closed, within this many seconds
# has failed.
PATIENCE = 60


def run_on_x(x, name, command, cwd, env, own_window=False):
    """Seconds from process start until its window is mapped, and peak RSS in KiB of the
    process started; with own_window, the window must say it is that process's."""
    start = time.perf_counter()
    deadline = time.monotonic() + PATIENCE
    process = subprocess.Popen(command, cwd=cwd, env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    window = None
    while window is None:
        if not x.pending_events():
            if time.monotonic() > deadline or process.poll() is not None:
                process.kill()
                raise RuntimeError(name + " showed no window")
            select.select([x.fileno()], [], [], 0.1)
            continue
        event = x.next_event()
        if event.type == X.MapNotify and not event.override:
            window = event.window
    mapped = time.perf_counter() - start
    if own_window:
        owner = window.get_full_property(x.intern_atom("_NET_WM_PID"), X.AnyPropertyType)
        if owner is None or owner.value[0] != process.pid:
            process.kill()
            raise RuntimeError(name + ": the window mapped is not its own")
    time.sleep(0.2)  # let it paint, so that the peak memory includes the first frame
    close_window(x, window)
    while True:
        pid, status, usage = os.wait4(process.pid, os.WNOHANG)
        if pid:
            break
        if time.monotonic() > deadline + PATIENCE:
            process.kill()
            raise RuntimeError(name + " did not end when its window was closed")
        time.sleep(0.01)
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
    killer = threading.Timer(PATIENCE, process.kill)
    killer.start()
    shown = None
    for line in process.stderr:
        if line.startswith("qt.widgets.painting: Flushing"):
            shown = time.perf_counter() - start
            break
    killer.cancel()
    process.send_signal(signal.SIGKILL)
    process.stderr.close()
    process.wait()
    if shown is None:
        raise RuntimeError(path + " flushed no frame")
    return shown


def startup(build, rounds):
    paths = {
        "ordering-system": os.path.join(build, "ordering-system"),
        "floor-widgets": os.path.join(build, "bench", "floor-widgets"),
        "floor-empty": os.path.join(build, "bench", "floor-empty"),
    }
    server, name = start_xvfb()
    env = dict(os.environ, DISPLAY=name, QT_QPA_PLATFORM="xcb")
    env.pop("QT_LOGGING_RULES", None)
    try:
        x = watching_maps(name)
        mapped = {p: [] for p in PROGRAMS}
        rss = {p: [] for p in PROGRAMS}
        shown = {p: [] for p in PROGRAMS}
        for p in PROGRAMS:  # warm the page cache and font caches first
            run_on_x(x, p, [paths[p]], build, env)
        for r in range(rounds):
            order = PROGRAMS if r % 2 == 0 else list(reversed(PROGRAMS))
            for p in order:
                seconds, kib = run_on_x(x, p, [paths[p]], build, env)
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


def spread(a, b):
    """The minimum, median and maximum of the pairwise ratios, as min/median/max."""
    ratios = [x / y for x, y in zip(a, b)]
    return "%.3f/%.3f/%.3f" % (min(ratios), statistics.median(ratios), max(ratios))


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


def wine_environment(display_name=None):
    env = dict(os.environ, WINEDEBUG="-all", WINEPREFIX=os.environ.get(
        "WINEPREFIX", os.path.expanduser("~/.cache/ordering-system/wine-prefix")))
    if display_name:
        env["DISPLAY"] = display_name
    return env


def start_wineserver(env):
    """Keeps one wineserver for every run, so that each start pays the same; returns it if
    this started it, or None if the prefix's own was running already."""
    server = subprocess.Popen(["wineserver", "--foreground", "--persistent"], env=env,
                              stderr=subprocess.DEVNULL)
    try:
        server.wait(timeout=1)
        return None
    except subprocess.TimeoutExpired:
        return server


def wine_nothing(folder, work, env):
    """Seconds and peak RSS in KiB of Wine starting and ending a console program that does
    nothing: floor-record.exe recording no order."""
    start = time.perf_counter()
    process = subprocess.Popen(["wine", os.path.join(folder, "floor-record.exe"), "0"],
                               cwd=work, env=env, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        raise RuntimeError("floor-record.exe did not exit cleanly")
    return time.perf_counter() - start, usage.ru_maxrss


def windows(folder, rounds):
    folder = os.path.abspath(folder)
    programs = [p + ".exe" for p in PROGRAMS]
    server, name = start_xvfb()
    env = wine_environment(name)
    wineserver = start_wineserver(env)
    work = tempfile.mkdtemp(prefix="floor-record-")
    try:
        x = watching_maps(name)
        mapped = {p: [] for p in programs}
        rss = {p: [] for p in programs}
        for p in programs:
            run_on_x(x, p, ["wine", p], folder, env, own_window=True)
        for r in range(rounds):
            for p in programs if r % 2 == 0 else list(reversed(programs)):
                # Wine runs the program in the process started, which the window names.
                seconds, kib = run_on_x(x, p, ["wine", p], folder, env, own_window=True)
                mapped[p].append(seconds)
                rss[p].append(kib)
        x.close()
        nothing = [wine_nothing(folder, work, env) for _ in range(rounds)]

        # Offscreen, as the tests run; Wine hands WINEQT_x to the program as QT_x.
        click_env = dict(env, WINEQT_QPA_PLATFORM="offscreen",
                         WINEQT_QPA_FONTDIR="Z:/usr/share/fonts/truetype/wqy")
        floor, click = [], []
        for _ in range(RECORD_ROUNDS):
            floor.append(float(subprocess.run(
                ["wine", os.path.join(folder, "floor-record.exe"), str(RECORDS_PER_RUN)],
                cwd=work, env=env, capture_output=True, text=True, check=True).stdout))
            out = subprocess.run(
                ["wine", "bench_clicks.exe", "recordClick:0 bytes", "-iterations",
                 str(RECORDS_PER_RUN), "-median", "1", "-o", "-,csv"],
                cwd=folder, env=click_env, capture_output=True, text=True, check=True).stdout
            click.append(next(float(row[3]) * 1000.0 for row in csv.reader(io.StringIO(out))
                              if len(row) >= 4 and row[2] == "WalltimeMilliseconds"))
    finally:
        os.rmdir(work)
        if wineserver is not None:
            # Ends the server this started, and with it Wine's helpers, which outlive a
            # server merely terminated.
            subprocess.run(["wineserver", "--kill"], env=env, check=False)
            wineserver.wait()
        server.terminate()
        server.wait()
    return mapped, rss, nothing, floor, click


def print_windows(folder, rounds):
    mapped, rss, nothing, floor, click = windows(folder, rounds)
    ms = lambda values: "%.1f ms" % (1000 * statistics.median(values))
    mib = lambda values: "%.1f MiB" % (statistics.median(values) / 1024)
    us = lambda values: "%.1f µs" % statistics.median(values)
    version = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout
    print()
    print("The Windows build under %s, median of %d runs each, the programs in turns; a"
          % (version.strip(), rounds))
    print("ratio is the minimum/median/maximum of the ratios of runs side by side:")
    print()
    print("| program | mapped on Xvfb | peak RSS of its process |")
    print("|---|---|---|")
    for p in mapped:
        print("| %s | %s | %s |" % (p, ms(mapped[p]), mib(rss[p])))
    print("| Wine starting and ending a console program that does nothing | %s | %s |"
          % (ms([t for t, _ in nothing]), mib([k for _, k in nothing])))
    for floor_name in ("floor-widgets.exe", "floor-empty.exe"):
        print("| ordering-system.exe / %s | %s | %s |"
              % (floor_name, spread(mapped["ordering-system.exe"], mapped[floor_name]),
                 spread(rss["ordering-system.exe"], rss[floor_name])))
    print()
    print("The record click under Wine, the median of %d runs of %d records, in turns with"
          % (RECORD_ROUNDS, RECORDS_PER_RUN))
    print("floor-record.exe:")
    print()
    print("| click | time |")
    print("|---|---|")
    print("| floor-record.exe: CreateFileW, LockFileEx, WriteFile, FlushFileBuffers, "
          "UnlockFileEx, CloseHandle | %s |" % us(floor))
    print("| record button, test.txt at 0 bytes | %s |" % us(click))
    print("| record button / floor-record.exe | %s |" % spread(click, floor))
    print()
    print("windows_startup_ratio=%s windows_rss_ratio=%s windows_record_floor_ratio=%s" % (
        spread(mapped["ordering-system.exe"], mapped["floor-widgets.exe"]),
        spread(rss["ordering-system.exe"], rss["floor-widgets.exe"]), spread(click, floor)))


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
    windows_folder = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else None
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
    if windows_folder:
        print_windows(windows_folder, rounds)


if __name__ == "__main__":
    main()
