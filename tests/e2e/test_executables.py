"""The built program, read without running it: its import table names only
the DLLs every 32-bit Windows of both families has (no libgcc or libstdc++
DLL, no Winsock 2), and each variant carries the resources it should."""
import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

SOURCE_DIR = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(SOURCE_DIR / "resources"))

from catalogue import read_catalogue  # noqa: E402
from make_image import image_bytes  # noqa: E402

WIN32_BUILD = Path(os.environ.get("ZVR_WIN32_BUILD", SOURCE_DIR / "build" / "win32"))
ALLOWED = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "wsock32.dll", "netapi32.dll", "msvcrt.dll"}

RT_STRING, RT_DIALOG, RT_GROUP_ICON, RT_MANIFEST = 6, 5, 14, 24
LANG_JAPANESE, SUBLANG_DEFAULT = 0x11, 1
IDI_APP, IDD_UPDATE, IDR_FIRMWARE = 101, 102, 110


def program(name: str) -> Path:
    exe = WIN32_BUILD / "src" / "win32" / name
    if not exe.is_file():
        raise AssertionError(f"{exe} is missing: build the win32 preset first")
    return exe


def imported_dlls(exe: Path) -> tuple[set[str], str]:
    dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", str(exe)], check=True, capture_output=True,
                          text=True).stdout
    dlls = {name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)}
    subsystem = re.search(r"^Subsystem\s+\S+\s+\((.*)\)", dump, re.MULTILINE)
    return dlls, subsystem.group(1) if subsystem else ""


def _read_id(data: bytes, offset: int) -> tuple[int | str, int]:
    """A .res type or name: 0xFFFF and a number, or a NUL-terminated UTF-16 name."""
    if struct.unpack_from("<H", data, offset)[0] == 0xFFFF:
        return struct.unpack_from("<H", data, offset + 2)[0], offset + 4
    end = offset
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[offset:end].decode("utf-16-le"), end + 2


def dialog_language(exe: Path) -> tuple[int, int]:
    """(primary, sub-language) of dialog IDD_UPDATE. windres keeps languages
    only in its .rc listing, which states one only where it changes."""
    listing = subprocess.run(["i686-w64-mingw32-windres", "-i", str(exe), "-O", "rc"], check=True,
                             capture_output=True, text=True).stdout
    language = (0, 0)
    for line in listing.splitlines():
        if m := re.match(r"LANGUAGE (\d+), (\d+)", line):
            language = (int(m.group(1)), int(m.group(2)))
        elif line.startswith(f"{IDD_UPDATE} DIALOG"):
            return language
    return (0, 0)


def resources(exe: Path) -> dict[tuple[int | str, int | str], bytes]:
    """Every resource of the executable: (type, name) -> bytes."""
    with tempfile.TemporaryDirectory() as work:
        res = Path(work) / "out.res"
        subprocess.run(["i686-w64-mingw32-windres", "-i", str(exe), "-O", "res", "-o", str(res)], check=True,
                       capture_output=True)
        data = res.read_bytes()
    found = {}
    offset = 0
    while offset < len(data):
        data_size, header_size = struct.unpack_from("<II", data, offset)
        kind, after = _read_id(data, offset + 8)
        name, after = _read_id(data, after)
        body = data[offset + header_size:offset + header_size + data_size]
        if kind != 0:  # the empty header that opens a .res file
            found[(kind, name)] = body
        offset = (offset + header_size + data_size + 3) & ~3
    return found


def string_table(found) -> dict[int, str]:
    """Block b of a string table holds strings 16(b-1) .. 16(b-1)+15, each a
    UTF-16 length and text."""
    strings = {}
    for (kind, block), body in found.items():
        if kind != RT_STRING:
            continue
        offset = 0
        for index in range(16):
            length = struct.unpack_from("<H", body, offset)[0]
            text = body[offset + 2:offset + 2 + 2 * length].decode("utf-16-le")
            offset += 2 + 2 * length
            if length:
                strings[(block - 1) * 16 + index] = text
    return strings


class ExecutablesTest(unittest.TestCase):
    def test_programs_import_only_the_allowed_dlls(self):
        for name in ("zvrupdate.exe", "zvrupdate-noimage.exe", "zvrupdate-emptyimage.exe"):
            with self.subTest(program=name):
                dlls, subsystem = imported_dlls(program(name))
                self.assertLessEqual(dlls, ALLOWED, f"unexpected imports: {sorted(dlls - ALLOWED)}")
                self.assertIn("wsock32.dll", dlls)
                self.assertEqual(subsystem, "Windows GUI")

    def test_each_variant_carries_dialog_catalogue_icon_manifest_and_its_image(self):
        catalogue = read_catalogue(str(SOURCE_DIR / "resources" / "strings.rc"),
                                   str(SOURCE_DIR / "src" / "ui" / "ResourceIds.h"))
        for name, image in (("zvrupdate.exe", image_bytes()), ("zvrupdate-noimage.exe", None),
                            ("zvrupdate-emptyimage.exe", b"")):
            with self.subTest(program=name):
                found = resources(program(name))
                self.assertIn((RT_DIALOG, IDD_UPDATE), found)
                self.assertEqual(dialog_language(program(name)), (LANG_JAPANESE, SUBLANG_DEFAULT))
                self.assertIn((RT_GROUP_ICON, IDI_APP), found)
                self.assertIn((RT_MANIFEST, 1), found)
                # The catalogue went through the resource compiler as UTF-8.
                self.assertEqual(string_table(found), catalogue)
                firmware = found.get(("FIRMBIN", IDR_FIRMWARE))
                if image is None:
                    self.assertIsNone(firmware)
                else:
                    self.assertIsNotNone(firmware)
                    self.assertEqual(len(firmware), len(image))
                    self.assertTrue(firmware == image, "the embedded image is the stand-in, byte for byte")


if __name__ == "__main__":
    unittest.main(verbosity=2)
