"""The simulated router checked from a station in the pc namespace: byte-exact
replies, the password check, the image over TCP, the restart, and every fault."""
from __future__ import annotations

import collections
import hashlib
import os
import socket
import struct
import time
import unittest
from pathlib import Path

from lib.simulator import REPO, SimulatorTestCase, router_keys, run_simulator_expecting_failure
from routerclient import (BROADCAST_MAC, REQ_DISCOVER, REQ_MODULE_INFO, REQ_STATUS, REQ_UPDATE, REQ_UPDATE_EXT,
                          STATUS_BAD_PASSWORD, STATUS_FAILED, STATUS_OK, HEADER, Reply, Station, build_request,
                          discovery_key, expected_discovery_reply, mac_bytes, password_field, rejection,
                          reported_identity, scramble, update_payload)

EXT_VALUES = (0, 8, 0x110)


class StationTestCase(SimulatorTestCase):
    """Adds a station in the pc namespace and the steps of an update."""

    def setUp(self) -> None:
        super().setUp()
        self.station = Station(self.lab, receive_buffer=1 << 20)
        self.addCleanup(self.station.close)

    def mac(self, index: int) -> bytes:
        return mac_bytes(f"00:80:6d:00:00:{index + 1:02x}")

    def discover(self, index: int) -> Reply:
        self.station.broadcast(REQ_DISCOVER, self.mac(index))
        return self.station.receive_one()

    def grant(self, index: int, size: int, password: bytes, code: int = REQ_UPDATE,
              ext: tuple[int, int, int] | None = None) -> Reply:
        """A fresh key from an addressed discovery, then the update request with it."""
        key = discovery_key(self.discover(index))
        payload = update_payload(size, scramble(password_field(password), key), ext)
        self.station.send(self.lab.router_addresses[index], code, self.mac(index), payload)
        return self.station.receive_one()

    def status(self, index: int) -> Reply:
        self.station.send(self.lab.router_addresses[index], REQ_STATUS, self.mac(index))
        return self.station.receive_one()

    def connect(self, index: int) -> socket.socket:
        conn = self.lab.socket(self.lab.pc, socket.SOCK_STREAM)
        self.addCleanup(conn.close)
        conn.settimeout(20)
        conn.connect((self.lab.router_addresses[index], 22360))
        return conn


class ReplyTest(StationTestCase):
    ROUTER_ADDRESSES = 6

    def test_three_broadcasts_with_one_router_dropping_its_first_reply_are_logged_byte_for_byte(self):
        sim = self.start_simulator({"r1": router_keys(self.lab, 0, {"drop_first.discover": 1}),
                                    "r2": router_keys(self.lab, 1)})
        sent, received = [], []
        for replies in (1, 2, 2):
            sent.append(self.station.broadcast(REQ_DISCOVER))
            received += self.station.receive(replies)

        self.assertEqual(collections.Counter(r.source for r in received), {self.mac(0): 2, self.mac(1): 3})
        address_of = {self.mac(0): self.lab.router_addresses[0], self.mac(1): self.lab.router_addresses[1]}
        for r in received:
            self.assertIsNone(rejection(r.raw, self.station.mac))
            self.assertEqual(r.sender, (address_of[r.source], 22360))

        ins = sim.wait_for(lambda e: e["event"] == "udp_in", 3)
        self.assertEqual([bytes.fromhex(e["hex"]) for e in ins], sent)
        self.assertTrue(all(e["from"] == self.station.endpoint and e["to"] == "255.255.255.255:22360" for e in ins))
        outs = sim.wait_for(lambda e: e["event"] == "udp_out", 5)
        self.assertEqual(sorted(bytes.fromhex(e["hex"]) for e in outs), sorted(r.raw for r in received))
        self.assertTrue(all(e["to"] == self.station.endpoint for e in outs))
        [drop] = sim.of("udp_drop")
        self.assertEqual((drop["router"], drop["why"]), ("r1", "drop_first"))
        self.assertEqual(Reply.parse(bytes.fromhex(drop["hex"]), ("", 0)).source, self.mac(0))
        self.assertLess(drop["t"], next(e["t"] for e in outs if e["router"] == "r1"))

    def test_discovery_reply_layout_by_version(self):
        long_name = b"N" * 32  # fills the field: no NUL
        rows = [  # version, name, short identity, long identity
            (0x00010000, b"oldest", b"VQT-RN8", b""),
            (0x00010001, b"no-long", b"VQT-RN8", b""),
            (0x00010001, b"long", b"VQT-RN8", b"VQT-RN8 1.02 (long form)"),
            (0x00010002, long_name, b"VQT-RN8 1.0 16ch", b"VQT-RN8 1.02"),
            (0x00010003, b"current", b"VQT-RN8", b"VQT-RN8 1.02 rev. 3"),
            (0x00020000, b"future", b"VQT-RN8", b"VQT-RN8 2.00"),
        ]
        routers = {}
        for i, (version, name, short, long_) in enumerate(rows):
            keys = {"version": version, "name": name, "short_identity": short, "netmask": "255.255.240.0",
                    "capabilities": 0x0F00 | i, "sub_code": 60 + i, "key": 0xA1B2C300 + i}
            if long_:
                keys["long_identity"] = long_
            routers[f"v{i}"] = router_keys(self.lab, i, keys)
        self.start_simulator(routers)

        self.station.broadcast(REQ_DISCOVER)
        by_source = {r.source: r for r in self.station.receive(len(rows))}
        for i, (version, name, short, long_) in enumerate(rows):
            with self.subTest(version=hex(version), long=bool(long_)):
                reply = by_source[self.mac(i)]
                self.assertEqual(reply.raw, expected_discovery_reply(
                    version, self.mac(i), self.station.mac, address=self.lab.router_addresses[i],
                    netmask="255.255.240.0", capabilities=0x0F00 | i, key=0xA1B2C300 + i, name=name,
                    short_identity=short, long_identity=long_, sub_code=60 + i))
                self.assertEqual(reported_identity(reply), long_ if version >= 0x00010001 and long_ else short)

    def test_addressed_discovery_is_answered_only_by_that_router(self):
        sim = self.start_simulator({"r1": router_keys(self.lab, 0), "r2": router_keys(self.lab, 1)})
        reply = self.discover(0)
        self.assertEqual((reply.source, reply.destination), (self.mac(0), self.station.mac))
        sim.wait_for(lambda e: e["event"] == "ignored" and e.get("router") == "r2"
                     and e["why"] == "addressed to 00:80:6d:00:00:01")
        self.assertEqual(self.station.drain(), [])
        self.assertEqual(len(sim.of("udp_out")), 1)

    def test_module_text_by_selector(self):
        self.start_simulator({"r1": router_keys(self.lab, 0, {"module.0": "ISDN-TA 2.10", "version": 0x00010003})})
        rows = [  # selector, status, payload
            (0, STATUS_OK, b"ISDN-TA 2.10\0"),
            (1, STATUS_FAILED, b""),  # no module of that kind
        ]
        for selector, status, payload in rows:
            with self.subTest(selector=selector):
                self.station.broadcast(REQ_MODULE_INFO, self.mac(0), struct.pack("<I", selector))
                reply = self.station.receive_one()
                code = REQ_MODULE_INFO | 0x40
                self.assertEqual(reply.raw, HEADER.pack(32, 0, 0x00010003, ~code & 0xFF, code, len(payload), 0,
                                                        self.mac(0), self.station.mac, status) + payload)

    def test_the_demo_scenario_offers_what_its_readme_says(self):
        self.start_simulator({}, REPO / "tools/router-sim/demo.ini")
        self.station.broadcast(REQ_DISCOVER)
        identities = sorted(reported_identity(r) for r in self.station.receive(3))
        self.assertEqual(identities, [b"VQT-RN4 2.01", b"VQT-RN8 1.02", b"VQT-RN8 1.05"])
        self.assertEqual(self.grant(0, 798_968, b"demo").status, STATUS_OK)
        self.assertEqual(self.grant(1, 798_968, b"demo", REQ_UPDATE_EXT, EXT_VALUES).status, STATUS_OK)

    def test_requests_in_the_wrong_shape_are_ignored_with_the_reason(self):
        sim = self.start_simulator({"r1": router_keys(self.lab, 0), "r2": router_keys(self.lab, 1)})
        r1 = self.lab.router_addresses[0]
        good = build_request(REQ_STATUS, self.station.mac, self.mac(0))
        rows = [  # datagram, sent to, the reason logged
            (build_request(REQ_DISCOVER, self.station.mac), r1, "this request is broadcast to 255.255.255.255"),
            (good, "255.255.255.255", "this request is sent to the router's own address"),
            (good[:20], r1, "shorter than a header (20 bytes)"),
            (good + b"\0", r1, "does not match the 33 bytes received"),
            (good[:8] + b"\x7b" + good[9:], r1, "codeCheck is not the complement of code"),
            (build_request(0xC0, self.station.mac), r1, "code 0xc0 is no request"),
            (build_request(REQ_UPDATE, self.station.mac, self.mac(0), b"\0" * 11), r1, "payloadLength 11 is not the 12"),
            (good, "192.168.11.254", "sent to 192.168.11.254, the address of no router"),
            (build_request(REQ_STATUS, self.station.mac, self.mac(1)), r1, "addressed to 00:80:6d:00:00:02"),
        ]
        for datagram, address, why in rows:
            with self.subTest(why=why):
                self.station.send_raw(datagram, address)
                sim.wait_for(lambda e: e["event"] == "ignored" and why in e["why"], what=why)
        self.assertEqual(sim.of("udp_out"), [])


class UpdateTest(StationTestCase):

    def test_password_size_and_extended_values_decide_the_grant(self):
        sim = self.start_simulator({"r1": router_keys(self.lab, 0, {
            "key": "new", "password": "secret", "image_size": 1000, "ext_values": list(EXT_VALUES)})})
        rows = [  # request, typed password field, size, extended values, status
            (REQ_UPDATE, b"secret", 1000, None, STATUS_OK),
            (REQ_UPDATE, b"secrex", 1000, None, STATUS_BAD_PASSWORD),
            (REQ_UPDATE, b"secret\0x", 1000, None, STATUS_BAD_PASSWORD),  # a stale byte after the NUL
            (REQ_UPDATE, b"secret", 999, None, STATUS_FAILED),
            (REQ_UPDATE_EXT, b"secret", 1000, EXT_VALUES, STATUS_OK),
            (REQ_UPDATE_EXT, b"secret", 1000, (0, 8, 0x111), STATUS_FAILED),
            (REQ_UPDATE_EXT, b"", 1000, EXT_VALUES, STATUS_BAD_PASSWORD),
        ]
        for n, (code, password, size, ext, status) in enumerate(rows, 1):
            with self.subTest(code=hex(code), password=password, size=size, ext=ext):
                reply = self.grant(0, size, password, code, ext)
                self.assertEqual((reply.code, reply.source, reply.status, reply.payload),
                                 (code | 0x40, self.mac(0), status, b""))
                auth = sim.wait_for(lambda e: e["event"] == "auth", n)[-1]
                self.assertEqual(bytes.fromhex(auth["want"]), scramble(password_field(b"secret"), int(auth["key"], 16)))

    def test_the_key_of_an_earlier_reply_no_longer_opens(self):
        self.start_simulator({"r1": router_keys(self.lab, 0, {"key": "new", "password": "pw"})})
        old_key = discovery_key(self.discover(0))
        new_key = discovery_key(self.discover(0))
        self.assertNotEqual(old_key, new_key)
        for key, status in ((old_key, STATUS_BAD_PASSWORD), (new_key, STATUS_OK)):
            self.station.send(self.lab.router_addresses[0], REQ_UPDATE, self.mac(0),
                              update_payload(64, scramble(password_field(b"pw"), key)))
            self.assertEqual(self.station.receive_one().status, status)

    def test_whole_image_then_silent_restart_then_the_new_identity(self):
        sim = self.start_simulator({"r1": router_keys(self.lab, 0, {
            "key": 0x01020304, "password": "pw", "long_identity": "VQT-RN8 1.02 build 7",
            "after_update.short_identity": "VQT-RN8 1.10", "after_update.long_identity": "VQT-RN8 1.10 build 9",
            "restart_seconds": 1.0})})
        self.assertEqual(reported_identity(self.discover(0)), b"VQT-RN8 1.02 build 7")
        image = os.urandom(798_968)
        self.assertEqual(self.grant(0, len(image), b"pw").status, STATUS_OK)
        conn = self.connect(0)
        conn.sendall(image)
        conn.shutdown(socket.SHUT_WR)
        conn.close()
        self.assertEqual(self.status(0).status, STATUS_OK)

        [saved] = sim.wait_for(lambda e: e["event"] == "image")
        self.assertEqual((saved["size"], saved["sha256"]), (len(image), hashlib.sha256(image).hexdigest()))
        self.assertEqual(Path(saved["path"]).read_bytes(), image)
        [restart] = sim.wait_for(lambda e: e["event"] == "restart")

        # One request during the restart, one after it; only what comes after is answered.
        self.station.broadcast(REQ_DISCOVER, self.mac(0))
        [back] = sim.wait_for(lambda e: e["event"] == "back")
        self.assertGreaterEqual(back["t"] - restart["t"], 1.0)
        self.station.broadcast(REQ_DISCOVER, self.mac(0))
        answers = sim.wait_for(lambda e: e["event"] == "udp_out" and e["t"] > back["t"])
        asked = [e for e in sim.events if e["event"] == "udp_in" and e["t"] > restart["t"]]
        self.assertEqual(len(asked), 2)
        during = [e for e in asked if e["t"] < back["t"]]
        self.assertEqual(len(sim.of("ignored", why="restarting")), len(during))
        self.assertFalse([e for e in sim.of("udp_out") if restart["t"] < e["t"] < back["t"]])
        for reply in self.station.receive(len(asked) - len(during)):
            self.assertEqual(reply.payload[80:96].rstrip(b"\0"), b"VQT-RN8 1.10")
            self.assertEqual(reported_identity(reply), b"VQT-RN8 1.10 build 9")
        self.assertEqual(len(answers), len(asked) - len(during))

    def test_status_reports_failed_unless_exactly_the_granted_image_arrived(self):
        sim = self.start_simulator({"r1": router_keys(self.lab, 0, {"password": "pw"})})
        rows = [  # size granted (None: no grant), bytes sent, whether the sender closes
            (None, 0, True),
            (100_000, 50_000, True),
            (1000, 1001, True),
            (100_000, 50_000, False),  # judged once the connection has gone quiet
        ]
        for granted, sent, closes in rows:
            with self.subTest(granted=granted, sent=sent, closes=closes):
                if granted:
                    self.assertEqual(self.grant(0, granted, b"pw").status, STATUS_OK)
                if sent:
                    conn = self.connect(0)
                    conn.sendall(os.urandom(sent))
                    if closes:
                        conn.close()
                self.assertEqual(self.status(0).status, STATUS_FAILED)
                outcome = sim.of("outcome")[-1]
                self.assertEqual((outcome["granted"], outcome["received"]), (granted is not None, sent))
        self.assertTrue(sim.of("status_deferred"))
        self.assertEqual(sim.of("restart"), [])
        self.assertEqual(self.discover(0).source, self.mac(0))

    def test_a_pause_in_the_stream_is_not_its_end(self):
        # A shaped link's loss recovery stops the stream for a second or more
        # while the status request waits.
        sim = self.start_simulator({"r1": router_keys(self.lab, 0, {"password": "pw"})})
        image = os.urandom(100_000)
        self.assertEqual(self.grant(0, len(image), b"pw").status, STATUS_OK)
        conn = self.connect(0)
        conn.sendall(image[:50_000])
        self.station.send(self.lab.router_addresses[0], REQ_STATUS, self.mac(0))
        sim.wait_for(lambda e: e["event"] == "status_deferred")
        time.sleep(1.5)  # the pause itself, not a wait for something
        conn.sendall(image[50_000:])
        conn.close()
        self.assertEqual(self.station.receive_one().status, STATUS_OK)
        [outcome] = sim.of("outcome")
        self.assertEqual(outcome["received"], len(image))


class FaultTest(StationTestCase):

    def test_reply_faults(self):
        foreign = "02:11:22:33:44:55"
        malformations = ["short", "old_version", "length_mismatch", "foreign_destination", "not_reply",
                         "bad_check", "oversize"]
        rows = [  # name, keys, broadcasts, datagrams expected, check of the datagrams
            ("drop_first", {"drop_first.discover": 2}, 3, 1, None),
            ("duplicate", {"duplicate.discover": 2}, 1, 3, lambda d: self.assertEqual(len({x.raw for x in d}), 1)),
            ("status", {"status.discover": 5}, 1, 1, lambda d: self.assertEqual(d[0].status, 5)),
            ("malformed", {"malformed.discover": "all"}, 1, 8,
             lambda d: self.assertEqual([rejection(x.raw, self.station.mac) for x in d], malformations + [None])),
            ("garbage", {"garbage.discover": 4}, 1, 5,
             lambda d: self.assertEqual([rejection(x.raw, self.station.mac) is None for x in d], [False] * 4 + [True])),
            ("foreign_mac", {"foreign_mac.discover": foreign}, 1, 1,
             lambda d: self.assertEqual(d[0].source, mac_bytes(foreign))),
            ("reply_destination", {"reply_destination": "broadcast"}, 1, 1,
             lambda d: self.assertEqual((d[0].destination, rejection(d[0].raw, self.station.mac)), (BROADCAST_MAC, None))),
            ("all kinds", {"duplicate.all": 1}, 1, 2, None),
            ("a kind's own key wins", {"duplicate.discover": 1, "duplicate.all": 3}, 1, 2, None),
        ]
        for name, keys, broadcasts, expected, check in rows:
            with self.subTest(name), self.running({"r1": router_keys(self.lab, 0, keys)}) as sim:
                for _ in range(broadcasts):
                    self.station.broadcast(REQ_DISCOVER)
                sim.wait_for(lambda e: e["event"] in ("udp_out", "udp_drop") and e["what"] == "discover", broadcasts)
                datagrams = self.station.receive(expected)
                if check:
                    check(datagrams)
            self.assertEqual(self.station.drain(), [])

    def test_delayed_reply_comes_late_but_comes(self):
        sim = self.start_simulator({"r1": router_keys(self.lab, 0, {"delay.discover": 0.5})})
        self.station.broadcast(REQ_DISCOVER)
        self.assertEqual(self.station.receive_one().source, self.mac(0))
        [asked], [sent] = sim.wait_for(lambda e: e["event"] == "udp_in"), sim.wait_for(lambda e: e["event"] == "udp_out")
        self.assertGreaterEqual(sent["t"] - asked["t"], 0.5)

    def test_random_drops_follow_the_seed(self):
        def pattern() -> list[str]:
            with self.running({"r1": router_keys(self.lab, 0, {"drop_random.discover": 0.5, "seed": 7})}) as sim:
                for n in range(1, 17):
                    self.station.broadcast(REQ_DISCOVER)
                    sim.wait_for(lambda e: e["event"] in ("udp_out", "udp_drop"), n)
            outcome = [e["event"] for e in sim.events if e["event"] in ("udp_out", "udp_drop")]
            self.assertEqual(len(self.station.receive(outcome.count("udp_out"))), outcome.count("udp_out"))
            return outcome

        first = pattern()
        self.assertEqual(set(first), {"udp_out", "udp_drop"})
        self.assertEqual(pattern(), first)

    def test_status_chosen_per_request_kind(self):
        rows = [  # keys, the request, status answered
            ({"status.update": "bad_password"}, "update", STATUS_BAD_PASSWORD),
            ({"status.update": 5}, "update", 5),
            ({"status.update_ext": "failed"}, "update_ext", STATUS_FAILED),
            ({"status.module_info": "failed", "module.1": "MODEM 1.0"}, "module_info", STATUS_FAILED),
            ({"status.status": "ok"}, "status", STATUS_OK),  # a router that lies: no image came
        ]
        for keys, kind, status in rows:
            with self.subTest(kind=kind, keys=keys), \
                    self.running({"r1": router_keys(self.lab, 0, {"password": "pw", **keys})}) as sim:
                if kind == "update":
                    reply = self.grant(0, 64, b"pw")
                elif kind == "update_ext":
                    reply = self.grant(0, 64, b"pw", REQ_UPDATE_EXT, EXT_VALUES)
                elif kind == "module_info":
                    self.station.broadcast(REQ_MODULE_INFO, self.mac(0), struct.pack("<I", 1))
                    reply = self.station.receive_one()
                else:
                    reply = self.status(0)
                self.assertEqual(reply.status, status)
                if kind == "status":
                    sim.wait_for(lambda e: e["event"] == "restart")

    def test_tcp_faults(self):
        rows = [  # tcp, bytes the router takes, how the connection ends for it
            ("refuse", None, None),
            ("close_after 5000", 5000, "close_after"),
            ("stall_after 3000", 3000, "stop"),
        ]
        for tcp, taken, end in rows:
            with self.subTest(tcp=tcp):
                with self.running({"r1": router_keys(self.lab, 0, {"password": "pw", "tcp": tcp})}) as sim:
                    self.assertEqual(self.grant(0, 400_000, b"pw").status, STATUS_OK)
                    if taken is None:
                        with self.assertRaises(ConnectionRefusedError):
                            self.connect(0)
                    else:
                        self.push_until_refused(self.connect(0), 400_000)
                        sim.wait_for(lambda e: e["event"] in ("tcp_close", "tcp_stall") and e["received"] == taken)
                    self.assertEqual(self.status(0).status, STATUS_FAILED)
                    self.assertEqual(sim.of("outcome")[-1]["received"], taken or 0)
                if end:
                    self.assertEqual(sim.of("tcp_close")[-1]["why"], end)
                    self.assertEqual(sim.of("image")[-1]["size"], taken)

    def push_until_refused(self, conn: socket.socket, size: int) -> None:
        """Sends until the router stops taking bytes: it closed, or its window stays shut."""
        conn.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 16384)
        conn.setblocking(False)
        data, sent = os.urandom(size), 0
        try:
            while sent < size:
                sent += conn.send(data[sent:sent + 65536])
        except BlockingIOError:
            self.assertLess(sent, size)
        except (ConnectionResetError, BrokenPipeError):
            pass

    def test_restart_that_never_ends(self):
        sim = self.start_simulator({"r1": router_keys(self.lab, 0, {"status.status": "ok", "restart_seconds": "never"})})
        self.assertEqual(self.status(0).status, STATUS_OK)
        [restart] = sim.wait_for(lambda e: e["event"] == "restart")
        self.assertIsNone(restart["seconds"])
        self.station.broadcast(REQ_DISCOVER)
        sim.wait_for(lambda e: e["event"] == "ignored" and e["why"] == "restarting")

    def test_flood_is_bounded_in_count_and_in_time(self):
        rows = [  # flood keys, why it ended, most datagrams it may send
            ({"flood.count": 300, "flood.rate": 3000}, "count", 300),
            ({"flood.count": 100_000, "flood.rate": 200, "flood.seconds": 0.3}, "time", 61),
        ]
        for keys, why, most in rows:
            with self.subTest(why=why), self.running({"r1": router_keys(self.lab, 0, keys)}) as sim:
                self.station.broadcast(REQ_DISCOVER)
                [end] = sim.wait_for(lambda e: e["event"] == "flood_end")
                self.assertEqual(end["why"], why)
                flood = [e for e in sim.of("udp_out") if e["what"].startswith("flood:")]
                self.assertEqual(len(flood), end["sent"])
                self.assertLessEqual(end["sent"], most)
                if why == "count":
                    self.assertEqual(end["sent"], most)
                self.assertTrue(all(e["to"] == self.station.endpoint for e in flood))
                # Nothing in a flood passes as a protocol reply of this router.
                genuine = [raw for raw in self.station.drain() if rejection(raw, self.station.mac) is None
                           and raw[16:22] == self.mac(0) and raw[9] == REQ_DISCOVER | 0x40]
                self.assertEqual(len(genuine), 1)


class ScenarioErrorTest(SimulatorTestCase):

    def test_a_bad_scenario_is_refused_with_its_file_line_and_key(self):
        head = "[router r1]\nmac = 00:80:6d:00:00:01\naddress = {a}\nshort_identity = VQT-RN8\n"
        rows = [  # scenario text, exit code, what stderr says after "bad.ini:"
            (head + "verison = 0x00010003\n", 2, "5: unknown key 'verison'"),
            (head + "version = 0x0000ffff\n", 2, "5: key 'version': a reply's version is at least 0x00010000"),
            ("[router r1]\nmac = 00:80:6d:00:01\n", 2, "2: key 'mac': '00:80:6d:00:01' is not a hardware address"),
            ("[router r1]\nmac = 00:80:6d:00:00:01\naddress = {a}\n", 2, "1: router 'r1' lacks the key 'short_identity'"),
            (head + "name = " + "n" * 33 + "\n", 2, "5: key 'name': longer than 32 bytes"),
            (head + "version = 0x00010000\nlong_identity = VQT-RN8 1.10\n", 2,
             "6: key 'long_identity': a long identity needs version 0x00010001 or later"),
            (head + "malformed.discover = short,tiny\n", 2, "5: key 'malformed.discover': 'tiny' is not one of"),
            (head + "drop_first.discovr = 1\n", 2, "5: key 'drop_first.discovr': 'discovr' is not a reply kind"),
            (head + "drop_random.all = 1.5\n", 2, "5: key 'drop_random.all': 1.5 is outside"),
            (head + "tcp = stall_after\n", 2, "5: key 'tcp': 'stall_after' is not accept, refuse"),
            (head + 'name = "open\n', 2, "5: key 'name': the closing quote is missing"),
            (head + "mac = 00:80:6d:00:00:02\n", 2, "5: key 'mac' is set twice (first on line 2)"),
            ("mac = 00:80:6d:00:00:01\n", 2, "1: a key before the first [router NAME] section"),
            (head + head.replace("r1", "r2"), 2, "6: routers 'r1' and 'r2' have the same mac"),
            (head.format(a="192.168.11.200"), 1, "router 'r1': address 192.168.11.200 is on no interface"),
        ]
        for text, code, says in rows:
            with self.subTest(says=says):
                result = run_simulator_expecting_failure(self.lab, text.replace("{a}", self.lab.router_addresses[0]),
                                                         self.workdir)
                self.assertEqual(result.returncode, code, result.stderr)
                self.assertIn(says, result.stderr)
                if code == 2:
                    self.assertIn(f"{self.workdir}/bad.ini:{says.split(':')[0]}:", result.stderr)


class ReferenceScramblerTest(unittest.TestCase):
    """The test's own scrambler shows the properties its steps imply, so that
    agreeing with it means something."""

    def test_properties(self):
        self.assertEqual(scramble(bytes(8), 0), bytes(8))
        key = 0x9A3C5E71
        base = bytes(range(1, 9))
        for position in range(8):
            changed = bytearray(base)
            changed[position] ^= 0xFF
            differs = [a != b for a, b in zip(scramble(base, key), scramble(bytes(changed), key))]
            self.assertTrue(any(differs))
            # Output byte i (i < 4) depends on the even positions up to 2i only, byte 7-i on the odd up to 2i+1.
            for out in range(8):
                i, parity = (out, 0) if out < 4 else (7 - out, 1)
                if differs[out]:
                    self.assertTrue(position % 2 == parity and position <= 2 * i + parity, (position, out))
        outputs = {scramble(bytes([a, b]) + b"xyz\0\0\0", key) for a in range(0, 256, 5) for b in range(0, 256, 7)}
        self.assertEqual(len(outputs), len(range(0, 256, 5)) * len(range(0, 256, 7)))


if __name__ == "__main__":
    unittest.main()
