"""The demo's run, after scripts/demo has set up and built: three simulated
routers of tools/router-sim/demo.ini in a private network namespace, and the
program under Wine in another, joined by a veth pair.

With DISPLAY set, the dialog opens on that screen and the operator updates a
router by hand; the status texts are echoed here. With DISPLAY unset, the demo
drives a whole update itself on a virtual screen and writes a picture of each
stage and the final status text to build/demo/."""
from __future__ import annotations

import os
import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))

from lib.session import FIRMWARE, IDC_INFO_TEXT, Session, message  # noqa: E402
from lib.winenv import WineRun, wait_until  # noqa: E402

SCENARIO = REPO / "tools" / "router-sim" / "demo.ini"
OUTPUT = REPO / "build" / "demo"
PASSWORD = "demo"
ROUTER_LABEL, ROUTER_NAME = "living", "living room"  # its section in demo.ini, its line in the list
# Slow enough that the transfer lasts for its picture (about 6 s).
DEMO_LINK_RATE = "1mbit"

BY_HAND = f"""
The dialog is open on {{display}}. The routers, in a private network:
  living room  192.168.11.10  VQT-RN8 1.02            password: {PASSWORD}
  office       192.168.11.11  VQT-RN8 1.05 (extended)  password: {PASSWORD}
  guest        192.168.11.12  VQT-RN4 2.01: another model, not listed
To update one: wait for the list, click its line, type the password {PASSWORD},
press 実行 and answer はい. It restarts and comes back as VQT-RN8 1.10.
Close the dialog with 終了 to end the demo. The status texts follow here.
"""


def session(run: WineRun) -> Session:
    return Session(run, "demo", scenario_file=SCENARIO, router_count=3, workdir=OUTPUT)


def by_hand(display: str) -> None:
    run = WineRun(display=display)
    try:
        with session(run) as s:
            print(BY_HAND.format(display=display), flush=True)
            shown = 0
            while s.program.poll() is None:
                texts = s.texts(IDC_INFO_TEXT)
                for text in texts[shown:]:
                    print("  " + text.text.replace("\r\n", "\n  "), flush=True)
                shown = len(texts)
                time.sleep(0.2)
    finally:
        run.close()


def picture(s: Session, stage: str) -> Path:
    """The dialog, with its question box when one is open, cut from the screen."""
    snapshot = s.snapshot()
    rects = [snapshot["dialog"]["rect"]] + [box["rect"] for box in snapshot["message_boxes"]]
    left, top = min(r[0] for r in rects), min(r[1] for r in rects)
    right, bottom = max(r[2] for r in rects), max(r[3] for r in rects)
    screen = s.screenshot(stage)
    out = OUTPUT / f"{screen.stem}.png"
    subprocess.run(["convert", str(screen), "-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage",
                    str(out)], check=True)
    return out


def driven() -> None:
    run = WineRun()
    try:
        with session(run) as s:
            pictures = [picture(s, "search")]
            s.wait_status(message(3, 2))
            s.wait_inputs(enabled=True)
            pictures.append(picture(s, "list"))
            s.select(ROUTER_NAME)
            s.wait_status(message(31, "VQT-RN8 1.02", 192, 168, 11, 10))
            pictures.append(picture(s, "details"))
            s.type_password(PASSWORD)
            mark = s.mark()
            s.press_ok()
            pictures.append(picture(s, "question"))
            s.slow_link(DEMO_LINK_RATE)
            s.answer("yes")
            connecting = s.wait_status(message(19), since=mark)
            s.wait_status(message(15), since=connecting.index + 1)
            blocks = FIRMWARE.stat().st_size // 1024
            wait_until(lambda: s.progress()["high"] == blocks and s.progress()["pos"] >= blocks // 2,
                       "half the image on its way")
            pictures.append(picture(s, "transfer"))
            s.wait_status(message(27), since=mark, deadline_s=120)
            s.slow_link(None)
            s.wait_inputs(enabled=True)
            pictures.append(picture(s, "done"))
            final = OUTPUT / "final-status.txt"
            final.write_text(s.status() + "\n", encoding="utf-8")
            [image] = s.images(ROUTER_LABEL)
            print("The demo updated 'living room' (192.168.11.10) with the embedded image:")
            print(f"  the router received {image['size']:,} bytes, SHA-256 {image['sha256']}")
            print(f"  final status text: {s.status()}")
            print(f"Pictures of each stage in {OUTPUT}:")
            for path in pictures + [final]:
                print(f"  {path.relative_to(REPO)}")
    finally:
        run.close()


def main() -> None:
    if os.geteuid() != 0:
        sys.exit("scripts/demo: run as root (it makes network namespaces)")
    OUTPUT.mkdir(parents=True, exist_ok=True)
    display = os.environ.get("DISPLAY")
    try:
        by_hand(display) if display else driven()
    except KeyboardInterrupt:
        print("\nscripts/demo: stopped; the namespaces are gone")


if __name__ == "__main__":
    main()
