"""Bad networks: lost, duplicated and late replies, floods of broken and foreign
datagrams, and replies from the wrong router. The program under Wine must
still list every router, carry out each update once, and show the outcome the
router meant."""
import itertools
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from lib.netlab import PC_ADDRESS
from lib.process_counters import read_counters
from lib.session import SessionTestCase, firmware_sha256, message, plain_router
from lib.simulator import Simulator
from lib.winenv import wait_until
from routerclient import HEADER, REPLY_BIT, REQ_STATUS, REQ_UPDATE, STATUS_FAILED, mac_bytes, rejection

PASSWORD = "pw"
# The statuses of a whole update, from the operator's Yes to the router's return.
UPDATE_DONE = [message(18), message(15), message(19), message(15), message(21), message(27)]
# Three sends of an exchange and the wait after the last: 9.3 s; a search, an
# update and a restart wait in one deadline.
UPDATE_DEADLINE_S = 120.0

# The flood: every broken form of a reply, replies to another station,
# requests, random bytes, replies from unknown routers and of an unknown code,
# in turn. 1000 a second is far below what the program reads under Wine (the
# kernel starts to drop for it near 10000), so no genuine reply is lost to a
# full socket buffer.
FLOOD_RATE = 1000
FLOOD_SECONDS = 4
FLOOD_KINDS = {"flood:garbage", "flood:foreign", "flood:unknown_code"} | {
    f"flood:malformed:{name}" for name in
    ("short", "old_version", "length_mismatch", "foreign_destination", "not_reply", "bad_check", "oversize")}
FLOOD = {"flood.count": FLOOD_RATE * FLOOD_SECONDS, "flood.rate": FLOOD_RATE, "flood.seconds": FLOOD_SECONDS}
# Another model: it answers, so it can flood, and neither it nor the unknown
# routers of its flood, which copy its reply, are ever listed.
OTHER_MODEL = {"mac": "00:80:6d:00:00:02", "short_identity": "VQT-RN4", "long_identity": "VQT-RN4 2.01"}


def drop_pattern(session, router: str) -> list[tuple[str, str]]:
    """The router's genuine replies in the order made, as runs of one kind:
    [("discover", "xx.x."), ...], "x" lost and "." sent."""
    session.sim.poll()
    made = [(e["what"], "x" if e["event"] == "udp_drop" else ".")
            for e in session.sim.events
            if e.get("router") == router and e["event"] in ("udp_out", "udp_drop") and ":" not in e["what"]]
    return [(kind, "".join(mark for _, mark in run)) for kind, run in itertools.groupby(made, key=lambda m: m[0])]


def forged_reply(request_code: int, source: bytes, station: bytes, status: int) -> bytes:
    """A header-only reply to `request_code`, as the router with hardware address
    `source` would send it to the station."""
    code = request_code | REPLY_BIT
    return HEADER.pack(32, 0, 0x00010003, ~code & 0xFF, code, 0, 0, source, station, status)


def flood_between(session, start: float, end: float) -> list[dict]:
    return [e for e in session.events("udp_out") if e["what"].startswith("flood:") and start <= e["t"] <= end]


class BadNetworkTest(SessionTestCase):

    def replace_simulator(self, session, routers: dict) -> None:
        """Stops the session's simulator and plays `routers` instead: the same
        routers on the same addresses, with other faults. The program, its
        list and its records stay as they are."""
        self.assertEqual(session.sim.stop(), 0, "router-sim did not end cleanly")
        self._simulators = getattr(self, "_simulators", 0) + 1
        workdir = session.workdir / f"sim-{self._simulators + 1}"
        workdir.mkdir()
        for place, keys in enumerate(routers.values()):
            keys["address"] = session.lab.router_addresses[place]
        session.sim = Simulator(session.lab, routers, workdir).start()

    def search_again(self, session, found: str) -> None:
        mark = session.mark()
        session.press_research()
        session.wait_status(found, since=mark, deadline_s=UPDATE_DEADLINE_S)
        session.wait_inputs(enabled=True)

    def begin_update(self, session, router: str, password: str = PASSWORD) -> int:
        """Selects the router's line, types the password, presses 実行 and
        answers Yes; returns the mark of the first status text after the Yes."""
        details = session.mark()
        session.select(router)
        wait_until(lambda: session.mark() > details, "the router's details")
        mark = session.mark()
        session.type_password(password)
        session.press_ok()
        session.answer("yes")
        return mark

    def update(self, session, router: str, final: str, password: str = PASSWORD) -> list[str]:
        """Updates the router's line to its final status text; returns the
        status texts shown from the operator's Yes on."""
        mark = self.begin_update(session, router, password)
        session.wait_status(final, since=mark, deadline_s=UPDATE_DEADLINE_S)
        session.wait_inputs(enabled=True)
        return session.status_texts(since=mark)

    def test_thirty_percent_of_replies_lost_every_router_listed_and_updated(self):
        # Each router draws its losses from its own seeded generator, one draw
        # per reply it makes, and the program's requests (three sends an
        # exchange, each resent only after 3.1 s without a reply) decide how
        # many replies it makes: so the seeds fix every loss below. They were
        # chosen for losses in the search, the prepare, both kinds of update
        # request and the restart wait. A lost status reply is the one loss no
        # resend can mend (the router restarts on answering and hears no more),
        # so the seeds keep the status replies.
        lossy = {"drop_random.all": 0.3}
        routers = {
            "plain": plain_router(seed=107, **lossy),
            "extended": plain_router(seed=56, capabilities=0x0500, ext_values=[0, 8, 0x110], **lossy),
            "listed": plain_router(seed=12, **lossy),
        }
        for keys in routers.values():
            keys["password"] = PASSWORD
        expected_losses = {
            "plain": [("discover", "xx.x."), ("update", "x."), ("status", "."), ("discover", "xx.")],
            "extended": [("discover", "..xx."), ("update_ext", "xx."), ("status", "."), ("discover", ".")],
            "listed": [("discover", "x.x")],
        }
        s = self.open_session(routers)
        s.wait_status(message(3, 3), deadline_s=UPDATE_DEADLINE_S)
        s.wait_inputs(enabled=True)
        self.assertEqual(sorted(s.lines()), sorted(routers))

        for router in ("plain", "extended"):
            with self.subTest(router=router):
                self.assertEqual(self.update(s, router, message(27)), UPDATE_DONE)
                image = s.images(router)
                self.assertEqual(len(image), 1)
                self.assertEqual(image[0]["sha256"], firmware_sha256())
        for router, losses in expected_losses.items():
            self.assertEqual(drop_pattern(s, router), losses, f"the losses of {router}")

    def test_duplicated_and_late_replies_are_acted_on_once(self):
        # "copies" sends every reply three times. "late" sends every reply 4 s
        # after the request, past the program's resend at 3.1 s and before its
        # time-out at 9.3 s, so each exchange's request goes out twice and both
        # are answered. Its key stays fixed: a router that changed its key with
        # every discovery reply could not be authorised by a reply that its own
        # answer to the resend had already outdated.
        routers = {
            "copies": plain_router(password=PASSWORD, **{"duplicate.all": 2}),
            "late": plain_router(password=PASSWORD, key=0x5A17E000, **{"delay.all": 4}),
        }
        s = self.open_session(routers)
        s.wait_status(message(3, 2), deadline_s=UPDATE_DEADLINE_S)
        s.wait_inputs(enabled=True)
        self.assertEqual(sorted(s.lines()), ["copies", "late"], "one line per router")

        for router in ("copies", "late"):
            with self.subTest(router=router):
                self.assertEqual(self.update(s, router, message(27)), UPDATE_DONE, "each status once")
                self.assertEqual(len(s.events("tcp_accept", router=router)), 1, "one connection")
                images = s.images(router)
                self.assertEqual([i["sha256"] for i in images], [firmware_sha256()], "one whole image")

        self.assertEqual(len(s.events("auth", router="copies")), 1, "a duplicated grant asks nothing more")
        self.assertEqual(len(s.events("outcome", router="copies")), 1, "a duplicated status asks nothing more")

        # The late router heard each request twice: both grants were made, and
        # its answer to the second status request came after its restart as
        # STATUS_FAILED, during the restart wait, which went on to the router's
        # return.
        self.assertEqual([e["status"] for e in s.events("auth", router="late")], ["0x00000000"] * 2)
        outcomes = s.events("outcome", router="late")
        self.assertEqual([e["status"] for e in outcomes], ["0x00000000", "0xffffffff"])
        late_failure = s.events("udp_out", router="late", what="status")[1]
        back = s.events("back", router="late")[0]
        return_reply = next(e for e in s.events("udp_out", router="late", what="discover") if e["t"] > back["t"])
        self.assertLess(late_failure["t"], return_reply["t"], "the late STATUS_FAILED came during the restart wait")

    def test_floods_during_the_search_and_the_transfer_change_neither_list_nor_outcome_nor_memory(self):
        home = plain_router(mac="00:80:6d:00:00:01", password=PASSWORD)
        s = self.open_session({"home": dict(home), "other": dict(OTHER_MODEL)})
        s.wait_status(message(3, 1), deadline_s=UPDATE_DEADLINE_S)
        s.wait_inputs(enabled=True)
        station = s.station_mac
        readings = [("before", read_counters(s.wine, s.lab))]
        accepted_bytes = []

        for round_ in (1, 2):
            with self.subTest(round=round_):
                # The other model floods from its first reply on, through the search.
                self.replace_simulator(s, {"home": dict(home), "other": dict(OTHER_MODEL, **FLOOD)})
                self.search_again(s, message(3, 1))
                self.assertEqual(s.lines(), ["home"])
                broadcasts = s.events("udp_in", to="255.255.255.255:22360")
                self.assertEqual(len(broadcasts), 3)
                during_search = flood_between(s, broadcasts[0]["t"], broadcasts[-1]["t"])
                self.assertEqual({e["what"] for e in during_search}, FLOOD_KINDS, "every kind during the search")
                flood = s.wait_event("flood_end")
                accepted = [e for e in s.events("udp_out") if e["what"].startswith("flood:")
                            and rejection(bytes.fromhex(e["hex"]), station) is None]

                # The router itself floods from its first reply on, the prepare's,
                # through the authorisation, the transfer and the status query.
                self.replace_simulator(s, {"home": dict(home, **FLOOD)})
                self.assertEqual(self.update(s, "home", message(27)), UPDATE_DONE)
                self.assertEqual([i["sha256"] for i in s.images("home")], [firmware_sha256()])
                transfer = (s.events("tcp_accept", router="home")[0]["t"], s.images("home")[0]["t"])
                during_transfer = flood_between(s, *transfer)
                self.assertEqual({e["what"] for e in during_transfer}, FLOOD_KINDS, "every kind during the transfer")
                s.wait_event("flood_end")
                accepted += [e for e in s.events("udp_out") if e["what"].startswith("flood:")
                             and rejection(bytes.fromhex(e["hex"]), station) is None]
                accepted_bytes.append(sum(e["len"] for e in accepted))

                # A search with the flood over frees the unknown routers the
                # restart wait recorded; then the process is measured.
                self.search_again(s, message(3, 1))
                self.assertEqual(s.lines(), ["home"])
                readings.append((f"after round {round_}", read_counters(s.wine, s.lab)))
                print(f"\nround {round_}: {flood[0]['sent']} + {s.events('flood_end')[0]['sent']} datagrams, "
                      f"{len(during_search)} during the search, {len(during_transfer)} during the "
                      f"{transfer[1] - transfer[0]:.2f} s transfer; {len(accepted)} acceptable "
                      f"({accepted_bytes[-1]} bytes)", flush=True)

        for name, counters in readings:
            print(f"{name:>14}: {counters.as_dict()}", flush=True)
        before, first, second = (counters for _, counters in readings)
        self.assertEqual(second.handles, before.handles, "handles")
        self.assertEqual(second.windows, before.windows, "windows")
        self.assertEqual(second.fds, before.fds, "file descriptors")
        # The first round may raise the heap to the flood's high-water mark;
        # the second floods alike and must find room in it. A program that kept
        # even a quarter of what it accepted in the second round would fail.
        growth = second.anonymous_bytes - first.anonymous_bytes
        self.assertLess(growth, accepted_bytes[1] / 4, f"memory grew by {growth} bytes in the second round")

    def test_a_reply_from_another_router_ends_no_exchange(self):
        # "target" answers its authorisation and its status request 2 s late
        # (no resend yet); meanwhile "other", a router of the list, seems to
        # answer both with STATUS_FAILED. "alias" answers its status requests
        # in the name of "other" only, with STATUS_FAILED, which the simulator
        # does itself.
        routers = {
            "target": plain_router(password=PASSWORD, **{"delay.update": 2, "delay.status": 2}),
            "alias": plain_router(password=PASSWORD, **{"foreign_mac.status": "00:80:6d:00:00:03",
                                                        "status.status": "failed"}),
            "other": plain_router(password=PASSWORD),
        }
        s = self.open_session(routers)
        s.wait_status(message(3, 3), deadline_s=UPDATE_DEADLINE_S)
        s.wait_inputs(enabled=True)
        other = s.events("ready")[0]["routers"][2]
        self.assertEqual(other["router"], "other")
        endpoint = s.events("udp_in")[0]["from"].split(":")
        self.assertEqual(endpoint[0], PC_ADDRESS)
        forger = s.lab.socket(s.lab.router)
        self.addCleanup(forger.close)
        forger.bind((other["address"], 0))

        def forge_while_delayed(what: str, request_code: int) -> None:
            s.wait_event("udp_delay", router="target", what=what, deadline_s=UPDATE_DEADLINE_S)
            forger.sendto(forged_reply(request_code, mac_bytes(other["mac"]), s.station_mac, STATUS_FAILED),
                          (PC_ADDRESS, int(endpoint[1])))

        mark = self.begin_update(s, "target")
        forge_while_delayed("update", REQ_UPDATE)
        forge_while_delayed("status", REQ_STATUS)
        s.wait_status(message(27), since=mark, deadline_s=UPDATE_DEADLINE_S)
        s.wait_inputs(enabled=True)
        self.assertEqual(s.status_texts(since=mark), UPDATE_DONE)
        self.assertEqual(len(s.events("auth", router="target")), 1, "no resend: the wait went on")
        self.assertEqual([i["sha256"] for i in s.images("target")], [firmware_sha256()])

        # Every status reply in another router's name: the query runs to its
        # time-out instead of reporting the failure.
        shown = self.update(s, "alias", message(12, message(17)))
        self.assertEqual(shown, UPDATE_DONE[:4] + [message(12, message(17))])
        self.assertEqual(len(s.events("outcome", router="alias")), 3, "all three status requests went out")


if __name__ == "__main__":
    unittest.main(verbosity=2)
