#!/usr/bin/env python3
"""Writes the seed corpus of the datagram fuzzer, and a list of its files for
libFuzzer's -seed_inputs=@LIST.

Each seed is a sequence of datagrams, each a u16 little-endian length and
that many bytes, as the fuzz target reads its input.

usage: make_seeds.py SEED_DIR LIST_FILE
"""
import os
import struct
import sys

STATION = bytes([0x00, 0x16, 0x3E, 0x12, 0x34, 0x56])  # FakeHost's adapter
ALL = b"\xff" * 6
FIXED_PART = {0x00010000: 128, 0x00010001: 132, 0x00010002: 140, 0x00010003: 156}


def text(s, width):
    return s.encode("ascii")[:width].ljust(width, b"\0")


def header(code, payload_length, version=0x00010003, source=b"\x00\x80\x92\x0a\x0b\x0c",
           destination=ALL, header_length=32, status=0):
    h = struct.pack("<HHIBBHI6s6sI", header_length, 0, version, ~code & 0xFF, code,
                    payload_length, 0, source, destination, status)
    return h.ljust(header_length, b"\0")


def discovery(version=0x00010003, source=b"\x00\x80\x92\x0a\x0b\x0c", name="Office",
              short_identity="VQT-RN8 1.00", capabilities=0x0F00, sub_code=60,
              long_identity=None, identity_offset=None, cut=0):
    payload = struct.pack("<IIHHI", 0xC0A80B01, 0xFFFFFF00, capabilities, 0, 0x12345678)
    payload += text(name, 32) + text("text", 32) + text(short_identity, 16) + text("text", 32)
    tail = long_identity or b""
    offset = len(tail) if identity_offset is None else identity_offset
    payload += struct.pack("<HH", 0, offset) + b"\0" * 6 + struct.pack("<H", sub_code) + text("text", 16)
    payload = payload[:FIXED_PART[min(version, 0x00010003)]] + tail
    if cut:
        payload = payload[:-cut]
    return header(0xC0, len(payload), version=version, source=source) + payload


def reply(code, payload=b"", status=0, destination=STATION):
    return header(code, len(payload), destination=destination, status=status) + payload


def seed(*datagrams):
    return b"".join(struct.pack("<H", len(d)) + d for d in datagrams)


SEEDS = {
    "discover-v10000": seed(discovery(version=0x00010000)),
    "discover-v10001-long-identity": seed(discovery(version=0x00010001, long_identity=b"VQT-RN8 1.10\0")),
    "discover-v10002": seed(discovery(version=0x00010002)),
    "discover-v10003": seed(discovery()),
    "discover-v20000": seed(discovery(version=0x00020000)),
    "discover-refresh-and-second-router": seed(
        discovery(name="First name"), discovery(source=b"\x00\x80\x92\x99\x99\x99"),
        discovery(version=0x00010002, name="Second")),
    "discover-long-identity-no-nul": seed(discovery(long_identity=b"VQT-RN8 1.10")),
    "discover-long-identity-300": seed(discovery(long_identity=b"L" * 300 + b"\0")),
    "discover-identity-offset-too-large": seed(discovery(long_identity=b"VQT\0", identity_offset=400)),
    "discover-short-payload": seed(discovery(cut=1)),
    "discover-header-40": seed(header(0xC0, 156, header_length=40) + discovery()[32:]),
    "thirty-bytes": seed(struct.pack("<HHIBBHI6s6sH", 30, 0, 0x00010003, 0x3A, 0xC5, 0, 0,
                                     b"\x00\x80\x92\x0a\x0b\x0c", STATION, 0)),
    "status-and-module-info": seed(reply(0xC5), reply(0xC6, b"ISDN board\0", status=0xFFFFFFFF)),
    "request-from-another-station": seed(header(0x80, 0)),
    "unknown-reply-code": seed(reply(0xC1)),
}


def main():
    seed_dir, list_file = sys.argv[1], sys.argv[2]
    os.makedirs(seed_dir, exist_ok=True)
    paths = []
    for name, data in sorted(SEEDS.items()):
        path = os.path.join(seed_dir, name)
        with open(path, "wb") as f:
            f.write(data)
        paths.append(path)
    with open(list_file, "w") as f:
        f.write(",".join(paths))


if __name__ == "__main__":
    main()
