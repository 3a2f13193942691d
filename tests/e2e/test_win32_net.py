"""The program's Win32 host and UDP ports under Wine, from the pc namespace:
the NetBIOS adapter address is the pc veth's, a broadcast reaches the router
side, and replies come back through the read notification, a datagram
longer than the read buffer counting as an error."""
import json
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from lib.netlab import PC_ADDRESS
from lib.udp_listener import SHORT
from lib.winenv import NETPROBE, WineTestCase, wait_until, windows_path

PORT = 22360
LISTENER = Path(__file__).resolve().parent / "lib" / "udp_listener.py"


class Win32PortsTest(WineTestCase):
    def test_adapter_address_broadcast_and_read_notifications(self):
        heard = self.wine.dir / "heard.json"
        self.lab.popen(self.lab.router, [sys.executable, str(LISTENER), str(PORT), str(heard)])
        wait_until(heard.with_suffix(".ready").exists, "the listener in the router namespace")

        report = self.wine.dir / "probe.json"
        code = self.wine.wine_command(["wine", str(NETPROBE), windows_path(report), str(PORT)], "netprobe")
        self.assertEqual(code, 0)
        probe = json.loads(report.read_text(encoding="utf-8"))
        (self.wine.artifacts / "probe.json").write_text(json.dumps(probe, indent=2))

        pc_mac = self.lab.hardware_address(self.lab.pc)
        self.assertTrue(probe["adapter"], "NCBASTAT found the adapter")
        self.assertEqual(probe["mac"], pc_mac)
        self.assertTrue(probe["started"] and probe["opened"] and probe["broadcast"])
        self.assertEqual(probe["local_address"], PC_ADDRESS)

        datagram = json.loads(wait_until(lambda: heard.is_file() and heard.read_text(), "the broadcast"))
        self.assertEqual(datagram["sender"][0], PC_ADDRESS)
        self.assertEqual(bytes.fromhex(datagram["payload"]), b"ZVR-PROBE " + bytes.fromhex(pc_mac.replace(":", "")))

        # The oversized reply fails to read and is consumed; the short one follows.
        self.assertEqual(probe["reads"], [-1, len(SHORT)])
        self.assertEqual(bytes.fromhex(probe["first_payload"]), SHORT)


if __name__ == "__main__":
    unittest.main(verbosity=2)
