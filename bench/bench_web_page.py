#!/usr/bin/env python3
"""The web remote's page, opened in headless Chromium from the service on loopback, until it
shows the relays' states: bench_web_page.py ZELVAR_CLI ZELVAR_BOARD DEMO_DIR [RUNS]
(run it with /usr/bin/python3, where python3-selenium lives).

Each run opens the page afresh, from navigation start to the moment the page has loaded,
shown its picture (fetched with the token) and set all 16 relays' states, as the browser's
own clock tells. Prints the
first (cold) opening, the median and the worst of the runs after it, and the median's ratio
to the 150 ms target."""
import contextlib
import os
import statistics
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "remote"))
from web_host import Board, Service, STATES_SHOWN, TOKEN, browser, wait_for  # noqa: E402

TARGET_MS = 150
# When the states were all shown and when the page and its picture were loaded, from
# navigation start; null before.
SHOWN = """(() => {
    const states = performance.getEntriesByName('zelvar-etats')[0];
    const image = performance.getEntriesByName('zelvar-image')[0];
    const page = performance.getEntriesByType('navigation')[0];
    return states && image && page && page.loadEventEnd
        ? [states.startTime, Math.max(page.loadEventEnd, image.startTime)] : null;
})()"""


def main():
    cli, board_exe, demo = (os.path.abspath(path) for path in sys.argv[1:4])
    runs = min(int(sys.argv[4]) if len(sys.argv) > 4 else 30, 200)
    with contextlib.ExitStack() as parts:
        board = Board(board_exe)
        parts.callback(board.stop)
        service = Service(cli, demo, board.device)
        parts.callback(service.stop)
        driver = browser()
        parts.callback(driver.quit)
        driver.get(f"{service.base}?token={TOKEN}")
        times = []
        for _ in range(runs + 1):
            driver.get("about:blank")
            driver.get(service.base)
            wait_for(driver, STATES_SHOWN)
            wait_for(driver, f"return {SHOWN} !== null")
            states, loaded = driver.execute_script(f"return {SHOWN}")
            times.append((max(states, loaded), states, loaded))
    cold, warm = times[0], times[1:]
    shown = [t[0] for t in warm]
    median = statistics.median(shown)
    print(f"first opening      shown {cold[0]:6.1f} ms (states {cold[1]:6.1f}, loaded {cold[2]:6.1f})")
    print(f"{runs} openings after  median {median:6.1f} ms  worst {max(shown):6.1f} ms"
          f"  (states median {statistics.median(t[1] for t in warm):6.1f}, loaded median "
          f"{statistics.median(t[2] for t in warm):6.1f})")
    print(f"ratio to the {TARGET_MS} ms target: median {median / TARGET_MS:.2f}, first {cold[0] / TARGET_MS:.2f}")


if __name__ == "__main__":
    main()
