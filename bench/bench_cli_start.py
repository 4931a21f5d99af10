#!/usr/bin/env python3
"""zelvar-cli's everyday commands, whole process, side by side with printf to the same
pseudo-terminal, in one run: bench_cli_start.py ZELVAR_CLI [RUNS]

Prints the median and the worst of each, and each median's ratio to printf's; the processor
time (user + system) beside it, which a busy machine disturbs less than the wall clock."""
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time


def drain(master):
    while True:
        try:
            if not os.read(master, 4096):
                return
        except OSError:
            return


def timed(command, cwd, runs):
    """Wall-clock and processor (user + system) milliseconds of each run."""
    wall, cpu = [], []
    for _ in range(runs):
        start = time.perf_counter()
        child = subprocess.Popen(command, cwd=cwd, stdout=subprocess.DEVNULL)
        _, status, usage = os.wait4(child.pid, 0)
        wall.append((time.perf_counter() - start) * 1000)
        child.returncode = os.waitstatus_to_exitcode(status)
        if child.returncode != 0:
            sys.exit(f"{command} ended with status {child.returncode}")
        cpu.append((usage.ru_utime + usage.ru_stime) * 1000)
    return wall, cpu


def main():
    cli = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 50
    master, slave = os.openpty()
    port = os.ttyname(slave)
    threading.Thread(target=drain, args=(master,), daemon=True).start()
    with tempfile.TemporaryDirectory() as folder:
        commands = [
            ("printf 'S1N$#' > port", ["sh", "-c", f"printf 'S1N$#' > {port}"]),
            ("zelvar-cli --version", [cli, "--version"]),
            ("zelvar-cli relay 1 on", [cli, "relay", "1", "on", "--port", port]),
        ]
        results = [(name, timed(command, folder, runs)) for name, command in commands]
    base = statistics.median(results[0][1][0])
    base_cpu = statistics.median(results[0][1][1])
    for name, (wall, cpu) in results:
        median, median_cpu = statistics.median(wall), statistics.median(cpu)
        print(f"{name:24} median {median:6.2f} ms  worst {max(wall):6.2f} ms  ratio to printf {median / base:5.2f}"
              f"  | processor {median_cpu:5.2f} ms  ratio {median_cpu / base_cpu:5.2f}")


if __name__ == "__main__":
    main()
