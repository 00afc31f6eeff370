#!/usr/bin/env python3
"""End-to-end test of the real program in Xvfb.

Starts bin/milman on its own X server (no window manager), checks the window
and its menu on a screenshot, shows the About box from the menu, opens the
sample file through the Open dialog and checks the charts and the text panel
on the screen, opens a malformed file and checks that its message shows and
that the window stays as it was, and closes the main window while the About
box shows: the program must end. Last, a file named on the command line opens
at start.

Usage: test_app.py PATH/TO/milman [--screenshot FILE]
"""

import ctypes
import os
import shutil
import subprocess
import sys
import tempfile
import time

MAIN_TITLE = "KELTA - Анкета Мильмана"
ABOUT_TITLE = "О программе"
OPEN_TITLE = "Открыть данные из файла"
BOX_TITLE = "Vilcor"
TIMEOUT = 60.0


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_until(probe, what, timeout=TIMEOUT):
    """Polls probe() until it returns a true value, which is returned."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.2)


class Screen:
    """One X server and the tools that look at it and drive it."""

    def __init__(self, workdir):
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            # -noreset: without it the server resets whenever its last client
            # leaves, and a program starting at that moment cannot connect.
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=[write_fd], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            number = pipe.readline().strip()
        check(number, "Xvfb did not report its display")
        self.display = ":" + number
        self.env = dict(os.environ, DISPLAY=self.display, QT_QPA_PLATFORM="xcb",
                        XDG_RUNTIME_DIR=os.path.join(workdir, "runtime"))
        os.makedirs(self.env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
        self.workdir = workdir
        self.shots = 0

    def close(self):
        self.xvfb.terminate()
        self.xvfb.wait(timeout=30)

    def run(self, *args):
        return subprocess.run(args, env=self.env, check=False, capture_output=True,
                              text=True, timeout=TIMEOUT)

    def xdotool(self, *args):
        result = self.run("xdotool", *args)
        check(result.returncode == 0, "xdotool %s failed: %s" % (args, result.stderr))
        return result.stdout

    def windows(self, title):
        """Ids of the mapped windows whose title is exactly `title`."""
        result = self.run("xdotool", "search", "--onlyvisible", "--name", "^%s$" % title)
        return [int(w) for w in result.stdout.split()]

    def geometry(self, window):
        values = {}
        for line in self.xdotool("getwindowgeometry", "--shell", str(window)).splitlines():
            key, _, value = line.partition("=")
            values[key] = int(value)
        return values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]

    def place_main_window(self, program):
        """Waits for the program's one main window and, since no window manager
        maximises it here, makes room for the 1024 x 721 panels. Returns (id, geometry)."""
        def shown():
            code = program.poll()
            check(code is None, "the program ended with code %s before its window showed" % code)
            return self.windows(MAIN_TITLE)

        found = wait_until(shown, "the main window")
        check(len(found) == 1, "more than one main window")
        window = found[0]
        self.xdotool("windowmove", "--sync", str(window), "0", "0")
        self.xdotool("windowsize", "--sync", str(window), "1100", "800")
        geometry = wait_until(lambda: self.geometry(window)[2:] == (1100, 800) and
                              self.geometry(window), "the window's new size")
        return window, geometry

    def settled_menu(self, window):
        """A screenshot once the menu bar's captions are painted and stay the same in
        two screenshots in a row, with the menu bar's text row and its dark pixels."""
        last = [None]

        def settled():
            image = self.shot()
            row = menu_row(image, window)
            same = row[1] and row == last[0]
            last[0] = row
            return same and (image, row[0], row[1])

        return wait_until(settled, "the menu bar")

    def shot(self):
        """A screenshot of the whole screen as an Image."""
        self.shots += 1
        path = os.path.join(self.workdir, "shot%d.png" % self.shots)
        result = self.run("import", "-window", "root", path)
        check(result.returncode == 0, "import failed: " + result.stderr)
        return Image(path)

    def click(self, x, y):
        self.xdotool("mousemove", "--sync", str(x), str(y), "click", "1")

    def close_program(self, program, main_window):
        """Closes the main window as a window manager would; the program must end cleanly."""
        self.send_close(main_window)
        try:
            code = program.wait(timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end when its main window closed")
        check(code == 0, "the program ended with exit code %d" % code)

    def send_close(self, window):
        """Asks a window to close as a window manager's close button does."""
        xlib = ctypes.cdll.LoadLibrary("libX11.so.6")
        xlib.XOpenDisplay.restype = ctypes.c_void_p
        xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        xlib.XInternAtom.restype = ctypes.c_ulong
        xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        xlib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                    ctypes.c_void_p]
        xlib.XFlush.argtypes = [ctypes.c_void_p]
        xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]

        class ClientMessage(ctypes.Structure):
            _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                        ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                        ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                        ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]

        class Event(ctypes.Union):
            _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

        dpy = xlib.XOpenDisplay(self.display.encode())
        check(dpy, "cannot open display " + self.display)
        try:
            event = Event()
            event.xclient.type = 33  # ClientMessage
            event.xclient.window = window
            event.xclient.message_type = xlib.XInternAtom(dpy, b"WM_PROTOCOLS", 0)
            event.xclient.format = 32
            event.xclient.data[0] = xlib.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0)
            event.xclient.data[1] = 0  # CurrentTime
            xlib.XSendEvent(dpy, window, 0, 0, ctypes.byref(event))
            xlib.XFlush(dpy)
        finally:
            xlib.XCloseDisplay(dpy)


class Image:
    """Pixels of a screenshot, read through ImageMagick."""

    def __init__(self, path):
        self.path = path
        size = subprocess.run(["identify", "-format", "%w %h", path], check=True,
                              capture_output=True, text=True).stdout.split()
        self.width, self.height = int(size[0]), int(size[1])
        self.rgb = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], check=True,
                                  capture_output=True).stdout

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.rgb[i:i + 3])

    def region(self, x, y, w, h):
        return [self.pixel(x + dx, y + dy) for dy in range(h) for dx in range(w)]

    def crop(self, x, y, w, h, path):
        subprocess.run(["convert", self.path, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage",
                        path], check=True)


def is_dark(p):
    return sum(p) < 200


def is_white(p):
    return p == (255, 255, 255)


def is_red(p):
    return p[0] > 200 and p[1] < 60 and p[2] < 60


def is_blue(p):
    return p[2] > 200 and p[0] < 60 and p[1] < 60


def menu_row(image, window):
    """The menu bar's text row: (y, xs of dark pixels) of the darkest row near the top."""
    x, y, w, _ = window
    best = (y, [])
    for row in range(y + 2, y + 22):
        xs = [x + dx for dx in range(w) if is_dark(image.pixel(x + dx, row))]
        if len(xs) > len(best[1]):
            best = (row, xs)
    return best


def main():
    milman = os.path.abspath(sys.argv[1])
    screenshot_out = sys.argv[3] if len(sys.argv) > 3 and sys.argv[2] == "--screenshot" else None
    for tool in ("Xvfb", "xdotool", "import", "convert", "identify"):
        check(shutil.which(tool), tool + " is not installed (scripts/setup.sh test)")
    sample = os.path.join(os.path.dirname(milman), "Data", "11111.Milman.Result")
    check(os.path.isfile(sample), "the build did not write " + sample)

    workdir = tempfile.mkdtemp(prefix="milman-e2e-")
    screen = Screen(workdir)
    program = None
    try:
        program = subprocess.Popen([milman], cwd=workdir, env=screen.env)

        # The main window shows with its menu: Open with its glyph, Save, Sample, About.
        main_window, window = screen.place_main_window(program)
        start, row, dark = screen.settled_menu(window)
        check(len(dark) > 20, "the menu bar shows no captions")
        open_x, about_x = dark[0] + 12, dark[-1] - 15
        glyph = start.region(window[0], window[1], 40, 25)
        check(any(p[0] > 200 and p[1] > 150 and p[2] < 120 for p in glyph),
              "the Open item shows no yellow folder glyph")
        panels = start.region(window[0] + 100, window[1] + 100, 300, 200)
        check(len(set(panels)) == 1, "something shows in the panels before Open")

        # About: shown from the menu, once, also when chosen twice.
        for _ in range(2):
            screen.click(about_x, row)
            wait_until(lambda: screen.windows(ABOUT_TITLE), "the About box")
        time.sleep(0.5)
        check(len(screen.windows(ABOUT_TITLE)) == 1, "the About box shows more than once")
        about = screen.windows(ABOUT_TITLE)[0]
        check(screen.geometry(about)[2:] == (298, 225), "the About box is not 298 x 225")
        screen.xdotool("windowfocus", "--sync", str(about))
        screen.xdotool("key", "Return")
        wait_until(lambda: not screen.windows(ABOUT_TITLE), "Enter to hide the About box")
        # Its title bar's close hides it too, and the program goes on.
        screen.click(about_x, row)
        about = wait_until(lambda: screen.windows(ABOUT_TITLE), "the About box again")[0]
        screen.send_close(about)
        wait_until(lambda: not screen.windows(ABOUT_TITLE), "closing to hide the About box")
        check(program.poll() is None, "closing the About box ended the program")

        # Open: the dialog, driven by keyboard to the sample file in Data/.
        def open_file(path):
            screen.click(open_x, row)
            dialog = wait_until(lambda: screen.windows(OPEN_TITLE + r" \*\.Result"),
                                "the Open dialog")[0]
            screen.xdotool("windowfocus", "--sync", str(dialog))
            screen.xdotool("type", "--delay", "20", path)
            screen.xdotool("key", "Return")
            wait_until(lambda: not screen.windows(OPEN_TITLE + r" \*\.Result"),
                       "the Open dialog to close")

        open_file(sample)
        x0, y0 = window[0], window[1]
        top = row + 14  # just below the menu bar
        chart_og = (x0 + 40, top + 30, 440, 300)
        chart_pa = (x0 + 552, top + 30, 440, 300)
        chart_e = (x0 + 40, top + 430, 440, 230)
        inter = (x0 + 520, top + 410, 460, 280)

        def charts_shown():
            image = screen.shot()
            for place in (chart_og, chart_pa, chart_e):
                pixels = image.region(*place)
                if not (any(map(is_white, pixels)) and any(map(is_red, pixels)) and
                        any(map(is_blue, pixels)) and any(map(is_dark, pixels))):
                    return None
            text = image.region(*inter)
            if sum(map(is_dark, text)) < 200 or sum(map(is_white, text)) < len(text) // 2:
                return None
            return image

        opened = wait_until(charts_shown, "the three charts and the text panel")
        if screenshot_out:
            opened.crop(x0, y0, 1024, top - y0 + 735, screenshot_out)

        # A malformed file: its message shows, and the window stays as it was.
        bad = os.path.join(workdir, "bad.Result")
        with open(sample, "rb") as f:
            data = f.read().replace(b"  10   4", b"  1O   4")
        with open(bad, "wb") as f:
            f.write(data)
        open_file(bad)
        box = wait_until(lambda: screen.windows(BOX_TITLE), "the error message")
        check(len(box) == 1, "more than one message box")
        screen.xdotool("windowfocus", "--sync", str(box[0]))
        screen.xdotool("key", "Return")
        wait_until(lambda: not screen.windows(BOX_TITLE), "the message box to close")
        after = screen.shot()
        for place in (chart_og, chart_pa, chart_e, inter):
            check(after.region(*place) == opened.region(*place),
                  "a failed Open changed the window at %s" % (place,))

        # Closing the main window while the About box shows ends the program.
        screen.click(about_x, row)
        wait_until(lambda: screen.windows(ABOUT_TITLE), "the About box")
        screen.close_program(program, main_window)
        program = None

        # A results file named on the command line opens at start.
        program = subprocess.Popen([milman, sample], cwd=workdir, env=screen.env)
        main_window, placed = screen.place_main_window(program)
        check(placed == window, "the window is not where it was: %s" % (placed,))
        wait_until(charts_shown, "the charts of the file named on the command line")
        screen.close_program(program, main_window)
        program = None
    finally:
        if program is not None:
            program.kill()
            program.wait()
        screen.close()
        shutil.rmtree(workdir, ignore_errors=True)
    print("e2e: all checks passed")


def run(test):
    """Runs a test's main(); a failed check ends the program with status 1."""
    try:
        test()
    except Failure as failure:
        print("e2e FAILED: %s" % failure, file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    run(main)
