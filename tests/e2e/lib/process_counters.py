"""What the program's process holds, for the checks that it does not grow:
tools/dlgdriver/procstat under Wine, and /proc for the Wine process itself.

Wine 8 answers 0 to GetProcessHandleCount and to GetGuiResources, so the
handles are the process's entries in the system's handle table
(NtQuerySystemInformation), the USER objects are the windows the process
owns, and there is no count of GDI objects. (The HandleCount of the system's
process list is no count under Wine 8: it is the size the handle table has
grown to.) Memory is GetProcessMemoryInfo's PagefileUsage,
which Wine fills with the process's anonymous resident memory (RssAnon and
VmSwap of /proc/PID/status): the heap, without the mapped DLLs."""
from __future__ import annotations

import json
import os
from dataclasses import asdict, dataclass

from .netlab import NetLab, pids_in_namespace
from .winenv import APP_CAPTION, WIN32_BUILD, WineCase, windows_path

PROCSTAT = WIN32_BUILD / "tools" / "dlgdriver" / "procstat.exe"
PROGRAM_NAME = "zvrupdate.exe"


@dataclass(frozen=True)
class Counters:
    handles: int  # the process's entries in the system's handle table
    windows: int  # the process's windows, its USER objects
    anonymous_bytes: int  # PagefileUsage: anonymous resident memory
    working_set_bytes: int  # WorkingSetSize: VmRSS, mapped files included
    fds: int  # open file descriptors of the Wine process (sockets among them)

    def as_dict(self) -> dict[str, int]:
        return asdict(self)


def program_unix_pid(lab: NetLab) -> int:
    """The Wine process that runs the program, in the lab's pc namespace."""
    for pid in pids_in_namespace(lab.pc):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                argv0 = f.read().split(b"\0")[0]
        except FileNotFoundError:
            continue
        if argv0.decode(errors="replace").replace("\\", "/").endswith("/" + PROGRAM_NAME):
            return pid
    raise AssertionError(f"no {PROGRAM_NAME} process in {lab.pc}")


def read_counters(wine: WineCase, lab: NetLab) -> Counters:
    """One reading; fails when procstat finds no dialog or Wine gives no number."""
    report_path = wine.dir / "procstat.json"
    report_path.unlink(missing_ok=True)
    wine.wine_command(["wine", str(PROCSTAT), windows_path(report_path), APP_CAPTION], "procstat")
    report = json.loads(report_path.read_text(encoding="utf-8"))
    if not report["ok"]:
        raise AssertionError(f"procstat: {report['error']}")
    for key in ("owned_handles", "pagefile_usage", "working_set"):
        if not report[key]:
            raise AssertionError(f"procstat had no answer for {key}: {report}")
    pid = program_unix_pid(lab)
    return Counters(handles=report["owned_handles"], windows=report["windows"],
                    anonymous_bytes=report["pagefile_usage"], working_set_bytes=report["working_set"],
                    fds=len(os.listdir(f"/proc/{pid}/fd")))
