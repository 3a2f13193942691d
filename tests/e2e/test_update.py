"""The update, from the operator's 実行 to the router's return, under Wine against
simulated routers: the whole road, the extended request, the router's refusals,
the transfer's failures and the operator's cancel, and the restart's outcomes.

Roads that cannot disturb each other share one program run: each is a router of
its own, and each ends with the inputs back before the next begins. The status
texts are compared whole and in order, the brief ones (18 and 19 stand for a few
milliseconds) included: the session records every text the dialog is given."""
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from lib.session import FIRMWARE, SessionTestCase, firmware_sha256, message, plain_router
from routerclient import REQ_DISCOVER, REQ_STATUS, REQ_UPDATE, REQ_UPDATE_EXT, mac_bytes

PASSWORD = "secret"
IMAGE_SIZE = FIRMWARE.stat().st_size
EXT_VALUES = [0, 8, 0x110]  # the built-in table's valueA, kind and valueC
MID_IMAGE = 200_000  # bytes a failing router takes before it stops reading or closes

NO_COMMUNICATION = message(12, message(17))
QUESTION = message(30, "1.10")
TRANSFER = [message(18), message(15), message(19), message(15)]  # 15 at the grant, 19 connecting, 15 connected
DONE = [message(21), message(27)]


def code_of(event: dict) -> int:
    """The request code of a logged datagram."""
    return bytes.fromhex(event["hex"])[9]


class UpdateTest(SessionTestCase):

    def details(self, s, router: str) -> str:
        keys = s.routers[router]
        return message(31, keys["long_identity"], *map(int, keys["address"].split(".")))

    def update(self, s, router: str, password: str, outcome: list[str], deadline_s: float = 60) -> int:
        """One road: select the router, type, 実行, はい; waits until the inputs
        are back and checks every status text since the selection. Returns the
        mark of the road's first status text."""
        mark = s.mark()
        self.assertEqual(s.start_update(router, password), QUESTION)
        s.wait_status(outcome[-1], since=mark, deadline_s=deadline_s)
        s.wait_inputs(enabled=True)
        self.assertEqual(s.status_texts(since=mark), [self.details(s, router)] + outcome)
        return mark

    def requests_to(self, s, router: str, code: int) -> list[dict]:
        address = f"{s.routers[router]['address']}:22360"
        return [e for e in s.events("udp_in") if code_of(e) == code and e["to"] == address]

    def assert_whole_image(self, s, router: str) -> None:
        [image] = s.images(router)
        self.assertEqual((image["size"], image["sha256"]), (IMAGE_SIZE, firmware_sha256()))

    def test_authorisation_roads_and_the_whole_update(self):
        s = self.open_session({
            "home": plain_router(password=PASSWORD, image_size=IMAGE_SIZE),
            "office": plain_router(password=PASSWORD, version=0x00010003, capabilities=0x0500,
                                   ext_values=EXT_VALUES, long_identity="VQT-RN8 1.05"),
            "mismatch": plain_router(password=PASSWORD, image_size=IMAGE_SIZE - 1),
        })
        s.wait_status(message(3, 3))
        s.wait_inputs(enabled=True)

        with self.subTest(road="wrong password"):
            self.update(s, "home", "wrongpwd", [message(18), message(13)])
            [auth] = s.events("auth", router="home")
            self.assertEqual(auth["verdict"], "password does not match")

        with self.subTest(road="STATUS_FAILED to the update request"):
            self.update(s, "mismatch", PASSWORD, [message(18), message(33)])
            self.assertEqual(s.images("mismatch"), [])

        with self.subTest(road="the whole update, after the longer wrong password"):
            # The field is written whole at each 実行: the 8-byte wrong entry
            # leaves nothing behind the shorter right one.
            mark = self.update(s, "home", PASSWORD, TRANSFER + DONE)
            # Each text follows the router's act that caused it.
            granted = s.events("udp_out", router="home", what="update")[-1]
            self.assertLess(granted["t"], s.wait_status(message(15), since=mark).t)
            self.assertLess(s.wait_status(message(19), since=mark).t, s.events("tcp_accept", router="home")[0]["t"])
            self.assertLess(s.events("outcome", router="home")[0]["t"], s.wait_status(message(21), since=mark).t)
            self.assertLess(s.events("back", router="home")[0]["t"], s.wait_status(message(27), since=mark).t)
            auth = s.events("auth", router="home")[-1]
            self.assertEqual((auth["kind"], auth["size"], auth["verdict"]), ("update", IMAGE_SIZE, "granted"))
            self.assertEqual(auth["got"], auth["want"])
            self.assert_whole_image(s, "home")
            [outcome] = s.events("outcome", router="home")
            self.assertEqual(outcome["received"], IMAGE_SIZE)
            bar = s.progress()
            self.assertEqual(bar["pos"], bar["high"], "a full bar")
            self.assertGreater(bar["high"], 0)

        with self.subTest(road="DEV_EXT_UPDATE"):
            self.update(s, "office", PASSWORD, TRANSFER + DONE)
            [request] = self.requests_to(s, "office", REQ_UPDATE_EXT)
            self.assertEqual(request["len"], 56)
            self.assertEqual(self.requests_to(s, "office", REQ_UPDATE), [])
            [auth] = s.events("auth", router="office")
            self.assertEqual((auth["kind"], auth["ext"], auth["verdict"]), ("update_ext", EXT_VALUES, "granted"))
            self.assert_whole_image(s, "office")

    def test_transfer_failures_and_the_operators_cancel(self):
        s = self.open_session({
            "refusing": plain_router(password=PASSWORD, tcp="refuse"),
            "closing": plain_router(password=PASSWORD, tcp=f"close_after {MID_IMAGE}"),
            "stalling": plain_router(password=PASSWORD, tcp=f"stall_after {MID_IMAGE}"),
            "slow": plain_router(password=PASSWORD),
        })
        s.wait_status(message(3, 4))
        s.wait_inputs(enabled=True)

        with self.subTest(road="connection refused"):
            self.update(s, "refusing", PASSWORD, TRANSFER[:3] + [NO_COMMUNICATION])
            self.assertEqual(s.events("tcp_accept", router="refusing"), [])
            self.assertEqual(self.requests_to(s, "refusing", REQ_STATUS), [])

        with self.subTest(road="the router closes mid-image"):
            self.update(s, "closing", PASSWORD, TRANSFER + [NO_COMMUNICATION])
            [closed] = s.events("tcp_close", router="closing")
            self.assertEqual(closed["received"], MID_IMAGE)
            self.assertEqual(self.requests_to(s, "closing", REQ_STATUS), [], "no status query")

        with self.subTest(road="the router stops reading mid-image"):
            mark = self.update(s, "stalling", PASSWORD, TRANSFER + [message(25), message(23)])
            error_shown = s.wait_status(message(25), since=mark)
            [query, *_] = self.requests_to(s, "stalling", REQ_STATUS)
            self.assertGreater(query["t"], error_shown.t)
            [outcome] = s.events("outcome", router="stalling")
            self.assertEqual(outcome["received"], MID_IMAGE)

        with self.subTest(road="the operator cancels the transfer"):
            # At 1 Mbit/s the image takes over 6 s: time to press キャンセル.
            s.slow_link("1mbit")
            mark = s.mark()
            self.assertEqual(s.start_update("slow", PASSWORD), QUESTION)
            connecting = s.wait_status(message(19), since=mark)
            connected = s.wait_status(message(15), since=connecting.index + 1)
            bar = s.progress()
            self.assertEqual(bar["high"], IMAGE_SIZE // 1024)
            self.assertLess(bar["pos"], bar["high"])
            s.cancel()
            s.wait_status(message(24), since=mark)
            s.wait_inputs(enabled=True)
            s.slow_link(None)
            self.assertEqual(s.status_texts(since=mark),
                             [self.details(s, "slow")] + TRANSFER + [message(26), message(24)])
            [query, *_] = self.requests_to(s, "slow", REQ_STATUS)
            self.assertGreater(query["t"], connected.t)
            # The connection stays open while the abort's status query runs,
            # and is released once the router has answered it (the answer to
            # the first send; a resend may have been answered as well).
            outcome = s.events("outcome", router="slow")[0]
            self.assertLess(outcome["received"], IMAGE_SIZE)
            [closed] = s.wait_event("tcp_close", router="slow")
            self.assertGreater(closed["t"], outcome["t"])
            self.assertEqual(closed["why"], "eof")

    def test_restart_outcomes(self):
        s = self.open_session({
            "renamed": plain_router(password=PASSWORD, **{"after_update.long_identity": "VQT-RN8 1.09"}),
            "gone": plain_router(password=PASSWORD, restart_seconds="never"),
        })
        s.wait_status(message(3, 2))
        s.wait_inputs(enabled=True)

        with self.subTest(road="back with another identity"):
            self.update(s, "renamed", PASSWORD, TRANSFER + [message(21), message(28)])
            [back] = s.events("back", router="renamed")
            self.assertEqual(back["long_identity"], "VQT-RN8 1.09")

        with self.subTest(road="never back"):
            mark = self.update(s, "gone", PASSWORD, TRANSFER + [message(21), message(29)], deadline_s=150)
            waited = s.wait_status(message(29), since=mark).t - s.wait_status(message(21), since=mark).t
            print(f"\nrestart wait given up after {waited:.1f} s", flush=True)
            # Sixty polls, addressed to the router, from its status reply on.
            [outcome] = s.events("outcome", router="gone")
            gone = mac_bytes(s.routers["gone"]["mac"])
            polls = [e for e in s.events("udp_in", to="255.255.255.255:22360")
                     if e["t"] > outcome["t"] and code_of(e) == REQ_DISCOVER and bytes.fromhex(e["hex"])[22:28] == gone]
            self.assertEqual(len(polls), 60)
            self.assertGreaterEqual(waited, 60.0, "the wait runs its whole schedule")


if __name__ == "__main__":
    unittest.main(verbosity=2)
