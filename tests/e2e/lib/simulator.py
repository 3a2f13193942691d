"""The simulated routers (tools/router-sim) for end-to-end tests: write a scenario,
start the simulator in the router namespace, follow its log, stop it cleanly, and
keep its files under the build tree when a test fails."""
from __future__ import annotations

import contextlib
import json
import os
import re
import shutil
import signal
import subprocess
import time
import unittest
from pathlib import Path
from typing import Callable, Iterator

from .netlab import NetLab

REPO = Path(__file__).resolve().parents[3]
ROUTER_SIM = Path(os.environ.get("ROUTER_SIM", REPO / "build/host/tools/router-sim/router-sim"))
ARTIFACTS = Path(os.environ.get("E2E_ARTIFACTS", REPO / "build/host/e2e-artifacts"))

DEADLINE_S = 20.0  # generous: a loaded machine is slow, a working simulator is quick

Event = dict
Routers = dict[str, dict[str, object]]


def scenario_text(routers: Routers) -> str:
    """The INI text for {label: {key: value}}: strings and bytes are quoted, lists
    are joined with spaces, numbers written as they are."""
    lines = []
    for label, keys in routers.items():
        lines.append(f"[router {label}]")
        lines += [f"{key} = {_value(value)}" for key, value in keys.items()]
        lines.append("")
    return "\n".join(lines)


def _value(value: object) -> str:
    if isinstance(value, (list, tuple)):
        return " ".join(_value(v) for v in value)
    if isinstance(value, str):
        value = value.encode("latin-1")
    if isinstance(value, bytes):
        body = "".join(chr(b) if 0x20 <= b < 0x7F and b not in b'"\\' else f"\\x{b:02x}" for b in value)
        return f'"{body}"'
    return str(value)


def artifacts_dir(test_id: str) -> Path:
    """A fresh folder for one test's files under the build tree."""
    path = ARTIFACTS / re.sub(r"[^A-Za-z0-9_.-]", "_", test_id)
    shutil.rmtree(path, ignore_errors=True)
    path.mkdir(parents=True)
    return path


class Simulator:
    """One run of router-sim in the lab's router namespace."""

    def __init__(self, lab: NetLab, routers: Routers, workdir: Path, scenario_file: Path | None = None):
        """Plays `routers`, or the scenario file given instead."""
        self.lab = lab
        self.routers = routers
        self.workdir = workdir
        self.scenario = scenario_file or workdir / "scenario.ini"
        self.log_path = workdir / "sim.log"
        self.stderr_path = workdir / "sim.stderr"
        self.process: subprocess.Popen | None = None
        self.events: list[Event] = []
        self._read_offset = 0
        self._partial = b""

    def start(self) -> "Simulator":
        if self.routers:
            self.scenario.write_text(scenario_text(self.routers))
        with self.stderr_path.open("wb") as stderr:
            self.process = self.lab.popen(
                self.lab.router,
                [str(ROUTER_SIM), str(self.scenario), "--log", str(self.log_path), "--image-dir", str(self.workdir)],
                stdout=subprocess.DEVNULL, stderr=stderr)
        self.wait_for(lambda e: e["event"] == "ready", what="the simulator to be ready")
        return self

    def stop(self) -> int:
        """SIGTERM, then the exit code; the log ends with its "stop" line."""
        if self.process is None or self.process.poll() is not None:
            return self.process.returncode if self.process else 0
        self.process.send_signal(signal.SIGTERM)
        code = self.process.wait(timeout=DEADLINE_S)
        self.poll()
        return code

    def poll(self) -> list[Event]:
        """Reads the lines written since the last call; returns them."""
        if not self.log_path.exists():
            return []
        with self.log_path.open("rb") as f:
            f.seek(self._read_offset)
            chunk = f.read()
        self._read_offset += len(chunk)
        data = self._partial + chunk
        *lines, self._partial = data.split(b"\n")
        new = [json.loads(line) for line in lines if line]
        self.events += new
        return new

    def wait_for(self, match: Callable[[Event], bool], count: int = 1, deadline_s: float = DEADLINE_S,
                 what: str = "") -> list[Event]:
        """Waits until `count` logged events match; returns them all."""
        end = time.monotonic() + deadline_s
        while True:
            self.poll()
            found = [e for e in self.events if match(e)]
            if len(found) >= count:
                return found
            if self.process is not None and self.process.poll() is not None:
                raise AssertionError(f"router-sim ended with {self.process.returncode} while waiting for "
                                     f"{what or 'an event'}: {self.stderr_path.read_text().strip()}")
            if time.monotonic() > end:
                raise AssertionError(f"no {count} event(s) for {what or 'the condition'} within {deadline_s} s; "
                                     f"log in {self.log_path}")
            time.sleep(0.01)

    def of(self, event: str, **fields) -> list[Event]:
        """The events so far of one name whose fields have the given values."""
        self.poll()
        return [e for e in self.events if e["event"] == event and all(e.get(k) == v for k, v in fields.items())]


def run_simulator_expecting_failure(lab: NetLab, scenario: str, workdir: Path) -> subprocess.CompletedProcess:
    """Runs router-sim on a scenario text that it must refuse; returns how it ended."""
    path = workdir / "bad.ini"
    path.write_text(scenario)
    return lab.run(lab.router, [str(ROUTER_SIM), str(path), "--log", str(workdir / "bad.log")],
                   capture_output=True, text=True, timeout=DEADLINE_S)


class SimulatorTestCase(unittest.TestCase):
    """One NetLab for the class, a fresh simulator per test. A test's files stay in
    build/host/e2e-artifacts/<test>/ when it fails and are removed when it passes."""

    ROUTER_ADDRESSES = 2
    lab: NetLab

    @classmethod
    def setUpClass(cls) -> None:
        if os.geteuid() != 0:
            raise unittest.SkipTest("needs root for ip netns")
        if not ROUTER_SIM.exists():
            raise AssertionError(f"{ROUTER_SIM} is not built")
        cls.lab = NetLab()
        cls.lab.up(router_count=cls.ROUTER_ADDRESSES)

    @classmethod
    def tearDownClass(cls) -> None:
        cls.lab.down()

    def setUp(self) -> None:
        self.workdir = artifacts_dir(self.id())

    def start_simulator(self, routers: Routers, scenario_file: Path | None = None) -> Simulator:
        """A simulator with its own folder; it is stopped, and must end cleanly, when
        the test ends, or earlier by stop_simulator."""
        self._simulators = getattr(self, "_simulators", 0) + 1
        workdir = self.workdir / f"sim-{self._simulators}"
        workdir.mkdir()
        sim = Simulator(self.lab, routers, workdir, scenario_file)
        self.addCleanup(self.stop_simulator, sim)
        return sim.start()

    @contextlib.contextmanager
    def running(self, routers: Routers) -> Iterator[Simulator]:
        """A simulator for one block, say one row of a table; it is stopped when the
        block ends, so that a failed row does not hold the ports for the next."""
        sim = self.start_simulator(routers)
        try:
            yield sim
        except BaseException:
            sim.stop()
            raise
        self.stop_simulator(sim)

    def stop_simulator(self, sim: Simulator) -> None:
        self.assertEqual(sim.stop(), 0, "router-sim did not end cleanly on SIGTERM")
        self.assertEqual(sim.events[-1]["event"], "stop")

    def run(self, result: unittest.TestResult | None = None):
        problems = (lambda r: len(r.failures) + len(r.errors)) if result is not None else (lambda r: 0)
        before = problems(result)
        outcome = super().run(result)
        if result is not None and problems(result) == before and hasattr(self, "workdir"):
            shutil.rmtree(self.workdir, ignore_errors=True)
        return outcome


def router_keys(lab: NetLab, index: int, extra: dict[str, object] | None = None) -> dict[str, object]:
    """A plain updatable router on the lab's index-th router address; `extra` adds or overrides keys."""
    keys: dict[str, object] = {
        "mac": f"00:80:6d:00:00:{index + 1:02x}",
        "address": lab.router_addresses[index],
        "short_identity": "VQT-RN8",
        "restart_seconds": 0.3,
    }
    keys.update(extra or {})
    return keys
