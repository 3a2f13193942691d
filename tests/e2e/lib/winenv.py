"""The Wine side of the end-to-end harness: a virtual X display, one template
WINEPREFIX per test run copied afresh for every case, the program and the
dialog driver started inside the pc namespace of a NetLab, waiting for
conditions, screenshots, and the artifacts of a failing case.

Everything Wine runs here runs inside a private network namespace, with a
prefix of its own, so that its wineserver (which owns the sockets) starts
inside the namespace."""
from __future__ import annotations

import json
import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

from .netlab import NetLab

SOURCE_DIR = Path(__file__).resolve().parents[3]
WIN32_BUILD = Path(os.environ.get("ZVR_WIN32_BUILD", SOURCE_DIR / "build" / "win32"))
ARTIFACTS = Path(os.environ.get("ZVR_E2E_ARTIFACTS", SOURCE_DIR / "build" / "host" / "e2e-artifacts"))

PROGRAM = WIN32_BUILD / "src" / "win32" / "zvrupdate.exe"
PROGRAM_NO_IMAGE = WIN32_BUILD / "src" / "win32" / "zvrupdate-noimage.exe"
PROGRAM_EMPTY_IMAGE = WIN32_BUILD / "src" / "win32" / "zvrupdate-emptyimage.exe"
DLGDRIVER = WIN32_BUILD / "tools" / "dlgdriver" / "dlgdriver.exe"
NETPROBE = WIN32_BUILD / "tools" / "dlgdriver" / "netprobe.exe"

# Message 5: the dialog's caption and the caption of every message box.
APP_CAPTION = "ネトリアファームウェア更新ユーティリティ"

SCREEN = "1024x768x24"
# Generous: a loaded CI machine runs Wine slowly. Conditions are polled, so
# a fast machine never waits this long.
DEADLINE_S = 60.0
POLL_S = 0.2
# Caption buttons are drawn with Marlett; Debian's Wine finds it only in the
# prefix's own font folder.
WINE_FONTS = Path("/usr/share/wine/fonts")
PREFIX_FONTS = ("marlett.ttf",)


def windows_path(path: Path) -> str:
    """The path as Wine's Z: drive (the Unix root) shows it."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def wait_until(condition, what: str, deadline_s: float = DEADLINE_S, poll_s: float = POLL_S):
    """Polls `condition` until it returns something truthy, and returns that;
    fails with `what` and the last value seen when the deadline passes."""
    end = time.monotonic() + deadline_s
    last = None
    while True:
        last = condition()
        if last:
            return last
        if time.monotonic() > end:
            raise AssertionError(f"timed out after {deadline_s:.0f} s waiting for {what}; last seen: {last!r}")
        time.sleep(poll_s)


def _kill_group(proc: subprocess.Popen) -> None:
    if proc.poll() is not None:
        return
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    proc.wait()


class Display:
    """An Xvfb server on a display number it picks itself (-displayfd), or,
    given a name, a display that is already there (the demo's screen)."""

    def __init__(self, screen: str = SCREEN, name: str | None = None):
        self.proc = None
        if name:
            self.name = name
            return
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", screen, "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(write_end)
        with os.fdopen(read_end) as announced:
            number = announced.readline().strip()
        if not number:
            _kill_group(self.proc)
            raise RuntimeError("Xvfb did not start")
        self.name = f":{number}"

    def screenshot(self, path: Path) -> Path:
        dump = path.with_suffix(".xwd")
        subprocess.run(["xwd", "-root", "-silent", "-display", self.name, "-out", str(dump)], check=True)
        subprocess.run(["convert", f"xwd:{dump}", str(path)], check=True)
        dump.unlink()
        return path

    def close(self) -> None:
        if self.proc is not None:
            _kill_group(self.proc)


class WineRun:
    """One test run's Wine: the display and the template prefix. `display`
    names a display to use instead of a fresh Xvfb."""

    def __init__(self, display: str | None = None) -> None:
        for exe in (PROGRAM, PROGRAM_NO_IMAGE, PROGRAM_EMPTY_IMAGE, DLGDRIVER, NETPROBE):
            if not exe.is_file():
                raise RuntimeError(f"{exe} is missing: build the win32 preset first")
        self.work = Path(tempfile.mkdtemp(prefix="zvr-e2e-"))
        self.display = Display(name=display)
        self.template = self.work / "template"
        try:
            started = time.monotonic()
            self._make_template()
            self.template_seconds = time.monotonic() - started
        except BaseException:
            self.close()
            raise

    def environment(self, prefix: Path) -> dict[str, str]:
        env = dict(os.environ)
        env.update({
            "WINEPREFIX": str(prefix),
            "DISPLAY": self.display.name,
            "LANG": "ja_JP.UTF-8",
            "LC_ALL": "ja_JP.UTF-8",
            "WINEDEBUG": "-all",
            # Never stop to offer the Mono or Gecko installer.
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
        })
        return env

    def _make_template(self) -> None:
        # Even the template's wineserver runs in a namespace of its own.
        with NetLab(tag=f"t{os.getpid() % 100000}") as lab:
            env = self.environment(self.template)
            log = self.work / "template.log"
            with open(log, "wb") as out:
                def wine(*argv: str) -> None:
                    lab.run(lab.pc, list(argv), env=env, stdout=out, stderr=out, check=True, timeout=300)

                wine("wineboot", "-i")
                # Without a window manager Wine stalls about 2 s whenever a
                # window is hidden, unless it manages and decorates nothing.
                for value in ("Managed", "Decorated"):
                    wine("wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", value, "/d", "N", "/f")
                wine("wineserver", "-w")
        fonts = self.template / "drive_c" / "windows" / "Fonts"
        for name in PREFIX_FONTS:
            shutil.copy2(WINE_FONTS / name, fonts / name)

    def close(self) -> None:
        self.display.close()
        shutil.rmtree(self.work, ignore_errors=True)


class WineCase:
    """One test case: a fresh copy of the template prefix, a NetLab, the
    processes started for the case, and what to keep when it fails."""

    def __init__(self, run: WineRun, name: str, lab: NetLab):
        self.run = run
        self.name = name
        self.lab = lab
        self.dir = Path(tempfile.mkdtemp(prefix="case-", dir=run.work))
        self.prefix = self.dir / "prefix"
        # The large DLL tree is linked, not copied.
        shutil.copytree(run.template, self.prefix, symlinks=True, copy_function=_link_or_copy)
        self.env = run.environment(self.prefix)
        self.artifacts = self.dir / "artifacts"
        self.artifacts.mkdir()
        self._programs: list[subprocess.Popen] = []
        self._driver_calls = 0

    # -- Wine processes ------------------------------------------------------

    def wine_command(self, argv: list[str], log_name: str, timeout: float = DEADLINE_S) -> int:
        """Runs a Wine command in the pc namespace to its end; returns its exit code."""
        with open(self.artifacts / f"{log_name}.log", "ab") as out:
            done = self.lab.run(self.lab.pc, argv, env=self.env, stdout=out, stderr=out, timeout=timeout)
        return done.returncode

    def set_registry(self, key: str, name: str, value: str) -> None:
        code = self.wine_command(["wine", "reg", "add", key, "/v", name, "/d", value, "/f"], "registry")
        if code != 0:
            raise RuntimeError(f"reg add {key} {name} failed with {code}")

    def start(self, exe: Path, label: str = "program") -> subprocess.Popen:
        """Starts a Windows program in the pc namespace; output goes to files."""
        out = open(self.artifacts / f"{label}.log", "ab")
        proc = self.lab.popen(self.lab.pc, ["wine", str(exe)], env=self.env, stdout=out, stderr=out,
                              stdin=subprocess.DEVNULL)
        out.close()
        self._programs.append(proc)
        return proc

    def exit_code(self, proc: subprocess.Popen, deadline_s: float = DEADLINE_S) -> int:
        try:
            return proc.wait(timeout=deadline_s)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"program still running after {deadline_s:.0f} s") from None

    def driver(self, command: str, *args: str | int) -> dict:
        """Runs one dlgdriver command and returns its JSON report."""
        self._driver_calls += 1
        report = self.dir / f"driver-{self._driver_calls}.json"
        argv = ["wine", str(DLGDRIVER), windows_path(report), command] + [str(a) for a in args]
        self.wine_command(argv, "dlgdriver")
        if not report.is_file():
            raise RuntimeError(f"dlgdriver {command} wrote no report")
        return json.loads(report.read_text(encoding="utf-8"))

    def snapshot(self) -> dict:
        return self.driver("snapshot", APP_CAPTION)

    def wait_for_dialog(self, deadline_s: float = DEADLINE_S) -> dict:
        """The snapshot in which the dialog is shown."""
        def shown():
            dialog = self.snapshot()["dialog"]
            return dialog if dialog is not None and dialog["visible"] else None

        return wait_until(shown, "the dialog", deadline_s)

    def wait_for_message_box(self, deadline_s: float = DEADLINE_S) -> dict:
        return wait_until(lambda: self.snapshot()["message_boxes"], "a message box", deadline_s)[0]

    def press(self, control_id: int) -> None:
        report = self.driver("press", APP_CAPTION, control_id)
        if not report["ok"]:
            raise AssertionError(f"cannot press {control_id}: {report['error']}")

    def select(self, line: int) -> None:
        """Selects a router line as a click does (LBN_SELCHANGE follows)."""
        report = self.driver("select", APP_CAPTION, line)
        if not report["ok"]:
            raise AssertionError(f"cannot select line {line}: {report['error']}")

    def set_text(self, control_id: int, text: str) -> None:
        report = self.driver("set-text", APP_CAPTION, control_id, text)
        if not report["ok"]:
            raise AssertionError(f"cannot set the text of {control_id}: {report['error']}")

    def answer(self, answer: str) -> None:
        report = self.driver("answer", APP_CAPTION, answer)
        if not report["ok"]:
            raise AssertionError(f"cannot answer {answer}: {report['error']}")

    # -- evidence ------------------------------------------------------------

    def screenshot(self, name: str) -> Path:
        return self.run.display.screenshot(self.artifacts / f"{name}.png")

    def keep_evidence(self) -> Path:
        """Copies screenshots, driver reports and logs to the build tree."""
        try:
            self.screenshot("at-failure")
        except (subprocess.CalledProcessError, OSError):
            pass
        target = ARTIFACTS / self.name
        shutil.rmtree(target, ignore_errors=True)
        shutil.copytree(self.artifacts, target)
        for report in self.dir.glob("driver-*.json"):
            shutil.copy2(report, target / report.name)
        return target

    def close(self) -> None:
        # The prefix's wineserver and everything it started, then our own pids.
        try:
            self.wine_command(["wineserver", "-k"], "wineserver", timeout=30)
        except subprocess.TimeoutExpired:
            pass
        for proc in self._programs:
            _kill_group(proc)
        shutil.rmtree(self.dir, ignore_errors=True)


# Files Wine only ever reads; everything else (registry, win.ini, the
# users' folders) may be rewritten in place and is copied.
_READ_ONLY_SUFFIXES = {".dll", ".exe", ".drv", ".sys", ".acm", ".ocx", ".cpl", ".tlb", ".nls", ".fon", ".ttf"}


def _link_or_copy(source: str, target: str) -> None:
    if Path(source).suffix.lower() in _READ_ONLY_SUFFIXES:
        os.link(source, target)
    else:
        shutil.copy2(source, target)


class WineTestCase(unittest.TestCase):
    """A test class whose cases each get a NetLab and a fresh prefix, all
    sharing one display and one template prefix. `self.wine` is the case."""

    run_env: WineRun

    @classmethod
    def setUpClass(cls) -> None:
        cls.run_env = WineRun()
        print(f"\ntemplate prefix made in {cls.run_env.template_seconds:.1f} s", flush=True)

    @classmethod
    def tearDownClass(cls) -> None:
        cls.run_env.close()

    def setUp(self) -> None:
        self.lab = NetLab()
        self.lab.up()
        self.addCleanup(self.lab.down)
        self.wine = WineCase(self.run_env, self.id().split(".", 1)[-1], self.lab)
        self.addCleanup(self._end_case)

    def _failed(self) -> bool:
        # Cleanups run with the outcome's success flag reset, so ask the result.
        result = getattr(self._outcome, "result", None)
        if result is None:
            return True
        return any(test is self or getattr(test, "test_case", None) is self
                   for test, _ in result.failures + result.errors)

    def _end_case(self) -> None:
        if self._failed():
            kept = self.wine.keep_evidence()
            print(f"\nevidence of {self.id()} kept in {kept}", flush=True)
        self.wine.close()
