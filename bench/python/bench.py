"""The q390 module's speed and memory against their goals; one line per figure.

Run by the Python the module is built for, with the module and q390corebench on the path
(scripts/bench.sh does both):
  sweep   dev.sweep() on the simulator against the core sweep timed from C++ (Unit, as q390-rec
          sweeps), in alternating rounds; goal: at least 0.95 times the core's rate
  busy    dev.sweep() beside a busy Python thread, on the main thread and on another one, against
          its time alone; goal: at most 1.5 times
  read    q390.read of one file; goal under 1 ms
  memory  resident memory over 1,000 sweeps from dev.sweeps(); goal flat within 1 MiB
  recording  resident memory iterating q390.read_recording over a 100,000-sweep .h5 file (written
          by the core's writer), from the first 10 % to the end; goal flat within 1 MiB
"""

import os
import statistics
import sys
import tempfile
import threading
import time

import numpy as np

import q390
import q390corebench

ROUNDS = 21
SWEEPS_PER_ROUND = 20
RATE_GOAL = 0.95
BUSY_SWEEPS = 50
BUSY_GOAL = 1.5
READS = 1000
READ_GOAL_MS = 1.0
FEW, MANY = 100, 1000
MEMORY_GOAL_KIB = 1024
RECORDING_SWEEPS = 100_000


def verdict(met):
    return "met" if met else "NOT MET"


def resident_kib():
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))


def sweep_rates():
    """Medians over the rounds: the module's and the core's sweep time, and their rate ratio."""
    module, core, ratios = [], [], []
    with q390.Device("sim") as dev:
        for n in range(ROUNDS):
            channel = n % 8
            start = time.perf_counter()
            for _ in range(SWEEPS_PER_ROUND):
                dev.sweep(channel=channel, range="unipolar")
            module.append((time.perf_counter() - start) / SWEEPS_PER_ROUND)
            core.append(q390corebench.sweep_seconds(channel, True, SWEEPS_PER_ROUND) / SWEEPS_PER_ROUND)
            ratios.append(core[-1] / module[-1])
    return statistics.median(module), statistics.median(core), statistics.median(ratios)


def sweep_time(dev):
    """Median seconds of one dev.sweep() call, over BUSY_SWEEPS."""
    times = []
    for _ in range(BUSY_SWEEPS):
        start = time.perf_counter()
        dev.sweep()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def beside_busy_thread():
    """Median dev.sweep() seconds: alone, on the main thread beside a busy thread, and on a thread
    of its own beside a busy main thread."""
    with q390.Device("sim") as dev:
        alone = sweep_time(dev)
        stop = threading.Event()

        def spin():
            n = 0
            while not stop.is_set():
                n += 1
        busy = threading.Thread(target=spin)
        busy.start()
        on_main = sweep_time(dev)
        stop.set()
        busy.join()
        on_thread = []
        sweeper = threading.Thread(target=lambda: on_thread.append(sweep_time(dev)))
        sweeper.start()
        n = 0
        while sweeper.is_alive():
            n += 1
    return alone, on_main, on_thread[0]


def read_times(folder):
    """Median milliseconds: q390.read of one file, and making its codes and volts after it."""
    path = os.path.join(folder, "vx-2071430.dat")
    np.random.default_rng(390).integers(0, 4096, 8192).astype("<i2").tofile(path)
    plain, arrays = [], []
    for _ in range(READS):
        start = time.perf_counter()
        s = q390.read(path)
        read = time.perf_counter()
        s.codes, s.volts
        plain.append(read - start)
        arrays.append(time.perf_counter() - read)
    return statistics.median(plain) * 1e3, statistics.median(arrays) * 1e3


def memory():
    """Resident KiB after FEW and after MANY sweeps, each one's arrays made."""
    with q390.Device("sim") as dev:
        for n, s in enumerate(dev.sweeps(channels=range(8), count=MANY), 1):
            s.stored, s.codes, s.volts
            if n == FEW:
                few = resident_kib()
    return few, resident_kib()


def recording_memory(folder):
    """Resident KiB after the first 10 % of a long recording's sweeps and after all, each one's
    volts made, and the seconds that took."""
    path = os.path.join(folder, "long.h5")
    q390corebench.write_recording(path, RECORDING_SWEEPS)
    start = time.perf_counter()
    for n, s in enumerate(q390.read_recording(path), 1):
        s.volts
        if n == RECORDING_SWEEPS // 10:
            tenth = resident_kib()
    return tenth, resident_kib(), time.perf_counter() - start


def main():
    with open("/proc/cpuinfo") as info:
        cpu = next((line.split(":", 1)[1].strip() for line in info if line.startswith("model name")), "?")
    print(f"q390 module benchmark on {cpu}, {os.cpu_count()} cores; Python {sys.version.split()[0]} "
          f"({sys.executable}); load average {os.getloadavg()[0]:.2f}", flush=True)

    module, core, ratio = sweep_rates()
    print(f"Sweep of the simulator: dev.sweep() {module * 1e3:.2f} ms, core sweep from C++ {core * 1e3:.2f} ms; "
          f"rate {ratio:.3f} × the core's (median of {ROUNDS} rounds of {SWEEPS_PER_ROUND})   "
          f"goal ≥ {RATE_GOAL} ×   {verdict(ratio >= RATE_GOAL)}", flush=True)

    alone, on_main, on_thread = beside_busy_thread()
    for where, busy in (("on the main thread", on_main), ("on another thread, the main one busy", on_thread)):
        print(f"dev.sweep() beside a busy Python thread, {where}: {busy * 1e3:.2f} ms against {alone * 1e3:.2f} ms "
              f"alone, {busy / alone:.2f} ×   goal ≤ {BUSY_GOAL} ×   {verdict(busy / alone <= BUSY_GOAL)}", flush=True)

    with tempfile.TemporaryDirectory() as folder:
        plain, arrays = read_times(folder)
    print(f"q390.read of one file: {plain:.3f} ms (median of {READS}); its codes and volts then {arrays:.3f} ms   "
          f"goal < {READ_GOAL_MS:.0f} ms   {verdict(plain < READ_GOAL_MS)}", flush=True)

    few, many = memory()
    grown = many - few
    print(f"Resident memory over dev.sweeps(): {few / 1024:.1f} MiB after {FEW} sweeps, {many / 1024:.1f} MiB after "
          f"{MANY} ({grown:+d} KiB)   goal within {MEMORY_GOAL_KIB} KiB   {verdict(abs(grown) <= MEMORY_GOAL_KIB)}")
    with tempfile.TemporaryDirectory() as folder:
        tenth, whole, seconds = recording_memory(folder)
    grown = whole - tenth
    print(f"Resident memory iterating q390.read_recording over {RECORDING_SWEEPS:,} sweeps of one .h5 file: "
          f"{tenth / 1024:.1f} MiB after the first 10 %, {whole / 1024:.1f} MiB at the end ({grown:+d} KiB; "
          f"{RECORDING_SWEEPS / seconds:,.0f} sweeps/s)   goal within {MEMORY_GOAL_KIB} KiB   "
          f"{verdict(abs(grown) <= MEMORY_GOAL_KIB)}")
    print(f"Load average at the end: {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()
