"""Reads a 32-bit PE file's link time stamp and its version resource, from
the bytes alone: no Windows, no resource compiler."""
from __future__ import annotations

import struct
from dataclasses import dataclass, field

RT_VERSION = 16
VS_FIXEDFILEINFO_SIGNATURE = 0xFEEF04BD


@dataclass
class VersionInfo:
    file_version: tuple[int, int, int, int]
    product_version: tuple[int, int, int, int]
    file_os: int
    file_type: int
    # Block key ("041104B0") -> name -> text.
    strings: dict[str, dict[str, str]] = field(default_factory=dict)
    # (language, code page) pairs of VarFileInfo\Translation.
    translations: list[tuple[int, int]] = field(default_factory=list)


class PeFile:
    def __init__(self, data: bytes):
        self.data = data
        self.pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[self.pe:self.pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        sections, optional_size = struct.unpack_from("<H12xH", data, self.pe + 6)
        self.optional = self.pe + 24
        table = self.optional + optional_size
        self.sections = [struct.unpack_from("<8xIIII", data, table + 40 * i) for i in range(sections)]

    @property
    def time_date_stamp(self) -> int:
        return struct.unpack_from("<I", self.data, self.pe + 8)[0]

    def _offset(self, rva: int) -> int:
        for virtual_size, address, raw_size, raw_pointer in self.sections:
            if address <= rva < address + max(virtual_size, raw_size):
                return raw_pointer + rva - address
        raise ValueError(f"RVA {rva:#x} is in no section")

    def _directory_entries(self, table: int) -> list[tuple[int | None, int]]:
        """(numeric id, or None for a named entry; offset of what it points to,
        still flagged when it is a subdirectory) of one resource directory."""
        named, numbered = struct.unpack_from("<12xHH", self.data, table)
        entries = []
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", self.data, table + 16 + 8 * i)
            entries.append((None if name & 0x80000000 else name, target))
        return entries

    def resource(self, kind: int, name: int) -> bytes | None:
        """The first language's bytes of resource (kind, name), or None."""
        rva = struct.unpack_from("<I", self.data, self.optional + 96 + 8 * 2)[0]
        if rva == 0:
            return None
        root = self._offset(rva)
        level = root
        for wanted in (kind, name):
            found = [target for ident, target in self._directory_entries(level) if ident == wanted]
            if not found:
                return None
            level = root + (found[0] & 0x7FFFFFFF)
        languages = self._directory_entries(level)
        data_rva, size = struct.unpack_from("<II", self.data, root + languages[0][1])
        start = self._offset(data_rva)
        return self.data[start:start + size]


def _node(data: bytes, offset: int) -> tuple[str, bytes, int, list[int]]:
    """One VS_VERSIONINFO-shaped node: key, value bytes, value type (1 text,
    0 binary) and the offsets of its children. Each part starts on a 4-byte
    boundary from the start of the resource."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, offset)
    end = offset + length
    key_end = offset + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[offset + 6:key_end].decode("utf-16-le")
    value_start = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if value_type == 1 else value_length
    value = data[value_start:value_start + value_size]
    children = []
    child = (value_start + value_size + 3) & ~3
    while child < end:
        children.append(child)
        child = (child + struct.unpack_from("<H", data, child)[0] + 3) & ~3
    return key, value, value_type, children


def _version_quad(ms: int, ls: int) -> tuple[int, int, int, int]:
    return ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF


def read_version_info(data: bytes) -> VersionInfo:
    key, fixed, _, children = _node(data, 0)
    if key != "VS_VERSION_INFO":
        raise ValueError(f"version resource key {key!r}")
    (signature, _, file_ms, file_ls, product_ms, product_ls, _, _, file_os, file_type) = \
        struct.unpack_from("<10I", fixed)
    if signature != VS_FIXEDFILEINFO_SIGNATURE:
        raise ValueError(f"VS_FIXEDFILEINFO signature {signature:#x}")
    info = VersionInfo(_version_quad(file_ms, file_ls), _version_quad(product_ms, product_ls), file_os, file_type)
    for child in children:
        kind, _, _, blocks = _node(data, child)
        if kind == "StringFileInfo":
            for block in blocks:
                block_key, _, _, values = _node(data, block)
                strings = info.strings.setdefault(block_key.upper(), {})
                for value in values:
                    name, text, _, _ = _node(data, value)
                    strings[name] = text.decode("utf-16-le").rstrip("\0")
        elif kind == "VarFileInfo":
            for var in blocks:
                name, pairs, _, _ = _node(data, var)
                if name == "Translation":
                    info.translations = [struct.unpack_from("<HH", pairs, i) for i in range(0, len(pairs), 4)]
    return info
