"""The program's figures under Wine, for scripts/bench: the image transfer
beside a plain TCP send on the unshaped and the shaped link, the start-up to
the first broadcast, and the CPU the program and its wineserver use while the
dialog is idle and while a search's exchange ticks.

Run as root from tests/e2e with both presets built (scripts/bench does):
    python3 bench_wine.py RESULTS.json [ROUNDS]"""
from __future__ import annotations

import json
import os
import re
import signal
import subprocess
import statistics
import sys
import tempfile
import time
from pathlib import Path

from lib.netlab import NetLab, pids_in_namespace
from lib.session import FIRMWARE, Session, message, plain_router
from lib.simulator import Simulator
from lib.winenv import PROGRAM, WineCase, WineRun, wait_until
from measure_transfer import PASSWORD, plain_tcp_seconds, program_transfer_seconds

LINKS = (("unshaped", None), ("100 Mbit/s", "100mbit"), ("10 Mbit/s", "10mbit"))
REQ_DISCOVER = 0x80
TRANSFER_BLOCK_SIZE = 1024  # src/workflow/FirmwareTransfer.h
CPU_WINDOW_S = 10.0
EXCHANGE_WINDOW_S = 7.0  # inside the search's 9.3 s exchange
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def is_discover_request(event: dict) -> bool:
    data = bytes.fromhex(event.get("hex", ""))
    return event["event"] == "udp_in" and len(data) > 9 and data[9] == REQ_DISCOVER


def transfer_figures(run: WineRun, rounds: int) -> list[dict]:
    """Per link: the program's and the plain sender's seconds, alternating
    round by round so that both see the same machine, with the CPU the
    program and its wineserver used during the program's rounds."""
    data = FIRMWARE.read_bytes()
    figures = []
    with tempfile.TemporaryDirectory() as folder, \
            Session(run, "bench-transfer", {"r": plain_router(password=PASSWORD)}, workdir=Path(folder)) as s:
        s.wait_status(message(3, 1))
        s.wait_inputs(enabled=True)
        for label, rate in LINKS:
            if rate:
                s.slow_link(rate)
            program, plain, plain_blocks, cpu = [], [], [], []
            pids = wine_processes(s.lab)
            for _ in range(rounds):
                before = sum(cpu_seconds(pid) for pid in pids.values())
                program.append(program_transfer_seconds(s))
                cpu.append(sum(cpu_seconds(pid) for pid in pids.values()) - before)
                plain.append(plain_tcp_seconds(s.lab, data))
                plain_blocks.append(plain_tcp_seconds(s.lab, data, block=TRANSFER_BLOCK_SIZE))
            blocks = s.events("tcp_data", router="r", conn=s.events("tcp_accept", router="r")[-1]["conn"])
            if rate:
                s.slow_link(None)
            figures.append({"link": label, "program_s": program, "plain_s": plain, "plain_blocks_s": plain_blocks,
                            "update_cpu_s": cpu,
                            "reads_last_round": len(blocks)})
    return figures


def startup_seconds(run: WineRun, rounds: int) -> list[float]:
    """From launching the program in the pc namespace to the simulator's log
    of its first discovery request; one unmeasured launch warms the caches."""
    figures = []
    for attempt in range(rounds + 1):
        with tempfile.TemporaryDirectory() as folder, NetLab() as lab:
            routers = {"r": plain_router(mac="00:80:6d:00:00:01", address=lab.router_addresses[0])}
            sim = Simulator(lab, routers, Path(folder)).start()
            wine = WineCase(run, "bench-startup", lab)
            try:
                launched = time.monotonic()
                wine.start(PROGRAM)
                [first] = sim.wait_for(is_discover_request, what="the first discovery request")[:1]
                if attempt > 0:
                    figures.append(first["t"] - launched)
            finally:
                wine.close()
                sim.stop()
    return figures


def cpu_seconds(pid: int) -> float:
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS  # utime, stime


def wine_processes(lab: NetLab) -> dict[str, int]:
    """The program's process and its wineserver, by their command names."""
    found = {}
    for pid in pids_in_namespace(lab.pc):
        try:
            name = Path(f"/proc/{pid}/comm").read_text().strip()
        except FileNotFoundError:
            continue
        if name.startswith("zvrupdate"):
            found["program"] = pid
        elif name.startswith("wineserver"):
            found["wineserver"] = pid
    if set(found) != {"program", "wineserver"}:
        raise RuntimeError(f"cannot find the program and its wineserver in {lab.pc}: {found}")
    return found


def cpu_percent(pids: dict[str, int], window_s: float) -> dict[str, float]:
    before = {name: cpu_seconds(pid) for name, pid in pids.items()}
    started = time.monotonic()
    time.sleep(window_s)  # the measurement window itself, not a wait for a condition
    wall = time.monotonic() - started
    return {name: 100.0 * (cpu_seconds(pid) - before[name]) / wall for name, pid in pids.items()}


def cpu_figures(run: WineRun) -> dict:
    """CPU % of the program and its wineserver: idle after the search, then
    inside the exchange of a second search (ticks every 100 ms)."""
    with tempfile.TemporaryDirectory() as folder, \
            Session(run, "bench-cpu", {"r": plain_router()}, workdir=Path(folder)) as s:
        s.wait_status(message(3, 1))
        s.wait_inputs(enabled=True)
        pids = wine_processes(s.lab)
        idle = cpu_percent(pids, CPU_WINDOW_S)
        requests = len([e for e in s.sim.of("udp_in") if is_discover_request(e)])
        s.press_research()
        s.sim.wait_for(is_discover_request, count=requests + 1, what="the second search's request")
        exchange = cpu_percent(pids, EXCHANGE_WINDOW_S)
    return {"idle": idle, "idle_window_s": CPU_WINDOW_S, "exchange": exchange,
            "exchange_window_s": EXCHANGE_WINDOW_S}


def traced(pid: int) -> bool:
    status = Path(f"/proc/{pid}/status").read_text()
    return re.search(r"^TracerPid:\s*[1-9]", status, re.M) is not None


def transfer_syscalls(run: WineRun, rate: str) -> dict[str, str]:
    """strace -c of the program and of its wineserver over one whole update on
    the link shaped to `rate`: which calls the one-block-per-notification
    transfer makes, and how many (strace slows them; the counts stand)."""
    tables = {}
    with tempfile.TemporaryDirectory() as folder, \
            Session(run, "bench-strace", {"r": plain_router(password=PASSWORD)}, workdir=Path(folder)) as s:
        s.wait_status(message(3, 1))
        s.wait_inputs(enabled=True)
        s.slow_link(rate)
        tracers = {}
        for name, pid in wine_processes(s.lab).items():
            out = Path(folder) / f"{name}.strace"
            tracers[name] = (subprocess.Popen(["strace", "-f", "-c", "-o", str(out), "-p", str(pid)],
                                              stderr=subprocess.DEVNULL), out)
        wait_until(lambda: all(traced(pid) for pid in wine_processes(s.lab).values()), "strace to attach")
        program_transfer_seconds(s)
        for name, (tracer, out) in tracers.items():
            tracer.send_signal(signal.SIGINT)
            tracer.wait(timeout=30)
            tables[name] = out.read_text()
        s.slow_link(None)
    return tables


def main(results: Path, rounds: int) -> None:
    run = WineRun()
    try:
        figures = {"rounds": rounds, "image_bytes": FIRMWARE.stat().st_size}
        figures["transfer"] = transfer_figures(run, rounds)
        for link in figures["transfer"]:
            print(f"  transfer {link['link']:10}  program {statistics.median(link['program_s']):.3f} s  "
                  f"plain {statistics.median(link['plain_s']):.3f} s  "
                  f"plain in 1024-byte sends {statistics.median(link['plain_blocks_s']):.3f} s  "
                  f"CPU over the update {statistics.median(link['update_cpu_s']):.2f} s", flush=True)
        figures["startup_s"] = startup_seconds(run, rounds)
        print(f"  start-up to first broadcast {statistics.median(figures['startup_s']):.3f} s", flush=True)
        figures["cpu"] = cpu_figures(run)
        print(f"  CPU idle {figures['cpu']['idle']}  in an exchange {figures['cpu']['exchange']}", flush=True)
        figures["strace_100mbit"] = transfer_syscalls(run, "100mbit")
        for name, text in figures["strace_100mbit"].items():
            print(f"  strace -f -c of the {name} over one update at 100 Mbit/s:\n{text}", flush=True)
    finally:
        run.close()
    results.write_text(json.dumps(figures, indent=1))


if __name__ == "__main__":
    main(Path(sys.argv[1]), int(sys.argv[2]) if len(sys.argv) > 2 else 3)
