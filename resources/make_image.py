#!/usr/bin/env python3
"""Writes the stand-in firmware image: a deterministic byte sequence of the
size the real image has, so that every build embeds the same bytes."""
import hashlib
import sys

IMAGE_SIZE = 798_968


def image_bytes(size: int = IMAGE_SIZE) -> bytes:
    # SHA-256 in counter mode: no repeating pattern that could hide a
    # misplaced block in the router's copy.
    out = bytearray()
    counter = 0
    while len(out) < size:
        out += hashlib.sha256(b"zvr-stand-in-image:%d" % counter).digest()
        counter += 1
    return bytes(out[:size])


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as f:
        f.write(image_bytes())
