"""scripts/release, run twice from this source into two build trees of
different names and depths: both give the same bytes, with no time stamp and
no path of the machine in them, the SHA-256 file beside each executable
matches it, and the version resource says who made what, in Japanese and in
English, with the project's version."""
import hashlib
import os
import shutil
import subprocess
import sys
import unittest
from pathlib import Path

SOURCE_DIR = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(SOURCE_DIR / "resources"))

from catalogue import read_catalogue  # noqa: E402
from pe_version import RT_VERSION, PeFile, read_version_info  # noqa: E402

WORK = Path(os.environ.get("ZVR_RELEASE_CHECK_DIR", SOURCE_DIR / "build" / "release-check"))
# The project's VERSION, as CMake read it from the root CMakeLists.txt.
VERSION = os.environ["ZVR_VERSION"]
MSG_APP_CAPTION = 5
VS_VERSION_INFO = 1
VOS__WINDOWS32, VFT_APP = 0x4, 0x1
JAPANESE, ENGLISH, UNICODE = 0x0411, 0x0409, 1200


class ReleaseTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(WORK, ignore_errors=True)
        cls.builds = [(WORK / "one" / "tree", WORK / "one" / "release"),
                      (WORK / "a" / "deeper" / "second-tree", WORK / "a" / "deeper" / "out")]
        for build_dir, out_dir in cls.builds:
            log = WORK / f"{build_dir.name}.log"
            log.parent.mkdir(parents=True, exist_ok=True)
            with open(log, "w") as output:
                done = subprocess.run([str(SOURCE_DIR / "scripts" / "release"), "--build-dir", str(build_dir),
                                       "--out-dir", str(out_dir)], stdout=output, stderr=subprocess.STDOUT)
            if done.returncode != 0:
                raise AssertionError(f"scripts/release failed:\n{log.read_text()}")
        cls.executables = [(out_dir / "zvrupdate.exe").read_bytes() for _, out_dir in cls.builds]

    def test_two_builds_in_different_trees_give_the_same_bytes(self):
        first, second = self.executables
        self.assertEqual(len(first), len(second))
        differing = [i for i, (a, b) in enumerate(zip(first, second)) if a != b]
        self.assertEqual(differing[:16], [], f"{len(differing)} bytes differ, the first at these offsets")

    def test_the_executable_carries_no_time_stamp_and_no_local_path(self):
        exe = self.executables[0]
        self.assertEqual(PeFile(exe).time_date_stamp, 0)
        paths = [SOURCE_DIR, WORK] + [build_dir for build_dir, _ in self.builds]
        for path in paths:
            for encoding in ("utf-8", "utf-16-le"):
                with self.subTest(path=str(path), encoding=encoding):
                    self.assertNotIn(str(path).encode(encoding), exe)

    def test_the_checksum_file_beside_each_executable_matches_it(self):
        for (_, out_dir), exe in zip(self.builds, self.executables):
            with self.subTest(out_dir=str(out_dir)):
                line = (out_dir / "zvrupdate.exe.sha256").read_text()
                self.assertEqual(line, f"{hashlib.sha256(exe).hexdigest()}  zvrupdate.exe\n")
                subprocess.run(["sha256sum", "--check", "--quiet", "zvrupdate.exe.sha256"], cwd=out_dir, check=True)

    def test_version_resource_names_the_product_in_japanese_and_english(self):
        resource = PeFile(self.executables[0]).resource(RT_VERSION, VS_VERSION_INFO)
        self.assertIsNotNone(resource, "no version resource")
        info = read_version_info(resource)
        numbers = tuple(int(n) for n in (VERSION.split(".") + ["0"] * 3)[:4])
        self.assertEqual(info.file_version, numbers)
        self.assertEqual(info.product_version, numbers)
        self.assertEqual((info.file_os, info.file_type), (VOS__WINDOWS32, VFT_APP))
        self.assertEqual(info.translations, [(JAPANESE, UNICODE), (ENGLISH, UNICODE)])

        caption = read_catalogue(str(SOURCE_DIR / "resources" / "strings.rc"),
                                 str(SOURCE_DIR / "src" / "ui" / "ResourceIds.h"))[MSG_APP_CAPTION]
        common = {"CompanyName": "Torva", "FileVersion": VERSION, "ProductVersion": VERSION,
                  "InternalName": "zvrupdate", "OriginalFilename": "zvrupdate.exe",
                  "LegalCopyright": "Copyright (C) Torva"}
        expected = {
            f"{JAPANESE:04X}{UNICODE:04X}": common | {"FileDescription": caption, "ProductName": caption},
            f"{ENGLISH:04X}{UNICODE:04X}": common | {"FileDescription": "ZVR Firmware Update Utility",
                                                     "ProductName": "ZVR Firmware Update Utility"},
        }
        self.assertEqual(info.strings, expected)


if __name__ == "__main__":
    unittest.main(verbosity=2)
