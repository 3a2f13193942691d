"""The program opens: start-up, single instance, the embedded image, the
platform check and the dialog's surface, under Wine with a Japanese locale.

The dialog may start a search as soon as it opens, so nothing here depends
on the status text, the router list or the progress bar, and buttons are
pressed only once they are enabled."""
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from lib.winenv import (APP_CAPTION, ARTIFACTS, PROGRAM, PROGRAM_EMPTY_IMAGE, PROGRAM_NO_IMAGE, WineTestCase,
                        wait_until)

MAIN_WINDOW_CLASS = "ZVR_FIRMWARE_UPDATE_UTILITY"
IDOK, IDCANCEL, IDC_RESEARCH = 1, 2, 1009
MSG_CANCEL_BUTTON = "キャンセル"
MSG_RESEARCH_BUTTON = "再検索(&R)"
MSG_UNSUPPORTED_OS = "このOSでは実行できません。"
MSG_IMAGE_UNREADABLE = "ファームウェアが読み込めません。"

# Window styles.
WS_POPUP, WS_CHILD, WS_VISIBLE, WS_DISABLED = 0x80000000, 0x40000000, 0x10000000, 0x08000000
WS_CLIPSIBLINGS, WS_CAPTION, WS_BORDER, WS_DLGFRAME = 0x04000000, 0x00C00000, 0x00800000, 0x00400000
WS_VSCROLL, WS_HSCROLL, WS_SYSMENU, WS_THICKFRAME = 0x00200000, 0x00100000, 0x00080000, 0x00040000
WS_GROUP, WS_TABSTOP = 0x00020000, 0x00010000
WS_MINIMIZEBOX, WS_MAXIMIZEBOX = 0x00020000, 0x00010000
DS_3DLOOK, DS_MODALFRAME, DS_SETFONT = 0x0004, 0x0080, 0x0040
SS_LEFT = 0x0000
LBS_NOTIFY, LBS_NOINTEGRALHEIGHT = 0x0001, 0x0100
ES_MULTILINE, ES_PASSWORD, ES_AUTOHSCROLL, ES_READONLY = 0x0004, 0x0020, 0x0080, 0x0800
BS_PUSHBUTTON, BS_DEFPUSHBUTTON = 0x0000, 0x0001
WS_EX_NOPARENTNOTIFY, WS_EX_CLIENTEDGE, WS_EX_STATICEDGE = 0x0004, 0x0200, 0x20000
WS_POPUPWINDOW = WS_POPUP | WS_BORDER | WS_SYSMENU

DIALOG_STYLE = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT
assert DIALOG_STYLE == 0x80C800C0
# What the dialog manager adds to a visible modal dialog of a 4.0 program.
DIALOG_STYLE_ADDED = WS_VISIBLE | WS_CLIPSIBLINGS | DS_3DLOOK

# The template, in its order: id, class, text, style beyond WS_CHILD | WS_VISIBLE.
# None as text: the control's text is the program's to change.
TEMPLATE = [
    (1013, "Static", "ネトリア(&A)：", SS_LEFT | WS_GROUP),
    (1008, "ListBox", "", WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT),
    (1018, "Edit", None, WS_BORDER | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_READONLY),
    (1014, "Static", "パスワード(&P)：", SS_LEFT | WS_GROUP),
    (1010, "Edit", "", WS_BORDER | WS_TABSTOP | ES_PASSWORD | ES_AUTOHSCROLL),
    (1002, "msctls_progress32", "", WS_BORDER),
    (IDOK, "Button", "実行", BS_DEFPUSHBUTTON | WS_TABSTOP),
    (IDC_RESEARCH, "Button", None, BS_PUSHBUTTON | WS_TABSTOP),
    (IDCANCEL, "Button", "終了", BS_PUSHBUTTON | WS_TABSTOP),
]
# A bordered control of a 3D-look dialog shows its border as an edge style
# instead, and a list box shows its scroll bar only when its lines need it.
# The disabled bit is the program's to switch.
STYLE_MANAGED = {"ListBox": WS_BORDER | WS_VSCROLL | WS_DISABLED}
STYLE_MANAGED_DEFAULT = WS_BORDER | WS_DISABLED
EXSTYLE_ADDED = WS_EX_NOPARENTNOTIFY | WS_EX_CLIENTEDGE | WS_EX_STATICEDGE


def truncating_half(value: int) -> int:
    """value / 2 as C truncates it, toward zero."""
    return int(value / 2)


def by_id(dialog: dict) -> dict[int, dict]:
    return {control["id"]: control for control in dialog["controls"]}


class ShellTest(WineTestCase):

    def end_with_cancel(self, proc) -> int:
        """Presses 終了 once it takes input and returns the exit code."""
        def cancel_enabled():
            dialog = self.wine.snapshot()["dialog"]
            return dialog is not None and by_id(dialog)[IDCANCEL]["enabled"]

        wait_until(cancel_enabled, "終了 to be enabled")
        self.wine.press(IDCANCEL)
        return self.wine.exit_code(proc)

    def test_dialog_surface_matches_the_template_and_lies_centred_on_the_desktop(self):
        proc = self.wine.start(PROGRAM)
        dialog = self.wine.wait_for_dialog()
        snapshot = self.wine.snapshot()
        self.assertEqual(snapshot["acp"], 932)

        self.assertEqual(dialog["text"], APP_CAPTION)
        self.assertEqual(dialog["style"] & ~DIALOG_STYLE_ADDED, DIALOG_STYLE, hex(dialog["style"]))
        self.assertFalse(dialog["style"] & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX))

        self.assertEqual([c["id"] for c in dialog["controls"]], [row[0] for row in TEMPLATE], "template order")
        for control_id, class_name, text, style in TEMPLATE:
            control = by_id(dialog)[control_id]
            with self.subTest(control=control_id):
                self.assertEqual(control["class"], class_name)
                if text is not None:
                    self.assertEqual(control["text"], text)
                managed = STYLE_MANAGED.get(class_name, STYLE_MANAGED_DEFAULT)
                self.assertEqual(control["style"] & ~managed, (WS_CHILD | WS_VISIBLE | style) & ~managed,
                                 hex(control["style"]))
                self.assertEqual(control["exstyle"] & ~EXSTYLE_ADDED, 0, hex(control["exstyle"]))
        # The re-search button reads message 2, or message 1 while a search runs.
        self.assertIn(by_id(dialog)[IDC_RESEARCH]["text"], (MSG_RESEARCH_BUTTON, MSG_CANCEL_BUTTON))
        self.assertEqual(dialog["focus"], IDC_RESEARCH)

        # The zero-size main window at the desktop's centre owns the dialog,
        # which the core centres over it.
        left, top, right, bottom = snapshot["desktop"]["client"]
        mains = snapshot["main_windows"]
        self.assertEqual(len(mains), 1)
        main = mains[0]
        centre = [truncating_half(right - left), truncating_half(bottom - top)]
        self.assertEqual(main["rect"], centre * 2)
        self.assertEqual(main["text"], APP_CAPTION)
        self.assertEqual(main["style"] & ~(WS_VISIBLE | WS_CLIPSIBLINGS | WS_DISABLED), WS_POPUPWINDOW,
                         hex(main["style"]))
        self.assertTrue(main["visible"])
        x0, y0, x1, y1 = dialog["rect"]
        self.assertEqual([x0, y0], [centre[0] + truncating_half(-(x1 - x0)), centre[1] + truncating_half(-(y1 - y0))])

        shot = self.wine.screenshot("dialog")
        ARTIFACTS.mkdir(parents=True, exist_ok=True)
        shot.replace(ARTIFACTS / "dialog.png")  # for a person to look at
        self.assertEqual(self.end_with_cancel(proc), 0)

    def test_second_instance_restores_the_first_and_ends_with_one(self):
        first = self.wine.start(PROGRAM, "first")
        self.wine.wait_for_dialog()
        self.assertTrue(self.wine.driver("minimize-main")["ok"])
        main = wait_until(lambda: [m for m in self.wine.snapshot()["main_windows"] if m["iconic"]],
                          "the main window to be minimised")[0]

        second = self.wine.start(PROGRAM, "second")
        self.assertEqual(self.wine.exit_code(second), 1)

        def restored_in_front():
            snapshot = self.wine.snapshot()
            front = snapshot["foreground"]
            restored = [m for m in snapshot["main_windows"] if m["hwnd"] == main["hwnd"] and not m["iconic"]]
            return snapshot if restored and front and front["hwnd"] == main["hwnd"] else None

        after = wait_until(restored_in_front, "the first instance's main window restored in the foreground")
        self.assertEqual(len(after["main_windows"]), 1, "the second instance made no window")
        self.assertEqual(after["message_boxes"], [])
        self.assertIsNone(first.poll(), "the first instance still runs")
        self.assertEqual(self.end_with_cancel(first), 0)

    def test_unreadable_image_shows_message_10_owned_by_the_main_window_and_ends_with_zero(self):
        for exe in (PROGRAM_NO_IMAGE, PROGRAM_EMPTY_IMAGE):
            with self.subTest(exe=exe.name):
                proc = self.wine.start(exe, exe.stem)
                box = self.wine.wait_for_message_box()
                self.assertEqual(box["message"], MSG_IMAGE_UNREADABLE)
                self.assertEqual(box["text"], APP_CAPTION)
                self.assertEqual([b["id"] for b in box["buttons"]], [IDOK])
                self.assertIsNotNone(box["owner"])
                self.assertEqual(box["owner"]["class"], MAIN_WINDOW_CLASS)
                self.wine.screenshot(f"{exe.stem}-message")
                self.assertIsNone(self.wine.snapshot()["dialog"], "no dialog without an image")
                self.wine.answer("ok")
                self.assertEqual(self.wine.exit_code(proc), 0)

    def test_platform_check_accepts_the_nt_and_9x_families_only(self):
        key = r"HKCU\Software\Wine\AppDefaults\zvrupdate.exe"
        # Wine reports platform id 0 (Win32s) for win31, 1 for the 9x and 2 for the NT versions.
        for version, supported in (("win31", False), ("win98", True), ("winxp", True)):
            with self.subTest(version=version):
                self.wine.set_registry(key, "Version", version)
                proc = self.wine.start(PROGRAM, f"program-{version}")
                if supported:
                    self.wine.wait_for_dialog()
                    self.assertEqual(self.end_with_cancel(proc), 0)
                    continue
                box = self.wine.wait_for_message_box()
                self.assertEqual(box["message"], MSG_UNSUPPORTED_OS)
                self.assertEqual(box["text"], APP_CAPTION)
                self.assertIsNone(box["owner"], "the box has no owner")
                snapshot = self.wine.snapshot()
                self.assertEqual(snapshot["main_windows"], [], "nothing else is created")
                self.wine.screenshot(f"{version}-message")
                self.wine.answer("ok")
                self.assertEqual(self.wine.exit_code(proc), 1)


if __name__ == "__main__":
    unittest.main(verbosity=2)
