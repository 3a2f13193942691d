"""A long run: twenty updates in one run of the program, a success between any
two failures, each failure along another road an update can take, each road
played by its own simulated router.
Each ends in its own messages with the inputs back, and the process's
handles, windows and memory stay where they were after the first two."""
import sys
import time
import unittest
from dataclasses import dataclass
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from lib.process_counters import read_counters
from lib.session import IDC_DEVICE_LIST, SessionTestCase, firmware_sha256, message, plain_router
from lib.winenv import wait_until

PASSWORD = "pw"
# Beyond the first blocks and well before the end of the 798,968 bytes.
MID_IMAGE = 200_000
# A router for each road; "good" also takes the wrong password, and
# "stalling" also the operator's cancel.
ROUTERS = {
    "good": plain_router(),
    "refusing": plain_router(tcp="refuse"),
    "unfit": plain_router(**{"status.update": "failed"}),
    "erring": plain_router(**{"status.update": 0x1234}),
    "failing": plain_router(**{"status.status": "failed"}),
    "odd": plain_router(**{"status.status": 7}),
    "stalling": plain_router(tcp=f"stall_after {MID_IMAGE}"),
    "closing": plain_router(tcp=f"close_after {MID_IMAGE}"),
    "renamed": plain_router(**{"after_update.long_identity": "VQT-RN8 9.99"}),
}
for _keys in ROUTERS.values():
    _keys["password"] = PASSWORD

NO_COMMUNICATION = message(12, message(17))
PREPARED = [message(18), message(15), message(19), message(15)]  # up to the first block


@dataclass(frozen=True)
class Road:
    name: str
    router: str
    statuses: list[str]  # every status text from the operator's Yes on
    password: str = PASSWORD
    cancel_when_stalled: bool = False
    image_whole: bool = False


SUCCESS = Road("success", "good", PREPARED + [message(21), message(27)], image_whole=True)
FAILURES = [
    Road("wrong password", "good", [message(18), message(13)], password="wrong"),
    Road("connection refused", "refusing", [message(18), message(15), message(19), NO_COMMUNICATION]),
    Road("image refused", "unfit", [message(18), message(33)]),
    Road("router's error code", "erring", [message(18), message(14, 0x1234)]),
    Road("STATUS_FAILED after the image", "failing", PREPARED + [message(22)], image_whole=True),
    Road("status with an error code", "odd", PREPARED + [message(14, 7)], image_whole=True),
    Road("router stops reading", "stalling", PREPARED + [message(25), message(23)]),
    Road("router closes mid-image", "closing", PREPARED + [NO_COMMUNICATION]),
    Road("operator cancels the transfer", "stalling", PREPARED + [message(26), message(24)],
         cancel_when_stalled=True),
    Road("another identity after the restart", "renamed", PREPARED + [message(21), message(28)], image_whole=True),
]
ROADS = [road for failure in FAILURES for road in (SUCCESS, failure)]
assert len(ROADS) == 20

# The block time-out (10 s) and a status query's time-out (9.3 s) with room to spare.
ROAD_DEADLINE_S = 90.0
# Measured from the end of the second update on, once the first transfer
# and the first failure have been through. Each road's first use may still
# take a page or two of heap; a handle per update, or 4 kB of memory per
# update over the eighteen, would exceed these.
WARM_UP = 2
HANDLE_TOLERANCE = 2
MEMORY_TOLERANCE_BYTES = 64 * 1024


class LongRunTest(SessionTestCase):

    def take(self, s, road: Road, listed: list[str]) -> list[str]:
        """One update along the road; the status texts from the Yes on."""
        details = s.mark()
        s.select(road.router)
        wait_until(lambda: s.mark() > details, "the router's details")
        mark = s.mark()
        stalls = len(s.events("tcp_stall", router=road.router))
        s.type_password(road.password)
        s.press_ok()
        s.answer("yes")
        if road.cancel_when_stalled:
            s.wait_event("tcp_stall", count=stalls + 1, router=road.router, deadline_s=ROAD_DEADLINE_S)
            s.cancel()
        s.wait_status(road.statuses[-1], since=mark, deadline_s=ROAD_DEADLINE_S)
        dialog = s.wait_inputs(enabled=True)
        self.assertEqual(dialog["list"]["lines"], listed, "the list stays as the search made it")
        self.assertTrue({c["id"]: c for c in dialog["controls"]}[IDC_DEVICE_LIST]["enabled"])
        return s.status_texts(since=mark)

    def test_twenty_updates_in_one_run_end_each_in_its_messages_and_leak_nothing(self):
        # A router that came back from an earlier update is updated again as any other.
        s = self.open_session(ROUTERS)
        s.wait_status(message(3, len(ROUTERS)), deadline_s=ROAD_DEADLINE_S)
        s.wait_inputs(enabled=True)
        self.assertEqual(sorted(s.lines()), sorted(ROUTERS))
        listed = s.lines()
        readings = []
        for number, road in enumerate(ROADS, start=1):
            with self.subTest(update=number, road=road.name):
                images = len(s.images(road.router))
                started = time.monotonic()
                self.assertEqual(self.take(s, road, listed), road.statuses)
                seconds = time.monotonic() - started
                if road.image_whole:
                    self.assertEqual(len(s.images(road.router)), images + 1)
                    self.assertEqual(s.images(road.router)[-1]["sha256"], firmware_sha256())
            readings.append((number, road.name, seconds, read_counters(s.wine, s.lab)))

        print(f"\n{'update':>6} {'road':36} {'s':>5} {'handles':>7} {'windows':>7} {'anon kB':>8} "
              f"{'RSS kB':>8} {'fds':>4}")
        for number, name, seconds, c in readings:
            print(f"{number:>6} {name:36} {seconds:5.1f} {c.handles:>7} {c.windows:>7} "
                  f"{c.anonymous_bytes // 1024:>8} {c.working_set_bytes // 1024:>8} {c.fds:>4}", flush=True)
        warm, last = readings[WARM_UP - 1][3], readings[-1][3]
        self.assertLessEqual(last.handles - warm.handles, HANDLE_TOLERANCE, "handles grew")
        self.assertEqual(last.windows, warm.windows, "windows grew")
        self.assertLessEqual(last.fds - warm.fds, HANDLE_TOLERANCE, "file descriptors grew")
        self.assertLessEqual(last.anonymous_bytes - warm.anonymous_bytes, MEMORY_TOLERANCE_BYTES, "memory grew")


if __name__ == "__main__":
    unittest.main(verbosity=2)
