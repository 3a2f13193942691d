"""One live session of the program against simulated routers, driven the way an
operator drives it: the shared driver of the end-to-end scenarios and the demo.

A `Session` brings up a `NetLab` with one router address per simulated router,
starts router-sim with the scenario in the router namespace, starts the program
under Wine in the pc namespace with a fresh prefix, waits for the dialog, and
records every text the dialog's controls are given (tools/dlgdriver's textrec:
a hook in the program's thread, so that a status text that stands for a
millisecond is seen too). It then offers the operator's steps and the evidence:

    with Session(run, "whole-update", {"home": plain_router(password="pw")}) as s:
        s.wait_status(message(3, 1))              # "1台のネトリアが見つかりました。"
        mark = s.mark()
        s.start_update("home", "pw")              # select, type, 実行, はい
        s.wait_status(message(27), since=mark)
        s.status_texts(since=mark)                # messages 31, 18, 15, 19, 15, 21, 27
        s.images()[-1]["sha256"] == firmware_sha256()

Texts come from resources/strings.rc through resources/catalogue.py, composed by
`message` as the program's own formatter composes them. Times are seconds of
`time.monotonic()`, the clock of the simulator's log, for the recorded texts too.

Teardown (`close`, or the end of the `with` block) ends the program and its
wineserver, stops the simulator (which must end cleanly), and removes the
namespaces. `SessionTestCase` gives each test a session whose files stay in
build/host/e2e-artifacts/<test>/ when the test fails.

`slow_link` shapes the link for a transfer that lasts. The API is kept small
on purpose: scenarios that need more reach the parts directly: `lab` (NetLab: `socket`, `run`, `popen`), `sim` (Simulator: `of`,
`wait_for`, `stop`) and `wine` (WineCase: `driver`, `snapshot`)."""
from __future__ import annotations

import collections
import hashlib
import json
import re
import shutil
import subprocess
import sys
import time
import unittest
from dataclasses import dataclass
from pathlib import Path

from .netlab import NetLab
from .simulator import Routers, Simulator, artifacts_dir
from .winenv import (APP_CAPTION, DEADLINE_S, PROGRAM, WIN32_BUILD, SOURCE_DIR, WineCase, WineRun, wait_until,
                     windows_path)

sys.path.insert(0, str(SOURCE_DIR / "resources"))
from catalogue import read_catalogue  # noqa: E402

TEXTREC = WIN32_BUILD / "tools" / "dlgdriver" / "textrec.exe"
FIRMWARE = WIN32_BUILD / "resources" / "firmware.bin"

# How far the recorder's stamps may stray from the moments they stand for.
CLOCK_TOLERANCE_S = 0.05

# The largest TCP send buffer on a slow link (Session.slow_link).
SLOW_LINK_SEND_BUFFER = 64 * 1024

# Controls (src/ui/ResourceIds.h).
IDOK = 1
IDC_DEVICE_LIST, IDC_RESEARCH, IDC_PASSWORD, IDC_INFO_TEXT = 1008, 1009, 1010, 1018

# Catalogue texts by message number, as the program loads them.
CATALOGUE: dict[int, str] = read_catalogue(str(SOURCE_DIR / "resources" / "strings.rc"),
                                           str(SOURCE_DIR / "src" / "ui" / "ResourceIds.h"))
MSG_CANCEL_BUTTON, MSG_RESEARCH_BUTTON = 1, 2


def message(number: int, *args: int | str) -> str:
    """Catalogue message `number` composed with `args` as the program composes
    it: %d a signed decimal, %s a text, %08x eight lower-case hex digits of the
    unsigned 32-bit value, in order. A composed text goes into a %s in turn:
    message(12, message(17))."""
    values = iter(args)

    def convert(match: re.Match) -> str:
        if match.group(0) == "%%":
            return "%"
        value = next(values)
        if match.group(0) == "%08x":
            return f"{value & 0xFFFFFFFF:08x}"
        return str(value)

    return re.sub(r"%%|%d|%s|%08x", convert, CATALOGUE[number])


def firmware_sha256() -> str:
    """SHA-256 of the image the program embeds, as the simulator logs it."""
    return hashlib.sha256(FIRMWARE.read_bytes()).hexdigest()


def plain_router(**keys: object) -> dict[str, object]:
    """A router of the family that takes the image and comes back updated after
    one second; `keys` add or override scenario keys (tools/router-sim/README.md)."""
    router: dict[str, object] = {
        "short_identity": "VQT-RN8",
        "long_identity": "VQT-RN8 1.02",
        "after_update.long_identity": "VQT-RN8 1.10",
        "restart_seconds": 1,
    }
    router.update(keys)
    return router


@dataclass(frozen=True)
class ControlText:
    """One text a control was given, or had when the recorder hooked the
    dialog: `index` is its place among the texts of that control (for the
    status text, the place `mark` and `since` count), `t` monotonic seconds."""
    index: int
    t: float
    control: int
    text: str


class Session:
    """The program, its simulated routers and their network; see the module's
    docstring. Make it, then `start()` it or use it as a context manager."""

    def __init__(self, run: WineRun, name: str, routers: Routers | None = None, *, workdir: Path | None = None,
                 scenario_file: Path | None = None, router_count: int | None = None):
        """`routers`: {label: scenario keys}; `mac` and `address` are filled in
        from the router's place when absent (00:80:6d:00:00:01 on 192.168.11.10,
        then :02 on .11, ...). Or `scenario_file` with `router_count` addresses.
        `workdir` receives the simulator's files, the texts and the screenshots.
        The session's `routers` holds the keys as played, addresses included."""
        self.run = run
        self.name = name
        self.workdir = workdir or artifacts_dir(name)
        self.routers = {label: dict(keys) for label, keys in (routers or {}).items()}
        self.scenario_file = scenario_file
        self.router_count = router_count if router_count is not None else max(len(self.routers), 1)
        self.lab = NetLab()
        self.sim: Simulator | None = None
        self.wine: WineCase | None = None
        self.program: subprocess.Popen | None = None
        self._texts_path = self.workdir / "texts.jsonl"
        self._texts: list[ControlText] = []
        self._texts_read = 0
        self._per_control: collections.Counter[int] = collections.Counter()
        self._clock_offset = 0.0
        self._shots = 0
        self._default_tcp_wmem = ""

    # -- lifecycle -----------------------------------------------------------

    def __enter__(self) -> "Session":
        return self.start()

    def __exit__(self, *exc) -> None:
        self.close(keep_evidence=exc[0] is not None)

    def start(self) -> "Session":
        """Network, simulator, program, dialog, recorder; returns once the
        recorder hears the dialog. On failure everything made is torn down."""
        if not TEXTREC.is_file():
            raise RuntimeError(f"{TEXTREC} is missing: build the win32 preset first")
        try:
            self.lab.up(router_count=self.router_count)
            for place, keys in enumerate(self.routers.values()):
                keys.setdefault("mac", f"00:80:6d:00:00:{place + 1:02x}")
                keys.setdefault("address", self.lab.router_addresses[place])
            sim_dir = self.workdir / "sim"
            # A workdir used before must not lend its old log to this run.
            for stale in (sim_dir, self.workdir / "shots"):
                shutil.rmtree(stale, ignore_errors=True)
            sim_dir.mkdir(parents=True)
            self.sim = Simulator(self.lab, self.routers, sim_dir, self.scenario_file).start()
            self.wine = WineCase(self.run, self.name, self.lab)
            self.program = self.wine.start(PROGRAM)
            self._start_recorder()
        except BaseException:
            self.close(keep_evidence=True)
            raise
        return self

    def _start_recorder(self) -> None:
        # The recorder stamps texts with the wall clock; they are moved onto
        # time.monotonic(), the simulator log's clock. The two differ by a
        # constant while nobody sets the system time.
        self._clock_offset = time.monotonic() - time.time()
        self._texts_path.unlink(missing_ok=True)
        log = open(self.workdir / "textrec.log", "ab")
        self.lab.popen(self.lab.pc, ["wine", str(TEXTREC), windows_path(self._texts_path), APP_CAPTION],
                       env=self.wine.env, stdout=log, stderr=log, stdin=subprocess.DEVNULL)
        log.close()
        started = time.monotonic()
        # Once hooked, the recorder writes every control's text of the moment.
        first = wait_until(lambda: self._status_records() and self._status_records()[0],
                           "the text recorder to hook the dialog")
        if not started - CLOCK_TOLERANCE_S <= first.t <= time.monotonic() + CLOCK_TOLERANCE_S:
            raise AssertionError(f"the recorder's stamp {first.t:.3f} is not between {started:.3f} and now")

    def close(self, keep_evidence: bool = False) -> None:
        """Ends everything. With `keep_evidence`, a last screenshot and Wine's
        logs go into the workdir first."""
        if self.wine is not None:
            if keep_evidence:
                try:
                    self.screenshot("at-failure")
                except (subprocess.CalledProcessError, OSError):
                    pass
                shutil.copytree(self.wine.artifacts, self.workdir / "wine", dirs_exist_ok=True)
            self.wine.close()
            self.wine = None
        try:
            if self.sim is not None:
                code = self.sim.stop()
                if code != 0 and not keep_evidence:
                    raise AssertionError(f"router-sim ended with {code}; log in {self.sim.log_path}")
        finally:
            self.lab.down()

    # -- what the dialog shows -----------------------------------------------

    def snapshot(self) -> dict:
        """The dialog as dlgdriver reads it (controls, list, progress), with the
        open message boxes under "message_boxes"."""
        snapshot = self.wine.snapshot()
        if snapshot["dialog"] is None:
            raise AssertionError("the dialog is not open")
        return snapshot

    def controls(self) -> dict[int, dict]:
        return {c["id"]: c for c in self.snapshot()["dialog"]["controls"]}

    def lines(self) -> list[str]:
        """The router list's lines, top to bottom."""
        return self.snapshot()["dialog"]["list"]["lines"]

    def progress(self) -> dict[str, int]:
        """The progress bar: {"low", "high", "pos"}."""
        return self.snapshot()["dialog"]["progress"]

    def texts(self, control: int | None = None) -> list[ControlText]:
        """Every text given to a control of the dialog (or to `control`), in order."""
        self._read_texts()
        return [t for t in self._texts if control is None or t.control == control]

    def status_texts(self, since: int = 0) -> list[str]:
        """The status texts shown, from the one standing when the recorder
        hooked the dialog (the dialog's first) on; from position `since` on."""
        return [t.text for t in self._status_records()[since:]]

    def status(self) -> str:
        """The status text standing now."""
        return self._status_records()[-1].text

    def mark(self) -> int:
        """The position the next status text will take: pass it as `since`."""
        return len(self._status_records())

    def wait_status(self, text: str, since: int = 0, deadline_s: float = DEADLINE_S) -> ControlText:
        """Waits until the status text `text` has been shown at position `since`
        or later, however briefly; returns that showing."""
        def shown():
            return next((t for t in self._status_records()[since:] if t.text == text), None)

        return wait_until(shown, f"the status text {text!r} (shown since: {self.status_texts(since)!r})",
                          deadline_s)

    def wait_inputs(self, enabled: bool = True, deadline_s: float = DEADLINE_S) -> dict:
        """Waits until the inputs are enabled (実行 takes clicks and the
        re-search button reads 再検索) or disabled (it reads キャンセル);
        returns the dialog's snapshot."""
        button = message(MSG_RESEARCH_BUTTON if enabled else MSG_CANCEL_BUTTON)

        def reached():
            dialog = self.snapshot()["dialog"]
            by_id = {c["id"]: c for c in dialog["controls"]}
            ok = by_id[IDOK]["enabled"] == enabled and by_id[IDC_RESEARCH]["text"] == button
            return dialog if ok else None

        return wait_until(reached, f"the inputs to be {'enabled' if enabled else 'disabled'}", deadline_s)

    # -- the operator's steps ------------------------------------------------

    def select(self, line: int | str) -> None:
        """Selects a router line by number or by its text, as a click does."""
        if isinstance(line, str):
            line = self.lines().index(line)
        self.wine.select(line)

    def type_password(self, text: str) -> None:
        self.wine.set_text(IDC_PASSWORD, text)

    def press_ok(self) -> dict:
        """Presses 実行 and waits for the question box; returns it ("message",
        "buttons", ...)."""
        self.wine.press(IDOK)
        return self.wine.wait_for_message_box()

    def answer(self, choice: str) -> None:
        """Answers the open question box: "yes" or "no"."""
        self.wine.answer(choice)
        wait_until(lambda: not self.snapshot()["message_boxes"], "the question box to close")

    def start_update(self, line: int | str, password: str, answer: str = "yes") -> str:
        """Selects the router, types the password, presses 実行 and answers the
        question; returns the question's text."""
        self.select(line)
        self.type_password(password)
        question = self.press_ok()["message"]
        self.answer(answer)
        return question

    def press_research(self) -> None:
        """Presses the re-search button, whichever it reads."""
        self.wine.press(IDC_RESEARCH)

    def cancel(self) -> None:
        """Presses the re-search button once it reads キャンセル (as recorded,
        so that no snapshot delays the press). The recorder writes each text
        a moment after the program set it, so its latest line is waited for."""
        wait_until(lambda: self.texts(IDC_RESEARCH)[-1].text == message(MSG_CANCEL_BUTTON),
                   "the re-search button to read キャンセル")
        self.press_research()

    # -- the link ------------------------------------------------------------

    def slow_link(self, rate: str | None) -> None:
        """Shapes the pc's sending side to `rate` (tc tbf: "1mbit"), and gives
        TCP connections made from now on a send buffer of at most 64 KB, near
        what the program's platform had: the image then waits in the program,
        block by block, rather than in the kernel, and what is on its way when
        the sending stops arrives soon. None undoes both."""
        if rate is None:
            self.lab.unshape()
            self._set_pc_sysctl("net.ipv4.tcp_wmem", self._default_tcp_wmem)
            return
        self._default_tcp_wmem = self._default_tcp_wmem or self._pc_sysctl("net.ipv4.tcp_wmem")
        self._set_pc_sysctl("net.ipv4.tcp_wmem", f"4096 16384 {SLOW_LINK_SEND_BUFFER}")
        self.lab.shape(rate)

    def _pc_sysctl(self, name: str) -> str:
        done = self.lab.run(self.lab.pc, ["sysctl", "-n", name], capture_output=True, text=True, check=True)
        return done.stdout.strip()

    def _set_pc_sysctl(self, name: str, value: str) -> None:
        self.lab.run(self.lab.pc, ["sysctl", "-qw", f"{name}={value}"], check=True)

    # -- the simulator's side ------------------------------------------------

    def events(self, event: str, **fields) -> list[dict]:
        """The simulator's logged events of one name with these field values."""
        return self.sim.of(event, **fields)

    def wait_event(self, event: str, count: int = 1, deadline_s: float = DEADLINE_S, **fields) -> list[dict]:
        """Waits until `count` such events are logged; returns them all."""
        return self.sim.wait_for(lambda e: e["event"] == event and all(e.get(k) == v for k, v in fields.items()),
                                 count, deadline_s, what=f"{count} {event} {fields}")

    def images(self, router: str | None = None) -> list[dict]:
        """The image files the simulator saved ("size", "sha256", "path", ...)."""
        return self.events("image", **({"router": router} if router else {}))

    @property
    def station_mac(self) -> bytes:
        """The pc veth's hardware address: the program's StationIdentity."""
        return bytes.fromhex(self.lab.hardware_address(self.lab.pc).replace(":", ""))

    # -- evidence ------------------------------------------------------------

    def screenshot(self, stage: str) -> Path:
        """The whole screen as workdir/shots/NN-stage.png."""
        self._shots += 1
        folder = self.workdir / "shots"
        folder.mkdir(exist_ok=True)
        return self.run.display.screenshot(folder / f"{self._shots:02d}-{stage}.png")

    # -- internals -----------------------------------------------------------

    def _status_records(self) -> list[ControlText]:
        return self.texts(IDC_INFO_TEXT)

    def _read_texts(self) -> list[ControlText]:
        if not self._texts_path.exists():
            return self._texts
        with self._texts_path.open("rb") as f:
            f.seek(self._texts_read)
            chunk = f.read()
        complete = chunk[:chunk.rfind(b"\n") + 1]
        self._texts_read += len(complete)
        for line in complete.splitlines():
            record = json.loads(line)
            control = record["id"]
            self._texts.append(ControlText(self._per_control[control], record["t"] + self._clock_offset, control,
                                           record["text"]))
            self._per_control[control] += 1
        return self._texts


class SessionTestCase(unittest.TestCase):
    """Test cases that each open sessions on one shared WineRun (display and
    template prefix). A failing test's files stay in the artifacts folder."""

    run_env: WineRun

    @classmethod
    def setUpClass(cls) -> None:
        cls.run_env = WineRun()

    @classmethod
    def tearDownClass(cls) -> None:
        cls.run_env.close()

    def open_session(self, routers: Routers, **kwargs) -> Session:
        """A started session, closed when the test ends."""
        name = self.id().split(".", 1)[-1]
        session = Session(self.run_env, name, routers, workdir=artifacts_dir(self.id()), **kwargs)
        self.addCleanup(self._close_session, session)
        return session.start()

    def _close_session(self, session: Session) -> None:
        failed = self._failed()
        session.close(keep_evidence=failed)
        if failed:
            print(f"\nevidence of {self.id()} kept in {session.workdir}", flush=True)
        else:
            shutil.rmtree(session.workdir, ignore_errors=True)

    def _failed(self) -> bool:
        # Cleanups run with the outcome's success flag reset, so ask the result.
        result = getattr(self._outcome, "result", None)
        if result is None:
            return True
        return any(test is self or getattr(test, "test_case", None) is self
                   for test, _ in result.failures + result.errors)
