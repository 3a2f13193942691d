"""Private test networks: a "pc" namespace and a "router" namespace joined by
a veth pair, so that the program's broadcasts and the simulated routers'
replies never touch the machine's own network."""
from __future__ import annotations

import ctypes
import ipaddress
import os
import signal
import socket
import subprocess
import time
from dataclasses import dataclass, field

SUBNET = ipaddress.ip_network("192.168.11.0/24")
PC_ADDRESS = "192.168.11.2"
GATEWAY_ADDRESS = "192.168.11.254"  # the router side's own address; the pc's default route
FIRST_ROUTER_HOST = 10  # routers get 192.168.11.10, .11, ...


def _ip(*args: str, namespace: str | None = None, check: bool = True) -> subprocess.CompletedProcess:
    cmd = ["ip"] + (["-n", namespace] if namespace else []) + list(args)
    return subprocess.run(cmd, check=check, capture_output=True, text=True)


@dataclass
class NetLab:
    """Two namespaces and a veth link. Use as a context manager; it always
    tears down what it made, the processes it started included."""

    tag: str = field(default_factory=lambda: f"{os.getpid() % 100000}")
    router_addresses: list[str] = field(default_factory=list)
    _processes: list[subprocess.Popen] = field(default_factory=list)
    _up: bool = False

    @property
    def pc(self) -> str:
        return f"zvr-pc-{self.tag}"

    @property
    def router(self) -> str:
        return f"zvr-rt-{self.tag}"

    @property
    def pc_link(self) -> str:
        return f"zvp{self.tag}"

    @property
    def router_link(self) -> str:
        return f"zvr{self.tag}"

    def __enter__(self) -> "NetLab":
        self.up()
        return self

    def __exit__(self, *exc) -> None:
        self.down()

    def up(self, router_count: int = 1) -> None:
        self.down()  # a leftover of a killed run with the same tag
        _ip("netns", "add", self.pc)
        _ip("netns", "add", self.router)
        self._up = True
        _ip("link", "add", self.pc_link, "netns", self.pc, "type", "veth",
            "peer", "name", self.router_link, "netns", self.router)
        for ns, link, address in ((self.pc, self.pc_link, PC_ADDRESS),
                                  (self.router, self.router_link, GATEWAY_ADDRESS)):
            _ip("link", "set", "lo", "up", namespace=ns)
            _ip("addr", "add", f"{address}/{SUBNET.prefixlen}", "dev", link, namespace=ns)
            _ip("link", "set", link, "up", namespace=ns)
        # Without a default route a broadcast to 255.255.255.255 fails with
        # "network unreachable".
        _ip("route", "add", "default", "via", GATEWAY_ADDRESS, "dev", self.pc_link, namespace=self.pc)
        _ip("route", "add", "default", "via", PC_ADDRESS, "dev", self.router_link, namespace=self.router)
        self.add_router_addresses(router_count)
        self._wait_link_up()

    def add_router_addresses(self, count: int) -> list[str]:
        """Gives the router side `count` more addresses, one per simulated router."""
        for _ in range(count):
            address = str(SUBNET.network_address + FIRST_ROUTER_HOST + len(self.router_addresses))
            _ip("addr", "add", f"{address}/{SUBNET.prefixlen}", "dev", self.router_link, namespace=self.router)
            self.router_addresses.append(address)
        return self.router_addresses

    def _wait_link_up(self, deadline_s: float = 10.0) -> None:
        end = time.monotonic() + deadline_s
        while time.monotonic() < end:
            out = _ip("-br", "link", "show", self.pc_link, namespace=self.pc).stdout
            if "LOWER_UP" in out or " UP " in out:
                return
            time.sleep(0.05)
        raise RuntimeError(f"veth {self.pc_link} did not come up")

    def shape(self, rate: str, namespace: str | None = None, burst: str = "64kb", latency: str = "100ms") -> None:
        """Rate-shapes the pc's sending side (the image's direction) with tbf;
        netem is not available on these kernels."""
        ns = namespace or self.pc
        link = self.pc_link if ns == self.pc else self.router_link
        subprocess.run(["ip", "netns", "exec", ns, "tc", "qdisc", "replace", "dev", link, "root", "tbf",
                        "rate", rate, "burst", burst, "latency", latency], check=True)

    def unshape(self) -> None:
        subprocess.run(["ip", "netns", "exec", self.pc, "tc", "qdisc", "del", "dev", self.pc_link, "root"],
                       check=False, capture_output=True)

    def hardware_address(self, namespace: str) -> str:
        link = self.pc_link if namespace == self.pc else self.router_link
        return _ns_link_address(namespace, link)

    def popen(self, namespace: str, argv: list[str], **kwargs) -> subprocess.Popen:
        """Starts a process inside a namespace; it is killed at teardown."""
        proc = subprocess.Popen(["ip", "netns", "exec", namespace] + argv, start_new_session=True, **kwargs)
        self._processes.append(proc)
        return proc

    def run(self, namespace: str, argv: list[str], **kwargs) -> subprocess.CompletedProcess:
        return subprocess.run(["ip", "netns", "exec", namespace] + argv, **kwargs)

    def socket(self, namespace: str, kind: int = socket.SOCK_DGRAM) -> socket.socket:
        """An IPv4 socket that lives in `namespace`, so that a test can talk from
        there without a helper process. Only the making of the socket happens
        inside; the calling thread returns to its own namespace at once."""
        with open("/proc/thread-self/ns/net") as own, open(f"/run/netns/{namespace}") as target:
            _setns(target.fileno())
            try:
                return socket.socket(socket.AF_INET, kind)
            finally:
                _setns(own.fileno())

    def down(self) -> None:
        for proc in self._processes:
            _kill_group(proc)
        self._processes.clear()
        for ns in (self.pc, self.router):
            for pid in pids_in_namespace(ns):
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            _ip("netns", "del", ns, check=False)
        self.router_addresses = []
        self._up = False


_CLONE_NEWNET = 0x40000000
_libc = ctypes.CDLL(None, use_errno=True)


def _setns(fd: int) -> None:
    if _libc.setns(fd, _CLONE_NEWNET) != 0:
        err = ctypes.get_errno()
        raise OSError(err, f"setns: {os.strerror(err)}")


def _ns_link_address(namespace: str, link: str) -> str:
    out = _ip("-br", "link", "show", link, namespace=namespace).stdout.split()
    return out[2]


def _kill_group(proc: subprocess.Popen) -> None:
    if proc.poll() is not None:
        return
    try:
        os.killpg(proc.pid, signal.SIGTERM)
        proc.wait(timeout=5)
    except (ProcessLookupError, subprocess.TimeoutExpired):
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        proc.wait()


def pids_in_namespace(namespace: str) -> list[int]:
    """Every process with a thread in the namespace. `ip netns pids` misses
    Wine processes whose main thread has ended, so look at each thread."""
    try:
        target = os.stat(f"/run/netns/{namespace}")
    except FileNotFoundError:
        return []
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            for tid in os.listdir(f"/proc/{entry}/task"):
                st = os.stat(f"/proc/{entry}/task/{tid}/ns/net")
                if (st.st_dev, st.st_ino) == (target.st_dev, target.st_ino):
                    found.append(int(entry))
                    break
        except (FileNotFoundError, PermissionError, ProcessLookupError):
            continue
    return found
