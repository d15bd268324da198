"""The popup, floating and menu windows of the windowed program as a person uses them: under Xvfb
and openbox, with a program in front that logs its keys and pastes like an editor (paste_target),
driven with xdotool. Usage: picking_test.py QUILLET TRAY_WATCHER PASTE_TARGET [unittest args]."""

import os
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import windowed_test  # noqa: E402
from desktop import read_line, stop, wait_for  # noqa: E402

PASTE_TARGET = None


class Picking:
    """The program with records (the first given at the front of the list) and, in front, the
    editor the user types in."""

    def __init__(self, test, records=(), config=None, grab=None, before_start=None):
        self.program = windowed_test.Program(test, config=config)
        self.desktop = self.program.desktop
        # The window manager is up once it names its check window on the root.
        wait_for(lambda: "window id" in self.desktop.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"],
                                                         check=False).stdout, what="the window manager")
        self.keys = os.path.join(self.desktop.folder, "keys")
        self.pasted_file = os.path.join(self.desktop.folder, "pasted")
        argv = [PASTE_TARGET, "--class", "Editor", "--keys", self.keys, "--pasted", self.pasted_file]
        if grab:
            argv += ["--grab", grab]
        self.target = self.desktop.start(argv, stdout=subprocess.PIPE)
        self.window = read_line(self.target.stdout, 20)
        if not self.window:
            raise AssertionError("the editor did not show")
        wait_for(lambda: self.active() == self.window, what="the editor to have the focus")
        if before_start:
            before_start(self)
        self.program.start()
        self.program.wait_tray_item()
        self._wait_shortcuts(config)
        for text in reversed(records):
            self.program.cli("add", "--text", text)

    def _wait_shortcuts(self, config):
        """Until the program has its shortcuts: Super+B opens the (still empty) popup; letting go
        of Super closes it with nothing to paste. Then the editor forgets the keys it saw."""
        modifier = "ctrl" if (config or {}).get(1) == "1" else "super"
        self.xdo("keydown", modifier)

        def press_b():
            self.xdo("key", "b")
            try:
                return wait_for(self.popup_shows, timeout=0.5)
            except AssertionError:
                return False

        wait_for(press_b, timeout=20, what="the shortcuts")
        self.xdo("keyup", modifier)
        self.wait_popup(False)
        open(self.keys, "w").close()

    def xdo(self, *words):
        self.desktop.run(["xdotool", *words])

    def active(self):
        return self.desktop.run(["xdotool", "getactivewindow"], check=False).stdout.strip()

    def pasted(self):
        try:
            with open(self.pasted_file, encoding="utf-8") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def key_log(self):
        try:
            with open(self.keys, encoding="utf-8") as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def popup_shows(self):
        return bool(self.desktop.visible_windows("quillet-popup"))

    def wait_popup(self, shown=True):
        wait_for(lambda: self.popup_shows() == shown, what="the popup to " + ("show" if shown else "go"))

    def wait_pasted(self, text):
        try:
            wait_for(lambda: self.pasted() == text, what="the editor to hold " + repr(text))
        except AssertionError as e:
            raise AssertionError("%s; it holds %r after the keys %s" % (e, self.pasted(), self.key_log())) from None

    def wait_key(self, line):
        wait_for(lambda: line in [" ".join(k.split()[:2]) for k in self.key_log()], what="the editor to get " + line)

    def geometry(self, instance):
        windows = self.desktop.visible_windows(instance)
        if not windows:
            return None
        out = self.desktop.run(["xdotool", "getwindowgeometry", "--shell", windows[0]]).stdout
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def clipboard_targets(self):
        return self.desktop.run(["xclip", "-selection", "clipboard", "-t", "TARGETS", "-o"],
                                check=False).stdout.split()


class PickingWindowsTest(unittest.TestCase):

    def test_super_v_opens_the_popup_v_moves_and_releasing_super_pastes(self):
        p = Picking(self, records=["first", "second", "third"])
        p.xdo("keydown", "super")
        p.xdo("key", "v")
        p.wait_popup()
        self.assertEqual(p.active(), p.window)  # the editor keeps the focus
        p.xdo("key", "v")
        p.xdo("keyup", "super")
        p.wait_pasted("second")
        p.wait_popup(False)
        self.assertEqual(p.active(), p.window)

    def test_enter_pastes_at_once_and_escape_closes_and_reaches_the_editor(self):
        p = Picking(self, records=["first", "second"])
        p.xdo("keydown", "super")
        p.xdo("key", "v")
        p.wait_popup()
        p.xdo("key", "Return")
        p.wait_pasted("first")
        p.wait_popup(False)
        p.xdo("keyup", "super")  # the popup is gone: letting go pastes nothing more

        p.xdo("keydown", "super")
        p.xdo("key", "v")
        p.wait_popup()
        p.xdo("key", "Escape")
        p.wait_popup(False)
        p.wait_key("press Escape")
        p.xdo("keyup", "super")
        p.xdo("key", "x")
        p.wait_key("press x")
        self.assertEqual(p.pasted(), "first")

    def test_super_b_pastes_only_the_text_of_a_record_with_html(self):
        p = Picking(self)
        html = os.path.join(p.desktop.folder, "words.html")
        with open(html, "w", encoding="utf-8") as f:
            f.write("<b>bold</b> words")
        p.program.cli("add", "--text", "bold words", "--html", html)
        p.xdo("keydown", "super")
        p.xdo("key", "b")
        p.wait_popup()
        p.xdo("keyup", "super")
        p.wait_pasted("bold words")
        targets = p.clipboard_targets()
        self.assertIn("UTF8_STRING", targets)
        self.assertNotIn("text/html", targets)

    def test_ctrl_v_as_the_popup_shortcut_pastes_once_and_opens_the_popup_twice(self):
        p = Picking(self, records=["first", "second"], config={25: "0", 1: "1"})
        p.program.cli("copy", "0", "0")
        p.xdo("keydown", "ctrl")
        p.xdo("key", "v")
        p.xdo("keyup", "ctrl")  # Ctrl+V once: what is on the clipboard, as always
        p.wait_pasted("first")
        self.assertFalse(p.popup_shows())

        p.xdo("keydown", "ctrl")
        p.xdo("key", "v")
        p.xdo("key", "v")
        p.wait_popup()
        p.xdo("key", "v")
        p.xdo("keyup", "ctrl")
        p.wait_pasted("firstsecond")

    def test_with_shift_held_the_shortcut_does_nothing(self):
        p = Picking(self, records=["first"])
        p.xdo("keydown", "super", "keydown", "shift")
        p.xdo("key", "v")
        p.xdo("keyup", "shift", "keyup", "super")
        p.wait_key("press v")  # the editor got the key
        self.assertFalse(p.popup_shows())
        self.assertEqual(p.pasted(), "")

    def test_a_shortcut_another_program_holds_is_reported(self):
        lines = []

        def notifications(picking):
            server = picking.desktop.start(["/usr/bin/python3", os.path.join(HERE, "notifications.py")],
                                           stdout=subprocess.PIPE)
            self.assertEqual(read_line(server.stdout, 10), "ready")
            lines.append(server)

        p = Picking(self, records=["first"], grab="v", before_start=notifications)
        note = read_line(lines[0].stdout, 10)
        self.assertIsNotNone(note, "no notification")
        self.assertIn("Super+V is in use by another program", note)
        self.assertIn("Options", note)
        # The plain-text shortcut still works.
        p.xdo("keydown", "super")
        p.xdo("key", "b")
        p.wait_popup()
        p.xdo("keyup", "super")
        p.wait_pasted("first")

    def test_floating_keys_collapse_hide_and_bring_back_the_floating_window(self):
        p = Picking(self, records=["first"])
        expanded = p.geometry("quillet-floating")
        self.assertEqual(p.active(), p.window)
        p.xdo("key", "super+Left")
        wait_for(lambda: (p.geometry("quillet-floating") or expanded)[3] < expanded[3], what="toolbar mode")
        p.xdo("key", "super+Left")
        wait_for(lambda: p.geometry("quillet-floating") is None, what="the floating window to go")
        p.xdo("key", "super+Right")
        wait_for(lambda: p.geometry("quillet-floating") == expanded, what="the floating window back, expanded")
        self.assertEqual(p.active(), p.window)
        self.assertEqual([k for k in p.key_log() if "Super" not in k], [])  # the arrows were the program's

    def test_menu_window_click_outside_or_escape_hides_it_and_a_click_on_a_row_pastes(self):
        p = Picking(self, records=["first", "second"], config={15: "0"})

        def open_menu():
            p.xdo("mousemove", "200", "150")
            p.program.tray_call("Activate", 200, 150)
            wait_for(lambda: p.desktop.visible_windows("quillet-menu"), what="the menu window")
            return p.geometry("quillet-menu")

        self.assertEqual(open_menu()[:2], (200, 150))  # at the pointer, in the screen's top left quarter
        p.xdo("mousemove", "900", "700", "click", "1")
        wait_for(lambda: not p.desktop.visible_windows("quillet-menu"), what="the menu window to go")

        open_menu()
        p.xdo("key", "Escape")
        wait_for(lambda: not p.desktop.visible_windows("quillet-menu"), what="Escape to close the menu window")

        x, y, _, _ = open_menu()
        p.xdo("mousemove", str(x + 30), str(y + 28), "click", "1")  # the first row, under the tabs
        p.wait_pasted("first")
        self.assertFalse(p.desktop.visible_windows("quillet-menu"))
        self.assertEqual(p.active(), p.window)

    def test_the_popup_opens_at_the_caret_of_the_focused_text(self):
        caret_target = os.environ.get("QUILLET_CARET_TARGET")
        if not caret_target:
            self.skipTest("built without the accessibility bus's library")
        program = windowed_test.Program(self)
        desktop = program.desktop
        editor = desktop.start([caret_target], stdout=subprocess.PIPE)
        line = read_line(editor.stdout, 20)  # the line edit's rectangle once it has the focus
        self.assertIsNotNone(line, "the line edit did not get the focus")
        x, y, width, height = (int(v) for v in line.split())
        desktop.run(["xdotool", "mousemove", "1000", "750"])  # not over the editor
        program.start()
        program.wait_tray_item()
        desktop.run(["xdotool", "keydown", "super"])

        def popup_place():
            desktop.run(["xdotool", "key", "v"])
            try:
                windows = wait_for(lambda: desktop.visible_windows("quillet-popup"), timeout=0.5)
            except AssertionError:
                return None
            out = desktop.run(["xdotool", "getwindowgeometry", "--shell", windows[0]]).stdout
            values = dict(item.split("=", 1) for item in out.split() if "=" in item)
            return int(values["X"]), int(values["Y"])

        left, top = wait_for(popup_place, timeout=20, what="the popup")
        desktop.run(["xdotool", "key", "Escape", "keyup", "super"])
        # At the caret after "hello caret": inside the line edit, well right of its left edge
        # (the window's corner) and far from the pointer.
        self.assertGreater(left, x + 20)
        self.assertLess(left, x + width)
        self.assertGreaterEqual(top, y)
        self.assertLess(top, y + height)

    def test_popup_command_opens_the_popup_and_the_daemon_refuses_it(self):
        p = Picking(self, records=["first", "second"])
        p.xdo("keydown", "super")  # as when the desktop runs the command for Super+V
        self.assertEqual(p.program.cli("popup").returncode, 0)
        p.wait_popup()
        self.assertEqual(p.active(), p.window)
        p.program.cli("popup")  # again: the next record
        p.xdo("keyup", "super")
        p.wait_pasted("second")

        stop(p.program.process)
        daemon = p.desktop.start([windowed_test.QUILLET, "--data-dir", p.program.folder, "daemon"])
        refusal = wait_for(lambda: (lambda r: r if "no windows" in r.stderr else None)(
            p.program.cli("popup", "--plain", check=False)), what="the daemon's answer")
        self.assertEqual(refusal.returncode, 1)
        self.assertIn("quillet", refusal.stderr)
        stop(daemon)


if __name__ == "__main__":
    windowed_test.QUILLET, windowed_test.WATCHER, PASTE_TARGET = sys.argv[1], sys.argv[2], sys.argv[3]
    unittest.main(argv=[sys.argv[0]] + sys.argv[4:])
