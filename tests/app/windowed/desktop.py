"""A private desktop for testing the windowed program as a person uses it: Xvfb, a private
D-Bus session bus, openbox, a stand-in tray (StatusNotifierWatcher) and the accessibility bus.
Qt looks for the tray and the accessibility bus once, when it starts, so they come up first.
Every process is started here and stopped by its process id; every wait is bounded."""

import os
import select
import shutil
import signal
import subprocess
import tempfile
import time


class Timeout(AssertionError):
    pass


def wait_for(predicate, timeout=10.0, step=0.05, what="condition"):
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > end:
            raise Timeout("timed out waiting for " + what)
        time.sleep(step)


def read_line(stream, timeout):
    """One line from a pipe, or None when none came in time."""
    end = time.monotonic() + timeout
    line = b""
    fd = stream.fileno()
    while time.monotonic() < end:
        ready, _, _ = select.select([fd], [], [], max(0.0, end - time.monotonic()))
        if not ready:
            break
        byte = os.read(fd, 1)
        if not byte:
            break
        if byte == b"\n":
            return line.decode()
        line += byte
    return None


def stop(process, grace=3.0):
    if process is None:
        return
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(grace)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(5)
    for stream in (process.stdin, process.stdout):
        if stream is not None:
            stream.close()


class Desktop:
    def __init__(self, watcher, with_tray=True, with_accessibility=True):
        self.processes = []
        self.folder = tempfile.mkdtemp(prefix="quillet-desktop-")
        self.env = {k: v for k, v in os.environ.items()
                    if not k.startswith(("DBUS_", "AT_SPI", "XDG_RUNTIME", "QT_", "WAYLAND"))}
        runtime = os.path.join(self.folder, "runtime")
        os.mkdir(runtime, 0o700)
        self.env["XDG_RUNTIME_DIR"] = runtime
        self.env["HOME"] = self.folder
        self.env["XDG_CONFIG_HOME"] = os.path.join(self.folder, "config")
        self.env["XDG_DATA_HOME"] = os.path.join(self.folder, "data")
        self.env["QT_QPA_PLATFORM"] = "xcb"
        self.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        self.env["NO_AT_BRIDGE"] = "0"
        try:
            self._start_x()
            self._start_bus()
            self._start(["openbox", "--sm-disable"])
            if with_tray:
                self.tray = self._start([watcher], stdout=subprocess.PIPE)
                if read_line(self.tray.stdout, 10) != "ready":
                    raise RuntimeError("the stand-in tray did not start")
            if with_accessibility:
                self._start(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
                wait_for(lambda: self.bus_has("org.a11y.Bus"), what="the accessibility bus")
            wait_for(lambda: self.run(["xdotool", "getactivewindow"], check=False).returncode in (0, 1),
                     what="the window manager")
        except BaseException:
            self.close()
            raise

    def _start(self, argv, stdout=subprocess.DEVNULL, **kwargs):
        process = subprocess.Popen(argv, env=self.env, stdout=stdout, stderr=kwargs.pop("stderr", subprocess.DEVNULL),
                                   start_new_session=True, **kwargs)
        self.processes.append(process)
        return process

    def _start_x(self):
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                                 "-nolisten", "tcp"], pass_fds=(write_end,),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(write_end)
        self.processes.append(xvfb)
        with os.fdopen(read_end, "rb") as pipe:
            number = read_line(pipe, 10)
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number.strip()

    def _start_bus(self):
        bus = self._start(["dbus-daemon", "--session", "--nofork", "--print-address"], stdout=subprocess.PIPE)
        address = read_line(bus.stdout, 10)
        if not address:
            raise RuntimeError("dbus-daemon did not start")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address.strip()

    def bus_has(self, name):
        result = self.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                           "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", "string:" + name],
                          check=False)
        return result.returncode == 0 and "boolean true" in result.stdout

    def run(self, argv, check=True, timeout=20, **kwargs):
        return subprocess.run(argv, env=self.env, capture_output=True, text=True, check=check,
                              timeout=timeout, **kwargs)

    def start(self, argv, **kwargs):
        return self._start(argv, **kwargs)

    def close(self):
        for process in reversed(self.processes):
            stop(process)
        self.processes.clear()
        shutil.rmtree(self.folder, ignore_errors=True)

    # ---- reading the desktop back

    def visible_windows(self, instance):
        """Ids of the mapped windows with WM_CLASS instance `instance`."""
        result = self.run(["xdotool", "search", "--onlyvisible", "--classname", "^" + instance + "$"],
                          check=False)
        return result.stdout.split()

    def window_class(self, window):
        return self.run(["xprop", "-id", window, "WM_CLASS"]).stdout

    def active_window_name(self):
        result = self.run(["xdotool", "getactivewindow", "getwindowname"], check=False)
        return result.stdout.strip()

    def key(self, *keys):
        self.run(["xdotool", "key", "--clearmodifiers", *keys])
