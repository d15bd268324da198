"""The windowed program under Xvfb and openbox, with a stand-in tray on a private session bus,
driven with xdotool and the tray's D-Bus interface and read back through the accessibility tree,
the tray and the data folder. Usage: windowed_test.py QUILLET TRAY_WATCHER [unittest args]."""

import hashlib
import http.server
import json
import os
import signal
import subprocess
import sys
import threading
import time
import unittest

import dbus

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop import Desktop, read_line, stop, wait_for  # noqa: E402

QUILLET = None
WATCHER = None
HERE = os.path.dirname(os.path.abspath(__file__))


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


class Program:
    """One desktop and the program on it, with its own data folder."""

    def __init__(self, test, with_tray=True, config=None, first_run=False):
        self.desktop = Desktop(WATCHER, with_tray=with_tray)
        test.addCleanup(self.close)
        self.folder = os.path.join(self.desktop.folder, "quillet-data")
        os.mkdir(self.folder)
        # A configuration file, so that no first-run question waits at start.
        if not first_run:
            self.cli("config", "set", "36", "1")
        for key, value in (config or {}).items():
            self.cli("config", "set", str(key), value)
        self.process = None
        self.item = None

    def cli(self, *words, check=True):
        return self.desktop.run([QUILLET, "--data-dir", self.folder, *words], check=check)

    def start(self, *extra):
        self.process = self.desktop.start([QUILLET, "--data-dir", self.folder, *extra])
        return self.process

    def wait_tray_item(self):
        """The bus name of the program's tray item once it registered."""
        while True:
            line = read_line(self.desktop.tray.stdout, 10)
            if line is None:
                raise AssertionError("the tray icon did not appear")
            if line.startswith("registered "):
                self.item = line.split(" ", 1)[1]
                return self.item

    def bus(self):
        return dbus.bus.BusConnection(self.desktop.env["DBUS_SESSION_BUS_ADDRESS"])

    def tray_call(self, method, x=500, y=10):
        bus = self.bus()
        item = bus.get_object(self.item, "/StatusNotifierItem")
        getattr(item, method)(dbus.Int32(x), dbus.Int32(y), dbus_interface="org.kde.StatusNotifierItem")
        bus.close()

    def tray_icon_pixels(self):
        bus = self.bus()
        item = bus.get_object(self.item, "/StatusNotifierItem")
        pixmaps = item.Get("org.kde.StatusNotifierItem", "IconPixmap", dbus_interface=dbus.PROPERTIES_IFACE)
        bus.close()
        return hashlib.sha256(b"".join(bytes(p[2]) for p in pixmaps)).hexdigest()

    def accessible(self):
        result = self.desktop.run(["/usr/bin/python3", os.path.join(HERE, "accessible_tree.py"), "Quillet"])
        return [json.loads(line) for line in result.stdout.splitlines()]

    def accessible_named(self, role, name):
        return [n for n in self.accessible() if n["role"] == role and n["name"] == name]

    def main_visible(self):
        return bool(self.desktop.visible_windows("quillet-main"))

    def show_main(self):
        """Shows the main window as a second start does, and waits until its rows are read."""
        self.desktop.run([QUILLET, "--data-dir", self.folder], check=False)
        wait_for(self.main_visible, what="the main window")
        return wait_for(lambda: (lambda n: n if list_tabs(n) else None)(self.accessible()),
                        what="the main window's tabs")

    def click(self, node, button=1):
        x, y, width, height = node["box"]
        self.desktop.run(["xdotool", "mousemove", str(x + min(20, width // 2)), str(y + height // 2),
                          "click", str(button)])

    def wait_exit(self, timeout=15):
        return self.process.wait(timeout)

    def close(self):
        stop(self.process)
        self.desktop.close()


def menu_items(nodes, menu_name):
    """Names of the items of a menu bar menu, with their states."""
    menus = [n for n in nodes if n["role"] == "menu item" and n["name"] == menu_name]
    if not menus:
        return []
    path = menus[0]["path"]
    items = [n for n in nodes if n["path"][:len(path)] == path and len(n["path"]) == len(path) + 2
             and n["role"] in ("menu item", "check menu item", "separator")]
    return items


def showing(node):
    return "invisible" not in node["states"] and "visible" in node["states"]


def inside(nodes, name):
    """The nodes below the first node called `name`."""
    top = next((n for n in nodes if n["name"] == name), None)
    if top is None:
        return []
    path = top["path"]
    return [n for n in nodes if n["path"][:len(path)] == path and len(n["path"]) > len(path)]


def list_tabs(nodes):
    """The main window's list tabs, in their order."""
    return [n for n in inside(nodes, "List tabs") if n["role"] == "page tab"]


def tab_names(nodes):
    return [n["name"] for n in list_tabs(nodes)]


def shown_rows(nodes):
    """The rows of the list the main window shows, top first."""
    return [n for n in inside(nodes, "Clipboard history") if n["role"] == "list item" and showing(n)]


def row_names(nodes):
    return [n["name"] for n in shown_rows(nodes)]


def shown_list(nodes):
    """The name of the list whose rows the main window shows."""
    history = next((n for n in nodes if n["name"] == "Clipboard history"), None)
    if history is None:
        return None
    depth = len(history["path"]) + 1
    lists = [n["name"] for n in inside(nodes, "Clipboard history")
             if len(n["path"]) == depth and n["name"] != "List tabs" and showing(n)]
    return lists[0] if lists else None


def viewer_text(nodes):
    texts = [n["text"] for n in inside(nodes, "Record viewer") if n["role"] == "text" and showing(n)]
    return texts[0] if texts else None


class WindowedProgramTest(unittest.TestCase):

    def test_tray_icon_appears_and_main_window_stays_hidden(self):
        program = Program(self)
        program.start()
        program.wait_tray_item()
        time.sleep(0.5)
        self.assertFalse(program.main_visible())
        self.assertIsNone(program.process.poll())
        # The tray's left click with nothing open opens no main window either.
        program.tray_call("Activate")
        time.sleep(0.3)
        self.assertFalse(program.main_visible())

    def test_second_start_shows_main_window_and_exits_zero(self):
        program = Program(self)
        program.start()
        program.wait_tray_item()
        second = program.desktop.run([QUILLET, "--data-dir", program.folder], check=False)
        self.assertEqual(second.returncode, 0, second.stderr)
        windows = wait_for(lambda: program.desktop.visible_windows("quillet-main"), what="the main window")
        self.assertIn('"quillet-main", "Quillet"', program.desktop.window_class(windows[0]))
        self.assertIsNone(program.process.poll())
        # View > Main Window minimizes it, and minimized it leaves the screen and the taskbar
        # (withdrawn, not iconic).
        program.desktop.key("alt+v", "m")
        wait_for(lambda: "Withdrawn" in program.desktop.run(["xprop", "-id", windows[0], "WM_STATE"],
                                                            check=False).stdout
                 or "not found" in program.desktop.run(["xprop", "-id", windows[0], "WM_STATE"],
                                                       check=False).stdout,
                 what="the main window to be withdrawn")
        self.assertFalse(program.main_visible())

    def test_pause_and_start_in_file_and_tray_menus_and_toolbar(self):
        program = Program(self)
        program.start()
        program.wait_tray_item()

        def visible_items(nodes, menu):
            return [n["name"] for n in menu_items(nodes, menu) if n["role"] != "separator" and showing(n)]

        def toolbar_buttons(nodes):
            return [n["name"] for n in nodes if n["role"] == "push button" and showing(n)
                    and n["name"] in ("Start", "Pause")]

        program.cli("pause", check=False)  # through the running program's control socket
        program.desktop.run([QUILLET, "--data-dir", program.folder], check=False)  # show the main window
        wait_for(program.main_visible, what="the main window")
        program.desktop.key("alt+f")
        nodes = wait_for(lambda: (lambda n: n if "Start" in visible_items(n, "File") else None)(program.accessible()),
                         what="File menu with Start")
        self.assertEqual(visible_items(nodes, "File"), ["Start", "Exit"])
        self.assertEqual(toolbar_buttons(nodes), ["Start"])
        program.desktop.key("Escape")
        # The key must reach the File menu before the tray menu opens, or it closes that one.
        wait_for(lambda: not program.desktop.visible_windows("quillet"), what="the File menu to close")

        # The tray menu (a popup, outside the accessibility tree) is read through its mnemonics:
        # while paused it offers "&Start" and no "&Pause", while recording the other way round.
        def recording():
            return program.cli("config", "get", "18").stdout.strip()

        def open_tray_menu():
            program.tray_call("ContextMenu")
            wait_for(lambda: program.desktop.visible_windows("quillet-menu"), what="the tray menu")

        def menu_closed():
            return not program.desktop.visible_windows("quillet-menu")

        paused = recording()
        open_tray_menu()
        program.desktop.key("p")
        time.sleep(0.5)
        self.assertFalse(menu_closed())  # no "&Pause" to pick while paused
        program.desktop.key("s")
        wait_for(menu_closed, what="the tray menu to close")
        started = wait_for(lambda: recording() != paused and recording(), what="recording to start")
        open_tray_menu()
        program.desktop.key("s")
        time.sleep(0.5)
        self.assertFalse(menu_closed())  # no "&Start" while recording
        self.assertEqual(recording(), started)
        program.desktop.key("Escape")
        self.assertEqual(toolbar_buttons(program.accessible()), ["Pause"])

    def test_commands_follow_selection_and_record_count(self):
        commands = ("Copy", "Paste", "Delete", "Multiple Paste", "Multiple Delete", "Paste All", "Delete All")

        def enabled(program):
            items = {n["name"]: n for n in menu_items(program.accessible(), "Edit")}
            return {name for name in commands if "enabled" in items[name]["states"]}

        # With no record nothing is selected; a single record is selected when the window shows.
        for records, expected in ((0, set()),
                                  (1, {"Copy", "Paste", "Delete", "Paste All", "Delete All"}),
                                  (2, set(commands))):
            with self.subTest(records=records):
                program = Program(self)
                for index in range(records):
                    program.cli("add", "--text", "record %d" % index)
                program.start()
                program.wait_tray_item()
                program.show_main()
                wait_for(lambda: enabled(program) == expected, what="the enabled commands")
                self.assertEqual(enabled(program), expected)
                if records == 2:
                    # A record deleted elsewhere (here the command line) changes them at once.
                    program.cli("delete", "0", "1")
                    wait_for(lambda: "Multiple Paste" not in enabled(program), what="Multiple Paste disabled")
                    self.assertEqual(enabled(program), {"Copy", "Paste", "Delete", "Paste All", "Delete All"})
                program.close()

    def test_listening_list_cannot_be_removed_or_listened_to(self):
        program = Program(self)
        program.cli("add", "--text", "kept")
        program.cli("new-list", "Notes")
        program.start()
        program.wait_tray_item()
        nodes = program.show_main()
        self.assertEqual(tab_names(nodes), ["[Main]", "Search", "Notes"])

        def open_list_menu(caption):
            tab = next(n for n in list_tabs(program.accessible()) if n["name"] == caption)
            program.click(tab, button=3)
            return wait_for(lambda: set(program.desktop.visible_windows("quillet-menu")), what="the list menu")

        # "&Remove" and "&Listen to Clipboard" are not offered for the listening list: their keys
        # leave the menu open and the lists as they are.
        menu = open_list_menu("[Main]")
        for key in ("r", "l"):
            program.desktop.key(key)
            time.sleep(0.5)
            self.assertTrue(menu & set(program.desktop.visible_windows("quillet-menu")), key)
        program.desktop.key("Escape")
        wait_for(lambda: not menu & set(program.desktop.visible_windows("quillet-menu")), what="the menu to close")
        self.assertEqual(tab_names(program.accessible()), ["[Main]", "Search", "Notes"])
        self.assertIn("Main", program.cli("lists").stdout)
        # Another list offers it: the brackets move to that list's tab.
        open_list_menu("Notes")
        program.desktop.key("l")
        wait_for(lambda: tab_names(program.accessible()) == ["Main", "Search", "[Notes]"],
                 what="Notes to become the listening list")

    def test_main_window_shows_the_history_and_follows_it(self):
        program = Program(self)
        program.cli("add", "--text", "first text")
        program.cli("add", "--text", "second text")
        program.start()
        program.wait_tray_item()
        nodes = program.show_main()
        self.assertEqual(tab_names(nodes), ["[Main]", "Search"])
        nodes = wait_for(lambda: (lambda n: n if row_names(n) else None)(program.accessible()), what="the rows")
        self.assertEqual(row_names(nodes), ["second text", "first text"])
        self.assertIn("selected", shown_rows(nodes)[0]["states"])
        wait_for(lambda: viewer_text(program.accessible()) == "second text", what="the viewer")
        # The record viewer follows the selection.
        program.click(shown_rows(nodes)[1])
        wait_for(lambda: viewer_text(program.accessible()) == "first text", what="the viewer to follow")
        # A copy made in another program lands as the list's first row.
        copier = program.desktop.start(["xclip", "-selection", "clipboard", "-quiet"], stdin=subprocess.PIPE)
        copier.stdin.write(b"copied while the window shows")
        copier.stdin.close()
        wait_for(lambda: row_names(program.accessible())[:1] == ["copied while the window shows"],
                 what="the copy's row")
        self.assertEqual(row_names(program.accessible()), ["copied while the window shows", "second text",
                                                           "first text"])
        stop(copier)

    def test_delete_in_the_main_window_is_saved_without_waiting_for_exit(self):
        program = Program(self)
        program.cli("add", "--text", "older")
        program.cli("add", "--text", "deleted in the window")
        history = os.path.join(program.folder, "quillet_history")
        program.start()
        program.wait_tray_item()
        nodes = program.show_main()
        nodes = wait_for(lambda: (lambda n: n if row_names(n) else None)(program.accessible()), what="the rows")
        self.assertEqual(row_names(nodes), ["deleted in the window", "older"])
        saved = digest(history)
        program.desktop.key("alt+e", "d")  # Edit > Delete, on the selected first row
        wait_for(lambda: row_names(program.accessible()) == ["older"], what="the row to go")
        wait_for(lambda: digest(history) != saved, timeout=20, what="the history to be saved")
        # Killed, the program saves nothing more: the file holds what the window left.
        program.process.kill()
        program.process.wait(10)
        records = program.cli("records", "0").stdout
        self.assertIn("older", records)
        self.assertNotIn("deleted in the window", records)

    def test_paste_from_the_main_window_goes_to_the_program_used_before(self):
        target_program = os.environ.get("QUILLET_TEXT_TARGET")
        if not target_program:
            self.skipTest("no text target program in this build")
        program = Program(self)
        program.cli("add", "--text", " and pasted")
        program.start()
        program.wait_tray_item()
        target = program.desktop.start([target_program], stdout=subprocess.PIPE)
        self.assertIsNotNone(read_line(target.stdout, 20), "the text target did not get the focus")

        def target_text():
            result = program.desktop.run(["/usr/bin/python3", os.path.join(HERE, "accessible_tree.py"),
                                          os.path.basename(target_program)])
            texts = [json.loads(line)["text"] for line in result.stdout.splitlines()]
            return next((t for t in texts if t), None)

        self.assertEqual(target_text(), "hello")
        program.show_main()
        wait_for(lambda: program.desktop.active_window_name() == "Quillet", what="the main window in front")
        program.desktop.key("alt+e", "p")  # Edit > Paste, the selected first row
        wait_for(lambda: target_text() == "hello and pasted", timeout=20, what="the paste in the other program")

    def test_exit_keeps_the_main_window_tab(self):
        program = Program(self)
        program.start()
        program.wait_tray_item()
        nodes = program.show_main()
        program.click(next(n for n in list_tabs(nodes) if n["name"] == "Search"))
        wait_for(lambda: shown_list(program.accessible()) == "Search", what="the Search tab")
        self.assertEqual(self._exit_through_tray(program), 0)
        self.assertEqual(program.cli("config", "get", "14").stdout.strip(), "1")
        # The next start shows that tab again.
        program.start()
        program.wait_tray_item()
        self.assertEqual(shown_list(program.show_main()), "Search")

    def test_options_from_the_tray_menu_and_a_second_request_brings_it_to_front(self):
        program = Program(self)
        program.start()
        program.wait_tray_item()
        program.show_main()
        program.tray_call("ContextMenu")
        wait_for(lambda: program.desktop.visible_windows("quillet-menu"), what="the tray menu")
        program.desktop.key("o")  # &Options
        wait_for(lambda: program.desktop.active_window_name() == "Options", what="the options dialog")
        dialog = program.desktop.visible_windows("quillet-dialog")
        self.assertEqual(len(dialog), 1)
        # The user puts the dialog away, then clicks the tray icon (left or right): the dialog
        # comes back in front, and neither the tray menu nor a second dialog opens.
        for again in (lambda: program.tray_call("Activate"), lambda: program.tray_call("ContextMenu")):
            program.desktop.run(["xdotool", "windowminimize", dialog[0]], check=False)
            wait_for(lambda: not program.desktop.visible_windows("quillet-dialog"), what="the dialog minimized")
            again()
            wait_for(lambda: program.desktop.active_window_name() == "Options", what="the options dialog in front")
            self.assertEqual(program.desktop.visible_windows("quillet-dialog"), dialog)
            self.assertFalse(program.desktop.visible_windows("quillet-menu"))
        program.desktop.key("Escape")
        wait_for(lambda: not program.desktop.visible_windows("quillet-dialog"), what="the dialog to close")
    def test_second_modal_request_brings_the_first_to_front(self):
        program = Program(self)
        program.start()
        program.wait_tray_item()
        program.desktop.run([QUILLET, "--data-dir", program.folder], check=False)
        wait_for(program.main_visible, what="the main window")
        program.desktop.key("alt+h", "a")  # Help > About
        wait_for(lambda: program.desktop.active_window_name() == "About Quillet", what="the about box")
        # The user turns to the main window, then right-clicks the tray icon.
        main = program.desktop.visible_windows("quillet-main")[0]
        program.desktop.run(["xdotool", "windowactivate", main], check=False)
        program.tray_call("ContextMenu")
        wait_for(lambda: program.desktop.active_window_name() == "About Quillet", what="the about box in front")
        self.assertFalse(program.desktop.visible_windows("quillet-menu"))
        program.desktop.key("Return")

    def _exit_through_tray(self, program):
        program.tray_call("ContextMenu")
        wait_for(lambda: program.desktop.visible_windows("quillet-menu"), what="the tray menu")
        program.desktop.key("x")  # E&xit
        return program.wait_exit()

    def test_exit_saves_configuration_and_history(self):
        def by_signal(number):
            def end(program):
                program.process.send_signal(number)
                return program.wait_exit()
            return end

        def by_uninstall_switch(program):
            switch = program.desktop.run([QUILLET, "--data-dir", program.folder, "/UNINSTALL"], check=False)
            self.assertEqual(switch.returncode, 0)
            return program.wait_exit()

        for name, end in (("tray menu Exit", self._exit_through_tray), ("SIGTERM", by_signal(signal.SIGTERM)),
                          ("SIGHUP", by_signal(signal.SIGHUP)), ("/Uninstall", by_uninstall_switch)):
            with self.subTest(name):
                program = Program(self)
                config = os.path.join(program.folder, "quillet.cfg")
                history = os.path.join(program.folder, "quillet_history")
                program.start()
                program.wait_tray_item()
                before = os.stat(config).st_mtime_ns
                time.sleep(0.05)
                self.assertEqual(end(program), 0)
                self.assertGreater(os.stat(config).st_mtime_ns, before)
                self.assertTrue(os.path.exists(history))
                program.close()

    def test_exit_leaves_history_alone_when_records_are_not_saved(self):
        program = Program(self, config={36: "0"})
        history = os.path.join(program.folder, "quillet_history")
        program.cli("add", "--text", "kept from before")
        program.cli("config", "set", "36", "0")
        kept = digest(history)
        mtime = os.stat(history).st_mtime_ns
        program.start()
        program.wait_tray_item()
        self.assertEqual(self._exit_through_tray(program), 0)
        self.assertEqual(digest(history), kept)
        self.assertEqual(os.stat(history).st_mtime_ns, mtime)

    def test_logon_start_with_start_at_logon_off_ends_at_once(self):
        program = Program(self, config={21: "0"})
        config = os.path.join(program.folder, "quillet.cfg")
        kept = digest(config)
        mtime = os.stat(config).st_mtime_ns
        process = program.start("-StartUp")
        self.assertEqual(process.wait(10), 0)
        self.assertEqual(read_line(program.desktop.tray.stdout, 0.5), None)
        self.assertFalse(program.desktop.visible_windows("quillet-main"))
        self.assertEqual(digest(config), kept)
        self.assertEqual(os.stat(config).st_mtime_ns, mtime)

    def test_copy_lands_in_history_and_animates_tray(self):
        program = Program(self)
        program.start()
        program.wait_tray_item()
        resting = program.tray_icon_pixels()
        copier = program.desktop.start(["xclip", "-selection", "clipboard", "-quiet"], stdin=subprocess.PIPE)
        copier.stdin.write(b"copied while running")
        copier.stdin.close()
        wait_for(lambda: program.tray_icon_pixels() != resting, timeout=5, step=0.02, what="the animation")
        wait_for(lambda: "copied while running" in program.cli("records", "0").stdout, what="the record")
        wait_for(lambda: program.tray_icon_pixels() == resting, timeout=5, what="the animation's end")
        stop(copier)

    def test_without_a_tray_the_main_window_shows(self):
        program = Program(self, with_tray=False)
        program.start()
        windows = wait_for(lambda: program.desktop.visible_windows("quillet-main"), what="the main window")
        self.assertTrue(windows)

    def test_program_to_exclude_is_picked_from_the_desktops_windows(self):
        program = Program(self)
        program.start()
        program.wait_tray_item()
        program.show_main()
        program.desktop.key("alt+t", "o")  # Tools > Options
        wait_for(lambda: program.desktop.active_window_name() == "Options", what="the options dialog")

        def showing_node(role, name):
            return next((n for n in program.accessible() if n["role"] == role and n["name"] == name
                         and showing(n)), None)

        program.click(wait_for(lambda: showing_node("page tab", "Advanced"), what="the Advanced tab"))
        program.click(wait_for(lambda: showing_node("push button", "Add"), what="the Add button"))
        wait_for(lambda: program.desktop.active_window_name() == "Select Application", what="the program list")
        # The main window on the desktop is this program's own.
        wait_for(lambda: showing_node("list item", os.path.realpath(QUILLET)), what="the program in the list")

    def test_first_start_asks_before_the_tray_icon_shows(self):
        program = Program(self, first_run=True)
        program.start()
        dialog = wait_for(lambda: program.desktop.visible_windows("quillet-dialog"), what="the first-run question")
        self.assertEqual(program.desktop.run(["xdotool", "getwindowname", dialog[0]]).stdout.strip(), "Quillet")
        self.assertIsNone(read_line(program.desktop.tray.stdout, 0.3))
        program.desktop.run(["xdotool", "windowactivate", "--sync", dialog[0]], check=False)
        program.desktop.key("space")  # "Automatically check for new version?"
        program.desktop.key("Return")
        program.wait_tray_item()
        self.assertEqual(self._exit_through_tray(program), 0)
        self.assertEqual(program.cli("config", "get", "20").stdout.strip(), "1")

    def test_newer_version_turns_the_tray_icon_and_its_click_opens_the_download(self):
        requests = []
        answer = threading.Event()

        class VersionServer(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                requests.append(self.path)
                answer.wait(30)
                body = b"4000900 http://example.org/quillet-new"
                self.send_response(200)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        server = http.server.HTTPServer(("127.0.0.1", 0), VersionServer)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        self.addCleanup(server.server_close)
        self.addCleanup(server.shutdown)
        self.addCleanup(answer.set)

        program = Program(self, config={20: "1", 50: "127.0.0.1", 51: str(server.server_address[1])})
        program.start()
        program.wait_tray_item()
        wait_for(lambda: requests, what="the version check's request")
        self.assertTrue(requests[0].startswith("/check_version.php?app=quillet&dev=1&cur_ver=4000803&os="),
                        requests[0])
        normal = program.tray_icon_pixels()
        answer.set()
        wait_for(lambda: program.tray_icon_pixels() != normal, what="the new-version icon")
        program.tray_call("Activate")
        wait_for(lambda: program.desktop.active_window_name() == "Quillet - New Version",
                 what="the new version's dialog")
        self.assertEqual(program.tray_icon_pixels(), normal)
        self.assertFalse(program.desktop.visible_windows("quillet-menu"))
        program.desktop.key("Escape")
        wait_for(lambda: not program.desktop.visible_windows("quillet-dialog"), what="the dialog to close")


if __name__ == "__main__":
    QUILLET, WATCHER = sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:])
