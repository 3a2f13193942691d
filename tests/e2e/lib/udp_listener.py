"""A UDP peer for the port tests, run inside the router namespace: it waits
for one datagram on PORT, records it in REPORT (JSON), and answers its
sender with an oversized datagram and then a short one.

    python3 udp_listener.py PORT REPORT"""
import json
import socket
import sys
from pathlib import Path

OVERSIZED = bytes(1600)  # longer than the 1500 bytes the program reads
SHORT = b"ZVR-REPLY-OK"
DEADLINE_S = 60.0


def main(port: int, report: Path) -> None:
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
        sock.bind(("0.0.0.0", port))
        sock.settimeout(DEADLINE_S)
        report.with_suffix(".ready").touch()
        data, sender = sock.recvfrom(65535)
        report.write_text(json.dumps({"sender": list(sender), "payload": data.hex()}))
        sock.sendto(OVERSIZED, sender)
        sock.sendto(SHORT, sender)


if __name__ == "__main__":
    main(int(sys.argv[1]), Path(sys.argv[2]))
