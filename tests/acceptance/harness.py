"""The machinery of the acceptance suite: a virtual screen with a window
manager, the palmtop (vexo-deviced behind a simulated serial line), a disk
image made with vdisk, and the real VexoFileManager with its own settings,
registry file and work folder, all inside one scratch folder.

The program is driven only through X input (xdotool) and read only through
what it shows: the snapshot file its test build writes on request
(VEXO_STATE_FILE), the files on disk and screenshots.
"""

import ctypes
import json
import os
import shutil
import signal
import struct
import subprocess
import sys
import time
import zlib

# Upper bound of every wait for something the program should do by itself.
# The machine is shared: generous, and only reached when a case fails.
WAIT = float(os.environ.get("VEXO_ACCEPTANCE_WAIT", "15"))
# A simulated line fast enough for short copies, slow enough that a copy of a
# few megabytes takes long enough to be cancelled or cut.
LINE_BYTES_PER_SECOND = 200000
SCREEN = (1280, 800)


def _die_with_parent():
    # Every process a session starts ends with the driver, also when a
    # time-out kills the driver before it could stop them.
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


def start(args, **kwargs):
    return subprocess.Popen(args, preexec_fn=_die_with_parent, **kwargs)


def log(message):
    sys.stderr.write("%8.2f %s\n" % (time.monotonic() % 100000, message))
    sys.stderr.flush()


class Failure(AssertionError):
    pass


def wait_until(condition, what, timeout=None, interval=0.05):
    """Polls condition() until it returns a true value and returns it."""
    if timeout is None:
        timeout = WAIT
    end = time.monotonic() + timeout
    last = None
    while True:
        try:
            last = condition()
        except Failure:
            last = None
        if last:
            return last
        if time.monotonic() > end:
            raise Failure("gave up waiting for: " + what)
        time.sleep(interval)


def read_xwd(path):
    """The picture in an xwd dump of a 24-bit screen or window: (width,
    height, rows of RGB bytes), or None for other formats."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 100:
        return None
    header = struct.unpack(">25I", data[:100])
    header_size, width, height = header[0], header[4], header[5]
    byte_order, bytes_per_line, ncolors = header[7], header[12], header[19]
    step = header[11] // 8  # bits per pixel: 24 or 32
    if step not in (3, 4) or bytes_per_line < width * step:
        return None
    pixels = data[header_size + ncolors * 12:]
    rows = []
    for y in range(height):
        line = pixels[y * bytes_per_line:y * bytes_per_line + width * step]
        out = bytearray(width * 3)
        if byte_order == 0:  # least significant byte first: blue, green, red
            out[0::3], out[1::3], out[2::3] = line[2::step], line[1::step], line[0::step]
        else:
            out[0::3], out[1::3], out[2::3] = line[step - 3::step], line[step - 2::step], line[step - 1::step]
        rows.append(out)
    return width, height, rows


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xffffffff))

    raw = b"".join(b"\0" + bytes(r) for r in rows)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" +
                chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))


class Snapshot:
    """One answer of the program's state export."""

    def __init__(self, data):
        self.data = data
        self.widgets = data["widgets"]
        self.windows = data["windows"]
        self.focus = data.get("focus", "")
        self.modal = data.get("modal", "")

    def find(self, name, window=None):
        for w in self.widgets:
            if w["name"] == name and (window is None or w["path"].split("/")[0] == window):
                return w
        return None

    def get(self, name, window=None):
        w = self.find(name, window)
        if w is None:
            raise Failure("no visible widget named %s" % name)
        return w

    def text(self, name):
        return self.get(name).get("text", "")

    def window(self, name):
        for w in self.windows:
            if w["name"] == name:
                return w
        return None

    def rows(self, list_name):
        return [r["text"] for r in self.get(list_name)["rows"]]

    def row(self, list_name, text):
        for r in self.get(list_name)["rows"]:
            if r["text"] == text:
                return r
        raise Failure("%s has no row %s" % (list_name, text))

    def button(self, text, window=None):
        """A visible push button by its text, accelerator marks ignored."""
        for w in self.widgets:
            if (w["class"] in ("QPushButton", "QToolButton") and
                    w.get("text", "").replace("&", "") == text and
                    (window is None or w["path"].split("/")[0] == window)):
                return w
        raise Failure("no button %s" % text)

    def in_window(self, window):
        """The widgets of one top-level window (by its object name or class)."""
        return [w for w in self.widgets if w["path"].split("/")[0] == window]


def centre(rect):
    return rect[0] + rect[2] // 2, rect[1] + rect[3] // 2


class Desktop:
    """Xvfb with openbox."""

    def __init__(self, folder):
        self.folder = folder
        self.xvfb = None
        self.wm = None
        self.display = None

    def start(self):
        read_end, write_end = os.pipe()
        self.xvfb = start(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % SCREEN,
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(self.folder, "xvfb.log"), "w"))
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as r:
            while not number.endswith(b"\n"):
                byte = r.read(1)
                if not byte:
                    raise Failure("Xvfb did not start")
                number += byte
        self.display = ":" + number.decode().strip()
        log("Xvfb on " + self.display)
        self.wm = start(["openbox", "--sm-disable"], env=self.env(),
                                   stdout=subprocess.DEVNULL,
                                   stderr=open(os.path.join(self.folder, "openbox.log"), "w"))
        wait_until(self.wm_ready, "the window manager")

    def env(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.display
        env.pop("WAYLAND_DISPLAY", None)
        return env

    def wm_ready(self):
        out = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.env(),
                             capture_output=True, text=True)
        return "window id" in out.stdout

    def xdotool(self, *args):
        subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env(), check=True,
                       stdout=subprocess.DEVNULL)

    def capture(self, *target):
        xwd = os.path.join(self.folder, "capture.xwd")
        with open(xwd, "wb") as f:
            if subprocess.run(["xwd", "-silent"] + list(target), env=self.env(), stdout=f,
                              stderr=subprocess.DEVNULL).returncode:
                return None
        picture = read_xwd(xwd)
        os.remove(xwd)
        return picture

    def screenshot(self, name, windows=()):
        """The screen as a PNG. The windows given (X ids with their screen
        position) are laid over it: dialogs with an alpha channel are
        redirected by the server and do not show in a capture of the root."""
        screen = self.capture("-root")
        if not screen:
            return None
        width, height, rows = screen
        for wid, x, y in windows:
            picture = self.capture("-id", str(wid))
            if not picture:
                continue
            w, h, wrows = picture
            for j in range(h):
                if 0 <= y + j < height and x >= 0:
                    n = max(0, min(w, width - x))
                    rows[y + j][x * 3:(x + n) * 3] = wrows[j][:n * 3]
        png = os.path.join(self.folder, name + ".png")
        write_png(png, width, height, rows)
        return png

    def windows_of(self, pid):
        """The visible top-level windows of a process, oldest first, with
        their screen positions."""
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)],
                             env=self.env(), capture_output=True, text=True).stdout.split()
        found = []
        for wid in sorted(int(w) for w in out):
            info = subprocess.run(["xwininfo", "-id", str(wid)], env=self.env(), capture_output=True,
                                  text=True).stdout
            pos = {}
            for line in info.splitlines():
                if "Absolute upper-left" in line:
                    key, value = line.split(":")
                    pos[key.strip()[-1]] = int(value)
            if "X" in pos and "Y" in pos:
                found.append((wid, pos["X"], pos["Y"]))
        return found

    def stop(self):
        for p in (self.wm, self.xvfb):
            if p and p.poll() is None:
                p.terminate()
                try:
                    p.wait(10)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()


class Palmtop:
    """vexo-deviced serving a folder behind the simulated serial line."""

    def __init__(self, bin_dir, folder):
        self.bin_dir = bin_dir
        self.folder = folder
        self.rate = LINE_BYTES_PER_SECOND
        self.root = os.path.join(folder, "device")
        self.port = os.path.join(folder, "palmtop-link")
        self.server_end = os.path.join(folder, "palmtop-server")
        self.line = None
        self.server = None
        os.makedirs(self.root, exist_ok=True)

    def start(self):
        self.line = start(
            [os.path.join(self.bin_dir, "vexo-linksim"), "--a", self.port, "--b", self.server_end,
             "--rate", str(self.rate), "--latency-ms", "1"],
            stdout=subprocess.PIPE, stderr=open(os.path.join(self.folder, "linksim.log"), "w"),
            text=True)
        if self.line.stdout.readline().strip() != "ready":
            raise Failure("the simulated line did not start")
        self.start_server()

    def start_server(self):
        self.server = start(
            [os.path.join(self.bin_dir, "vexo-deviced"), "--root", self.root, "--device",
             self.server_end, "--baud", "115200"],
            stdout=subprocess.DEVNULL, stderr=open(os.path.join(self.folder, "deviced.log"), "a"))
        log("vexo-deviced started (pid %d)" % self.server.pid)

    def kill_server(self):
        if self.server and self.server.poll() is None:
            self.server.kill()
            self.server.wait()
            log("vexo-deviced killed")

    def stop(self):
        self.kill_server()
        if self.line and self.line.poll() is None:
            self.line.terminate()
            try:
                self.line.wait(10)
            except subprocess.TimeoutExpired:
                self.line.kill()
                self.line.wait()

    def path(self, name):
        return os.path.join(self.root, name)


class Image:
    """The simulator's disk image, read and written with the vdisk tool."""

    def __init__(self, bin_dir, install):
        self.tool = os.path.join(bin_dir, "vdisk")
        self.path = os.path.join(install, "target", "public", "lib", "vdisk.dat")
        os.makedirs(os.path.dirname(self.path), exist_ok=True)

    def run(self, *args):
        out = subprocess.run([self.tool, self.path] + list(args), capture_output=True,
                             env=dict(os.environ, LC_ALL="C.UTF-8"))
        if out.returncode:
            raise Failure("vdisk %s: %s" % (" ".join(args), out.stderr.decode(errors="replace")))
        return out.stdout.decode()

    def format(self):
        self.run("format", "--size", "4")

    def put(self, local, name):
        self.run("put", local, name)

    def read(self, name, scratch):
        """The bytes of an image file, or None when it is not there."""
        target = os.path.join(scratch, "image-read")
        shutil.rmtree(target, ignore_errors=True)
        os.makedirs(target)
        try:
            self.run("get", name, target + "/")
        except Failure:
            return None
        with open(os.path.join(target, name), "rb") as f:
            return f.read()

    def names(self):
        out = self.run("ls")
        names = []
        for line in out.splitlines():
            parts = line.split()
            if parts:
                names.append(parts[-1])
        return names


class Program:
    """VexoFileManager on the virtual screen."""

    def __init__(self, session):
        self.session = session
        self.process = None
        self.seq = 0
        self.state_file = os.path.join(session.folder, "state.json")

    def start(self):
        s = self.session
        env = s.desktop.env()
        env.update({
            "HOME": s.home,
            "XDG_CONFIG_HOME": os.path.join(s.folder, "config"),
            "XDG_CACHE_HOME": s.cache,
            "XDG_RUNTIME_DIR": s.runtime,
            "TMPDIR": os.path.join(s.folder, "tmp"),
            "QT_QPA_PLATFORM": "xcb",
            "QT_ACCESSIBILITY": "0",
            "LANG": "C.UTF-8",
            "LC_ALL": "C.UTF-8",
            "VEXO_STATE_FILE": self.state_file,
        })
        env.pop("SESSION_MANAGER", None)
        self.process = start(
            [os.path.join(s.program_dir, "VexoFileManager")], env=env, cwd=s.folder,
            stdout=subprocess.DEVNULL, stderr=open(os.path.join(s.folder, "program.log"), "a"))
        log("VexoFileManager started (pid %d)" % self.process.pid)
        wait_until(lambda: self.state().window("FormMain"), "the main window")

    def state(self, timeout=30):
        """A fresh snapshot: asked for now, answered by the window thread."""
        if self.process.poll() is not None:
            raise AssertionError("the program has ended (exit status %s)" % self.process.returncode)
        self.seq += 1
        request = self.state_file + ".request"
        with open(request + ".part", "w") as f:
            f.write(str(self.seq))
        os.replace(request + ".part", request)
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            try:
                with open(self.state_file) as f:
                    data = json.load(f)
                if data.get("seq") == self.seq:
                    return Snapshot(data)
            except (OSError, ValueError):
                pass
            if self.process.poll() is not None:
                raise AssertionError("the program has ended (exit status %s)" %
                                     self.process.returncode)
            time.sleep(0.03)
        raise Failure("the window thread gave no snapshot within %.0f s" % timeout)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()  # closes the window the normal way
            try:
                self.process.wait(20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


class Session:
    """Everything one group of cases runs against."""

    def __init__(self, bin_dir, folder, settings=None):
        self.bin_dir = bin_dir
        self.folder = folder
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        self.home = os.path.join(folder, "home")
        self.pc = os.path.join(folder, "pc")
        self.install = os.path.join(folder, "simulator")
        self.program_dir = os.path.join(folder, "program")
        self.runtime = os.path.join(folder, "runtime")
        self.cache = os.path.join(os.path.dirname(folder), "cache")
        for d in (self.home, self.pc, self.program_dir, self.runtime, self.cache,
                  os.path.join(folder, "tmp"), os.path.join(folder, "config", "VexoTools")):
            os.makedirs(d, exist_ok=True)
        os.chmod(self.runtime, 0o700)
        os.chmod(os.path.join(folder, "tmp"), 0o700)
        self.desktop = Desktop(folder)
        self.palmtop = Palmtop(bin_dir, folder)
        self.image = Image(bin_dir, self.install)
        self.program = Program(self)
        self.settings = {"Language": "eng.lng", "Comport": "1", "Baudrate": "115200", "AutoRpc": "1",
                         "AutoVDisk": "1", "ViewStyle": "4", "Pathed": "1", "Path": self.pc, "LastPath": "0"}
        self.settings.update(settings or {})
        self.shots = 0

    # -- set-up ----------------------------------------------------------

    def write_settings(self):
        # The program keeps its settings beside itself when that folder is
        # writable: a copy in the scratch folder has settings of its own.
        for name in ("VexoFileManager", "chs.lng", "eng.lng"):
            shutil.copy2(os.path.join(self.bin_dir, name), self.program_dir)
        with open(os.path.join(self.program_dir, "VexoFile.ini"), "w") as f:
            f.write("[Setting]\n")
            for key, value in self.settings.items():
                f.write("%s=%s\n" % (key, value))
            f.write("[Ports]\nCOM1=%s\n" % self.palmtop.port)
        with open(os.path.join(self.folder, "config", "VexoTools", "registry.ini"), "w") as f:
            f.write("[HKEY_LOCAL_MACHINE\\Software\\Tavrin\\VexoTools\\2]\nInstallPath=%s\n" %
                    self.install)

    def start(self):
        self.write_settings()
        self.desktop.start()
        self.palmtop.start()
        self.program.start()

    def stop(self):
        self.program.stop()
        self.palmtop.stop()
        self.desktop.stop()

    # -- reading ---------------------------------------------------------

    def state(self, timeout=30):
        return self.program.state(timeout)

    def wait(self, condition, what, timeout=None):
        """Waits until condition(snapshot) is true; returns that snapshot."""
        def check():
            s = self.state()
            return s if condition(s) else None
        started = time.monotonic()
        result = wait_until(check, what, timeout)
        if time.monotonic() - started > 2:
            log("waited %.1f s for %s" % (time.monotonic() - started, what))
        return result

    def language(self, key):
        section = None
        with open(os.path.join(self.bin_dir, "eng.lng"), encoding="utf-8") as f:
            for line in f:
                line = line.strip()
                if line.startswith("["):
                    section = line[1:-1]
                elif "=" in line and line.split("=", 1)[0] == key:
                    return line.split("=", 1)[1]
        raise KeyError(key)

    def caption(self, pane):
        """(device or image) caption's state word."""
        name = "PRpcStatus" if pane == "device" else "PVDiskStatus"
        return self.state().text(name).rsplit(" - ", 1)[-1]

    def wait_caption(self, pane, word, timeout=None):
        name = "PRpcStatus" if pane == "device" else "PVDiskStatus"
        text = self.language(word)
        return self.wait(lambda s: s.text(name).endswith(" - " + text),
                         "%s caption %s" % (pane, text), timeout)

    def screenshot(self, name):
        self.shots += 1
        windows = []
        if self.program.process and self.program.process.poll() is None:
            windows = self.desktop.windows_of(self.program.process.pid)
        path = self.desktop.screenshot("%02d-%s" % (self.shots, name), windows)
        if path:
            log("screenshot " + path)
        # What the windows said at that moment, dialogs' texts included.
        try:
            st = self.state(timeout=5)
            with open(os.path.join(self.folder, "%02d-%s.json" % (self.shots, name)), "w") as f:
                json.dump(st.data, f, ensure_ascii=False, indent=1)
            if st.modal:
                texts = [w.get("text") for w in st.in_window(st.modal) if w.get("text")]
                log("open dialog %s: %s" % (st.modal, " | ".join(texts)))
        except (Failure, AssertionError) as e:
            log("no snapshot: %s" % e)
        return path

    # -- input -----------------------------------------------------------

    def key(self, *keys):
        log("key " + " ".join(keys))
        self.desktop.xdotool("key", "--delay", "40", *keys)

    def type(self, text):
        log("type " + text)
        self.desktop.xdotool("type", "--delay", "40", text)

    def click(self, point, double=False):
        x, y = point
        log("click %d,%d%s" % (x, y, " (double)" if double else ""))
        self.desktop.xdotool("mousemove", x, y)
        self.desktop.xdotool("click", "--repeat", 2 if double else 1, "--delay", 80, 1)

    def drag(self, start, end):
        """Presses the left button at start, moves to end in small steps and
        lets go, pausing as a hand would so the drag is seen to begin."""
        log("drag %s -> %s" % (start, end))
        x0, y0 = start
        x1, y1 = end
        self.desktop.xdotool("mousemove", x0, y0)
        self.desktop.xdotool("mousedown", 1)
        time.sleep(0.1)
        steps = 12
        for i in range(1, steps + 1):
            self.desktop.xdotool("mousemove", x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps)
            time.sleep(0.05)
        self.desktop.xdotool("mousemove", x1 + 2, y1 + 2)
        time.sleep(0.1)
        self.desktop.xdotool("mousemove", x1, y1)
        time.sleep(0.1)
        self.desktop.xdotool("mouseup", 1)

    # -- common steps ------------------------------------------------------

    def empty_spot(self, list_name, snapshot=None):
        """A point inside a list below its last row."""
        s = snapshot or self.state()
        w = s.get(list_name)
        x, y, width, height = w["rect"]
        bottom = y + height - 12
        return x + min(60, width // 3), bottom

    def focus_list(self, list_name, *keys):
        """Clicks into the empty part of a list, as a person does to give it
        the keyboard without choosing a file; then presses `keys` there."""
        self.click(self.empty_spot(list_name))
        state = self.wait(lambda s: s.get(list_name)["focusInside"], list_name + " has the focus")
        if keys:
            self.key(*keys)
        return state

    def click_row(self, list_name, text):
        s = self.wait(lambda s: any(r["text"] == text for r in s.get(list_name)["rows"]),
                      "%s shows %s" % (list_name, text))
        if s.row(list_name, text)["selected"]:
            # A click on a chosen name starts renaming it: choose it afresh.
            self.click(self.empty_spot(list_name, s))
            s = self.wait(lambda s: not s.row(list_name, text)["selected"], "%s let go" % text)
        self.click(centre(s.row(list_name, text)["rect"]))
        return self.wait(lambda s: s.get(list_name)["focusInside"] and s.row(list_name, text)["selected"],
                         "%s selected in %s" % (text, list_name))

    def wait_rows(self, list_name, predicate, what):
        return self.wait(lambda s: predicate(s.rows(list_name)), what)

    def wait_no_modal(self, what="no dialog open"):
        return self.wait(lambda s: not s.modal, what)

    def wait_modal(self, name):
        """Waits until the dialog is open and has the keyboard."""
        return self.wait(lambda s: s.modal == name and s.window(name) and s.window(name)["active"],
                         name + " open")

    def cancel_button(self, snapshot):
        for name in ("butClose", "butCancel", "ButCancel"):
            w = snapshot.find(name, snapshot.modal)
            if w:
                return w
        for text in ("Cancel", "No", "OK"):
            try:
                return snapshot.button(text, snapshot.modal)
            except Failure:
                pass
        return None

    def dismiss_dialogs(self):
        """Closes what an earlier case left open: Escape, then a Cancel
        button, then the window manager's close key. False when none helps."""
        for attempt in range(6):
            s = self.state()
            if not s.modal:
                return True
            button = self.cancel_button(s) if attempt % 3 == 1 else None
            if button:
                self.click(centre(button["rect"]))
            else:
                self.key("Escape" if attempt % 3 == 0 else "alt+F4")
            try:
                wait_until(lambda: not self.state().modal, "dialog closed", timeout=3)
            except Failure:
                pass
        return not self.state().modal


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None

