"""Prints how long the program's image transfer takes under Wine, beside a plain
TCP send of the same bytes over the same link in the same run: unshaped, and
shaped to 10 Mbit/s. The program's figure is the simulated router's, from its
accepting the connection to the stream's end; the plain send's from the
sender's connect to the receiver's reading the last byte.

Run as root from tests/e2e, with both presets built:
    python3 measure_transfer.py [ROUNDS]"""
from __future__ import annotations

import socket
import statistics
import sys
import tempfile
import threading
import time
from pathlib import Path

from lib.netlab import GATEWAY_ADDRESS, NetLab
from lib.session import FIRMWARE, Session, message, plain_router
from lib.winenv import WineRun

PASSWORD = "measure"
PLAIN_PORT = 22361
LINKS = (("unshaped", None), ("10 Mbit/s", "10mbit"))


def plain_tcp_seconds(lab: NetLab, data: bytes) -> float:
    """Sends `data` from the pc namespace to a receiver in the router namespace."""
    listener = lab.socket(lab.router, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((GATEWAY_ADDRESS, PLAIN_PORT))
    listener.listen(1)
    figure: dict[str, float] = {}

    def receive() -> None:
        conn, _ = listener.accept()
        received = 0
        while chunk := conn.recv(1 << 16):
            received += len(chunk)
        figure["ended"] = time.monotonic()
        figure["received"] = received
        conn.close()

    receiver = threading.Thread(target=receive)
    receiver.start()
    sender = lab.socket(lab.pc, socket.SOCK_STREAM)
    started = time.monotonic()
    sender.connect((GATEWAY_ADDRESS, PLAIN_PORT))
    sender.sendall(data)
    sender.shutdown(socket.SHUT_WR)
    receiver.join(timeout=60)
    sender.close()
    listener.close()
    if figure.get("received") != len(data):
        raise RuntimeError(f"the plain receiver got {figure.get('received')} of {len(data)} bytes")
    return figure["ended"] - started


def program_transfer_seconds(s: Session) -> float:
    """One whole update; the router's time from accepting to the stream's end."""
    mark = s.mark()
    s.start_update(0, PASSWORD)
    s.wait_status(message(27), since=mark, deadline_s=120)
    s.wait_inputs(enabled=True)
    accepted = s.events("tcp_accept", router="r")[-1]
    [ended] = s.events("tcp_close", router="r", conn=accepted["conn"])
    if ended["received"] != FIRMWARE.stat().st_size:
        raise RuntimeError(f"the router got {ended['received']} bytes")
    return ended["t"] - accepted["t"]


def summary(values: list[float]) -> str:
    return f"{statistics.median(values):7.3f} s (min {min(values):.3f}, max {max(values):.3f})"


def main(rounds: int) -> None:
    data = FIRMWARE.read_bytes()
    run = WineRun()
    try:
        with tempfile.TemporaryDirectory() as folder, \
                Session(run, "measure-transfer", {"r": plain_router(password=PASSWORD)}, workdir=Path(folder)) as s:
            s.wait_status(message(3, 1))
            s.wait_inputs(enabled=True)
            print(f"{len(data):,} bytes, {rounds} rounds each; median (min, max)")
            for label, rate in LINKS:
                if rate:
                    s.lab.shape(rate)
                program = [program_transfer_seconds(s) for _ in range(rounds)]
                plain = [plain_tcp_seconds(s.lab, data) for _ in range(rounds)]
                s.lab.unshape()
                print(f"  {label:10}  program under Wine {summary(program)}   plain TCP {summary(plain)}")
    finally:
        run.close()


if __name__ == "__main__":
    main(int(sys.argv[1]) if len(sys.argv) > 1 else 3)
