"""Prints how long the end-to-end harness takes to set up and tear down: the two
namespaces with their veth, and a simulator start (until its "ready" line) and
stop. Run as root from tests/e2e:  python3 measure_harness.py [ROUNDS]"""
from __future__ import annotations

import statistics
import sys
import tempfile
import time
from pathlib import Path

from lib.netlab import NetLab
from lib.simulator import Simulator, router_keys


def timed(action) -> float:
    start = time.monotonic()
    action()
    return time.monotonic() - start


def main(rounds: int) -> None:
    figures: dict[str, list[float]] = {"lab up (2 router addresses)": [], "simulator start, 2 routers": [],
                                       "simulator stop": [], "lab down": []}
    with tempfile.TemporaryDirectory() as folder:
        for n in range(rounds):
            lab = NetLab(tag=f"m{n}")
            figures["lab up (2 router addresses)"].append(timed(lambda: lab.up(router_count=2)))
            workdir = Path(folder) / str(n)
            workdir.mkdir()
            sim = Simulator(lab, {"r1": router_keys(lab, 0), "r2": router_keys(lab, 1)}, workdir)
            figures["simulator start, 2 routers"].append(timed(sim.start))
            figures["simulator stop"].append(timed(sim.stop))
            figures["lab down"].append(timed(lab.down))
    print(f"{rounds} rounds, seconds: median (min .. max)")
    for name, values in figures.items():
        print(f"  {name:30} {statistics.median(values):.3f} ({min(values):.3f} .. {max(values):.3f})")


if __name__ == "__main__":
    main(int(sys.argv[1]) if len(sys.argv) > 1 else 10)
