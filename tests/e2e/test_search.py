"""The live dialog: the program under Wine searches the simulated routers, lists
those the image fits in the order they answered, shows a router's details,
and searches again or cancels from the re-search button."""
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from lib.session import IDC_DEVICE_LIST, IDC_RESEARCH, IDOK, SessionTestCase, message, plain_router
from routerclient import HEADER, REQ_DISCOVER, build_request

BROADCAST = "255.255.255.255:22360"
# The discovery's sends are 31 ticks of 100 ms apart; Wine's timers under load
# are late now and then.
SEND_SPACING_S = 3.1
SPACING_TOLERANCE_S = 0.5

# Reply order is not file order: alpha answers each request 2.5 s late, so
# that even its reply to the third send comes within the first search's 9.3 s
# (a later one would wait in the socket and count for the next search), and
# a cancel that follows charlie's first reply of the next search comes first.
# bravo is another model, heard and never listed.
ROUTERS = {
    "alpha": plain_router(long_identity="VQT-RN8 1.02", **{"delay.discover": 2.5}),
    "bravo": {"short_identity": "VQT-RN4", "long_identity": "VQT-RN4 2.01"},
    "charlie": plain_router(long_identity="VQT-RN8 1.05"),
}
FITTING = ("alpha", "charlie")


def dotted_address(discovery_reply_hex: str) -> str:
    """The ipAddress field of a discovery reply, first dotted octet first: the
    wire carries it least significant byte first."""
    payload = bytes.fromhex(discovery_reply_hex)[HEADER.size:]
    return ".".join(str(b) for b in reversed(payload[0:4]))


class LiveDialogTest(SessionTestCase):

    def discovery_replies(self, session, after: float = 0.0) -> list[dict]:
        return [e for e in session.events("udp_out", what="discover") if e["t"] > after]

    def first_replies_in_order(self, session, after: float, before: float) -> list[str]:
        """The fitting routers by the time of their first discovery reply in (after, before)."""
        heard: list[str] = []
        for e in self.discovery_replies(session, after):
            if e["t"] < before and e["router"] in FITTING and e["router"] not in heard:
                heard.append(e["router"])
        return heard

    def test_search_list_details_and_the_research_button(self):
        s = self.open_session(ROUTERS)
        opening = s.snapshot()["dialog"]
        controls = {c["id"]: c for c in opening["controls"]}
        self.assertEqual(s.status_texts()[0], message(4))
        self.assertEqual(controls[IDC_RESEARCH]["text"], message(1))
        self.assertFalse(controls[IDOK]["enabled"])
        self.assertFalse(controls[IDC_DEVICE_LIST]["enabled"])

        # The first search: two of the three listed, in the order they answered.
        listed = s.wait_status(message(3, 2))
        s.wait_inputs(enabled=True)
        self.assertEqual(self.first_replies_in_order(s, 0.0, listed.t), ["charlie", "alpha"])
        self.assertEqual(s.lines(), ["charlie", "alpha"])
        self.assertTrue(any(e["router"] == "bravo" for e in self.discovery_replies(s)), "bravo answered")
        bar = s.progress()
        self.assertGreater(bar["high"], 0)
        self.assertEqual(bar["pos"], bar["high"], "a full bar")

        # Three broadcasts from one endpoint, byte for byte, about 3.1 s apart.
        broadcasts = [e for e in s.events("udp_in", to=BROADCAST) if e["t"] < listed.t]
        self.assertEqual(len(broadcasts), 3)
        expected = build_request(REQ_DISCOVER, s.station_mac).hex()
        for e in broadcasts:
            self.assertEqual(e["hex"], expected)
        self.assertEqual(len({e["from"] for e in broadcasts}), 1)
        spacing = [b["t"] - a["t"] for a, b in zip(broadcasts, broadcasts[1:])]
        for gap in spacing:
            self.assertAlmostEqual(gap, SEND_SPACING_S, delta=SPACING_TOLERANCE_S)
        print(f"\ndialog open (first broadcast) to the list: {listed.t - broadcasts[0]['t']:.2f} s; "
              f"broadcasts {', '.join(f'{g:.2f}' for g in spacing)} s apart", flush=True)

        # Details of each line: its identity and the address the router sent.
        for line, name in enumerate(s.lines()):
            with self.subTest(line=line, router=name):
                reply = next(e for e in self.discovery_replies(s) if e["router"] == name)
                address = dotted_address(reply["hex"])
                self.assertEqual(address, ROUTERS[name]["address"])
                mark = s.mark()
                s.select(line)
                s.wait_status(message(31, ROUTERS[name]["long_identity"], *map(int, address.split("."))), since=mark)

        # 再検索 while idle empties the list and searches again; キャンセル during
        # that search lists only what was heard: charlie, not alpha.
        mark = s.mark()
        charlie_replies = len(s.events("udp_out", router="charlie", what="discover"))
        s.press_research()
        s.wait_status(message(4), since=mark)
        searching = s.wait_event("udp_in", count=4, to=BROADCAST)[3]["t"]
        s.wait_event("udp_out", count=charlie_replies + 1, router="charlie", what="discover")
        s.cancel()
        relisted = s.wait_status(message(3, 1), since=mark)
        s.wait_inputs(enabled=True)
        self.assertEqual(self.first_replies_in_order(s, searching, relisted.t), ["charlie"],
                         "the cancel came after alpha's late reply")
        self.assertEqual(s.lines(), ["charlie"])
        bar = s.progress()
        self.assertEqual(bar["pos"], bar["high"], "a full bar")

    def test_no_router_answering_gives_message_6(self):
        s = self.open_session({"mute": plain_router(**{"drop_first.discover": 1000})})
        s.wait_status(message(6))
        s.wait_inputs(enabled=True)
        self.assertEqual(s.lines(), [])
        self.assertEqual(len(s.events("udp_drop", router="mute", what="discover")), 3, "every broadcast arrived")


if __name__ == "__main__":
    unittest.main(verbosity=2)
