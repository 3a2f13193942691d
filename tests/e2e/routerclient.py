"""A small station, written apart from the simulator and from the core: it builds
requests, judges replies by the acceptance rules and lays out the replies it
expects, so that the simulator is checked against a second reading of the wire."""
from __future__ import annotations

import socket
import struct
import time
from dataclasses import dataclass

from lib.netlab import PC_ADDRESS, NetLab

PORT = 22360
BROADCAST_MAC = b"\xff" * 6
REQUEST_VERSION = 0x00010003

REQ_DISCOVER, REQ_UPDATE, REQ_STATUS, REQ_MODULE_INFO, REQ_UPDATE_EXT = 0x80, 0x84, 0x85, 0x86, 0x87
REPLY_BIT = 0x40
STATUS_OK, STATUS_FAILED, STATUS_BAD_PASSWORD = 0, 0xFFFFFFFF, 0x80000001

# headerLength, reserved, version, codeCheck, code, payloadLength, reserved,
# sourceAddress, destinationAddress, status
HEADER = struct.Struct("<HHIBBHI6s6sI")

# Size of a discovery payload's fixed part by the version that introduced it.
DISCOVERY_FIXED = ((0x00010003, 156), (0x00010002, 140), (0x00010001, 132), (0x00010000, 128))


def mac_bytes(text: str) -> bytes:
    return bytes.fromhex(text.replace(":", "").replace("-", ""))


def build_request(code: int, station: bytes, destination: bytes = BROADCAST_MAC, payload: bytes = b"") -> bytes:
    return HEADER.pack(32, 0, REQUEST_VERSION, ~code & 0xFF, code, len(payload), 0, station, destination, 0) + payload


def scramble(field: bytes, key: int) -> bytes:
    """The password transform, from its steps: W[0..3] the key's bytes, W[4..7] their
    products, then four passes that fold the even and the odd password bytes in."""
    p = field[:8]
    w = list(key.to_bytes(4, "little")) + [0, 0, 0, 0]
    for i in range(4):
        w[4 + i] = (w[i] * (w[i] ^ w[3 - i])) & 0xFF
    out = [0] * 8
    for i in range(4):
        w[0] ^= p[2 * i]
        for j in range(2, 2 * i + 1, 2):
            w[j] ^= w[j - 2]
        out[i] = w[2 * i]
        w[1] ^= p[2 * i + 1]
        for j in range(3, 2 * i + 2, 2):
            w[j] ^= w[j - 2]
        out[7 - i] = w[2 * i + 1]
    return bytes(out)


def password_field(text: bytes) -> bytes:
    """Typed text and NUL padding, the 8 bytes a freshly made record scrambles."""
    return text.ljust(8, b"\0")[:8]


def update_payload(size: int, scrambled: bytes, ext: tuple[int, int, int] | None = None) -> bytes:
    values = struct.pack("<3I", *ext) if ext else b""
    return struct.pack("<I", size) + values + scrambled


def rejection(datagram: bytes, station: bytes) -> str | None:
    """The first acceptance rule a datagram breaks, named as the simulator names its
    malformations, or None when the program would accept it."""
    if len(datagram) > 1500:
        return "oversize"
    if len(datagram) < 30:
        return "short"
    header_length, version, payload_length = (struct.unpack_from("<H", datagram, 0)[0],
                                              struct.unpack_from("<I", datagram, 4)[0],
                                              struct.unpack_from("<H", datagram, 10)[0])
    if version < 0x00010000:
        return "old_version"
    if header_length + payload_length != len(datagram):
        return "length_mismatch"
    if datagram[22:28] not in (station, BROADCAST_MAC):
        return "foreign_destination"
    check, code = datagram[8], datagram[9]
    if not code & REPLY_BIT:
        return "not_reply"
    if check != ~code & 0xFF:
        return "bad_check"
    return None


@dataclass
class Reply:
    raw: bytes
    sender: tuple[str, int]
    version: int
    code: int
    source: bytes
    destination: bytes
    status: int
    payload: bytes

    @classmethod
    def parse(cls, raw: bytes, sender: tuple[str, int]) -> "Reply":
        header_length, _, version, _, code, payload_length, _, source, destination, status = HEADER.unpack_from(raw)
        return cls(raw, sender, version, code, source, destination, status,
                   raw[header_length:header_length + payload_length])


def ipv4_field(text: str) -> bytes:
    """An address as the protocol carries it: the dotted octets in reverse order."""
    return bytes(reversed(socket.inet_aton(text)))


def expected_discovery_reply(version: int, mac: bytes, station: bytes, *, address: str, netmask: str,
                             capabilities: int, key: int, name: bytes, short_identity: bytes,
                             long_identity: bytes = b"", sub_code: int = 0, status: int = STATUS_OK) -> bytes:
    fixed = next(length for since, length in DISCOVERY_FIXED if version >= since)
    p = bytearray(fixed)
    p[0:4] = ipv4_field(address)
    p[4:8] = ipv4_field(netmask)
    p[8:10] = capabilities.to_bytes(2, "little")
    p[12:16] = key.to_bytes(4, "little")
    p[16:16 + len(name)] = name
    p[80:80 + len(short_identity)] = short_identity
    if version >= 0x00010001 and long_identity:
        p[130:132] = (len(long_identity) + 1).to_bytes(2, "little")
        p += long_identity + b"\0"
    if version >= 0x00010002:
        p[138:140] = sub_code.to_bytes(2, "little")
    code = REQ_DISCOVER | REPLY_BIT
    return HEADER.pack(32, 0, version, ~code & 0xFF, code, len(p), 0, mac, station, status) + bytes(p)


def discovery_key(reply: Reply) -> int:
    return struct.unpack_from("<I", reply.payload, 12)[0]


def reported_identity(reply: Reply) -> bytes:
    """The identity a station takes from a discovery reply: the long one when the
    version has identityOffset and it is not 0, else the short one."""
    payload = reply.payload
    if reply.version >= 0x00010001:
        offset = struct.unpack_from("<H", payload, 130)[0]
        if offset:
            return payload[len(payload) - offset:].split(b"\0")[0]
    return payload[80:96].split(b"\0")[0]


class Station:
    """The test's side of the wire, with a UDP socket in the pc namespace."""

    def __init__(self, lab: NetLab, receive_buffer: int | None = None):
        self.lab = lab
        self.mac = mac_bytes(lab.hardware_address(lab.pc))
        self.sock = lab.socket(lab.pc)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
        if receive_buffer:
            self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
        self.sock.bind(("0.0.0.0", 0))
        self.endpoint = f"{PC_ADDRESS}:{self.sock.getsockname()[1]}"

    def close(self) -> None:
        self.sock.close()

    def broadcast(self, code: int, destination: bytes = BROADCAST_MAC, payload: bytes = b"") -> bytes:
        return self.send_raw(build_request(code, self.mac, destination, payload), "255.255.255.255")

    def send(self, address: str, code: int, destination: bytes, payload: bytes = b"") -> bytes:
        return self.send_raw(build_request(code, self.mac, destination, payload), address)

    def send_raw(self, datagram: bytes, address: str) -> bytes:
        self.sock.sendto(datagram, (address, PORT))
        return datagram

    def receive(self, count: int = 1, deadline_s: float = 20.0) -> list[Reply]:
        """Exactly the next `count` datagrams, or an AssertionError after the deadline."""
        got: list[Reply] = []
        end = time.monotonic() + deadline_s
        while len(got) < count:
            left = end - time.monotonic()
            if left <= 0:
                raise AssertionError(f"received {len(got)} of {count} datagrams within {deadline_s} s")
            self.sock.settimeout(left)
            try:
                raw, sender = self.sock.recvfrom(65535)
            except socket.timeout:
                continue
            got.append(Reply.parse(raw, sender) if len(raw) >= HEADER.size else Reply(raw, sender, 0, 0, b"", b"", 0, b""))
        return got

    def receive_one(self, deadline_s: float = 20.0) -> Reply:
        return self.receive(1, deadline_s)[0]

    def drain(self) -> list[bytes]:
        """Whatever has already arrived, without waiting."""
        self.sock.setblocking(False)
        got = []
        try:
            while True:
                got.append(self.sock.recv(65535))
        except BlockingIOError:
            return got
        finally:
            self.sock.setblocking(True)
