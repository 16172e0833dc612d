"""Uses the built ordering window as a cashier would, on a virtual X display of its own.

    python3 window_e2e.py PATH-TO-ordering-system ARTIFACT-DIR
    python3 window_e2e.py --windows-zip PATH-TO-ZIP ARTIFACT-DIR

With --windows-zip the zip is unpacked into the run directory and its ordering-system.exe
runs there under Wine, on the windows platform; records then end lines in CR LF.

Nothing but the program's window and files is used: the X server's pixels and window
properties, mouse clicks and typing through xdotool, and the bytes of test.txt.
"""

import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

from Xlib import X, display, error

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from xdisplay import close_window, die_with_parent, start_xvfb  # noqa: E402

PROGRAM = ""
WINDOWS_ZIP = ""
ARTIFACTS = ""

PICTURES = ["chicken", "frice", "burger", "tea", "coke", "s"]
# Each label's rectangle in the window and the colour the test paints its picture.
LABELS = {
    "chicken": ((30, 20, 41, 31), (230, 40, 40)),
    "frice": ((30, 70, 41, 31), (40, 200, 40)),
    "burger": ((30, 120, 41, 31), (40, 60, 230)),
    "tea": ((170, 20, 41, 31), (230, 200, 30)),
    "coke": ((170, 70, 41, 31), (30, 200, 210)),
    "s": ((170, 120, 41, 31), (140, 60, 20)),
}
FORM_PICTURE_COLOUR = (230, 40, 230)

# Where a cashier clicks: check box and radio indicators, button middles.
CLICK = {
    "chicken": (88, 39), "frice": (88, 89), "burger": (88, 139),
    "tea": (228, 39), "coke": (228, 89), "sprite": (228, 139),
    "yes": (378, 39), "no": (378, 79),
    "pushButton": (400, 139), "pushButton_2": (490, 139),
    "textEdit": (280, 260),
}
TEXT_AREA = (32, 172, 497, 107)


# Windows that vanish between two X requests: Wine makes and destroys helper windows at will.
GONE = (error.BadWindow, error.BadDrawable, error.BadMatch)


def wait_for(condition, what, timeout=30.0, shown=None):
    """Polls until condition() is true; on a time-out says what shown() returns then."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError("timed out waiting for " + what
                         + (": " + repr(shown()) if shown else ""))


def on_disk(text):
    """The bytes a record's text becomes on the program's platform."""
    return text.replace(b"\n", b"\r\n") if WINDOWS_ZIP else text


def near(a, b, tolerance=40):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


class VirtualDisplay:
    def __enter__(self):
        self.server, self.name = start_xvfb()
        self.x = display.Display(self.name)
        return self

    def __exit__(self, *exc):
        self.x.close()
        self.server.terminate()
        self.server.wait(timeout=10)


class Till:
    """One run of the program in a run directory, on the given display."""

    def __init__(self, screen, run_dir, args=(), file_size_limit=None, command=None):
        self.screen = screen
        self.x = screen.x
        self.run_dir = run_dir
        env = dict(os.environ, DISPLAY=screen.name, QT_QPA_PLATFORM="xcb", WINEDEBUG="-all")
        if command is None:
            command = (["wine", os.path.join(run_dir, "ordering-system.exe")] if WINDOWS_ZIP
                       else [PROGRAM])

        def prepare():
            die_with_parent()
            if file_size_limit is not None:  # as ulimit -f does, its signal left at the default
                resource.setrlimit(resource.RLIMIT_FSIZE, (file_size_limit, file_size_limit))

        self.process = subprocess.Popen([*command, *args], cwd=run_dir, env=env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                        preexec_fn=prepare)
        self.window = wait_for(lambda: self.find("Ordering System"), "the ordering window")
        # Unpainted, a window shows black; painted, the program is taking input.
        wait_for(lambda: self.pixel(5, 5) != (0, 0, 0), "the window painted")

    def find(self, title):
        """The viewable top-level window with this title; None while there is none."""
        for child in self.x.screen().root.query_tree().children:
            try:
                name = child.get_full_property(self.x.intern_atom("_NET_WM_NAME"),
                                               self.x.intern_atom("UTF8_STRING"))
                if (name and name.value.decode(errors="replace") == title
                        and child.get_attributes().map_state == X.IsViewable):
                    return child
            except GONE:
                continue
        return None

    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], check=True,
                       env=dict(os.environ, DISPLAY=self.screen.name))

    def click(self, name):
        x, y = CLICK[name]
        self.xdotool("mousemove", "--window", str(self.window.id), str(x), str(y),
                     "click", "1")

    def paste(self, text):
        """Pastes into the text area, as a cashier would, and waits until it is drawn there.

        xdotool types a character missing from the keyboard map by changing the map for that
        key, and a program that reads the key after the map is put back reads another one."""
        before = self.ink(*TEXT_AREA)
        subprocess.run(["xclip", "-selection", "clipboard"], input=text.encode(), check=True,
                       env=dict(os.environ, DISPLAY=self.screen.name))
        self.xdotool("key", "ctrl+v")
        # A paste lands whole, under Wine after the keys; the blinking cursor alone darkens
        # fewer pixels than the new characters.
        wait_for(lambda: self.ink(*TEXT_AREA) > before + 40, "the pasted text drawn")

    def pixel(self, x, y):
        raw = self.window.get_image(x, y, 1, 1, X.ZPixmap, 0xFFFFFFFF).data
        return (raw[2], raw[1], raw[0])

    def ink(self, x, y, w, h):
        """How many pixels of the rectangle are darker than its white paper."""
        raw = self.window.get_image(x, y, w, h, X.ZPixmap, 0xFFFFFFFF).data
        return sum(1 for i in range(0, len(raw), 4) if raw[i] + raw[i + 1] + raw[i + 2] < 600)

    def screenshot(self, path):
        subprocess.run(["import", "-window", hex(self.window.id), path], check=True,
                       env=dict(os.environ, DISPLAY=self.screen.name))

    def record_file(self):
        path = os.path.join(self.run_dir, "test.txt")
        if not os.path.isfile(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def close(self):
        """Closes the window as a window manager does, and returns the exit status."""
        close_window(self.x, self.window)
        return self.process.wait(timeout=60)

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


class WindowTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="ordering-e2e-")
        self.run_dir = os.path.join(self.root, "build", "run")
        if WINDOWS_ZIP:
            with zipfile.ZipFile(WINDOWS_ZIP) as archive:
                folder = archive.namelist()[0].split("/")[0]
                archive.extractall(os.path.join(self.root, "build"))
            os.rename(os.path.join(self.root, "build", folder), self.run_dir)
        else:
            os.makedirs(self.run_dir)
        os.makedirs(os.path.join(self.root, "picture"))
        for picture in PICTURES:
            self.paint(os.path.join(self.root, "picture", picture + ".jpg"), FORM_PICTURE_COLOUR)
            self.paint(os.path.join(self.run_dir, picture + ".jpg"), LABELS[picture][1])
        self.screen = VirtualDisplay().__enter__()
        self.tills = []

    def tearDown(self):
        for till in self.tills:
            till.kill()
        self.screen.__exit__(None, None, None)
        shutil.rmtree(self.root, ignore_errors=True)

    @staticmethod
    def paint(path, colour):
        subprocess.run(["convert", "-size", "82x62", "xc:rgb(%d,%d,%d)" % colour, path], check=True)

    def start(self, args=(), file_size_limit=None):
        till = Till(self.screen, self.run_dir, args, file_size_limit)
        self.tills.append(till)
        return till

    def dismiss_error_box(self, till):
        box = wait_for(lambda: till.find("Error Message"), "the error box")
        transient = box.get_wm_transient_for()
        self.assertEqual(transient.id if transient else None, till.window.id)
        till.xdotool("windowfocus", "--sync", str(box.id))
        till.xdotool("key", "Return")
        wait_for(lambda: till.find("Error Message") is None, "the error box to close")

    def test_a_cashier_takes_orders(self):
        till = self.start()
        self.assertEqual(till.window.get_wm_name(), "Ordering System")
        geometry = till.window.get_geometry()
        self.assertEqual((geometry.width, geometry.height), (545, 328))
        for picture, ((x, y, w, h), colour) in LABELS.items():
            wait_for(lambda: near(till.pixel(x + w // 2, y + h // 2), colour), picture + " shown")

        till.click("burger")
        till.click("chicken")
        till.click("yes")
        till.click("pushButton")
        till.click("pushButton_2")
        first = on_disk(b"You order : burger, chicken \nTotal money is 300\nhave to pay 290\n")
        wait_for(lambda: till.record_file() == first, "the first record",
                 shown=till.record_file)

        till.click("chicken")
        till.click("tea")
        till.click("no")
        # The paste below measures the text area's ink: the new summary must be drawn first.
        summary_ink = till.ink(*TEXT_AREA)
        till.click("pushButton")
        wait_for(lambda: till.ink(*TEXT_AREA) != summary_ink, "the new summary drawn")
        till.click("textEdit")
        till.xdotool("key", "ctrl+End")
        till.paste(" 加辣")
        till.click("pushButton_2")
        second = on_disk("You order : burger, lemon tea \nTotal money is 240\nhave to pay 240 加辣\n"
                         .encode())
        wait_for(lambda: till.record_file() == first + second, "the second record",
                 shown=till.record_file)
        till.screenshot(os.path.join(ARTIFACTS, "window-with-summary.png"))

        # The record file turned into a directory, then into a full disk: each click tells
        # the cashier, and the program goes on.
        log = os.path.join(self.run_dir, "test.txt")
        os.rename(log, log + ".kept")
        os.mkdir(log)
        till.click("pushButton_2")
        self.dismiss_error_box(till)
        os.rmdir(log)
        os.symlink("/dev/full", log)
        till.click("pushButton_2")
        self.dismiss_error_box(till)
        os.remove(log)
        os.rename(log + ".kept", log)
        till.click("pushButton_2")
        wait_for(lambda: till.record_file() == first + second * 2, "the third record",
                 shown=till.record_file)

        self.assertEqual(till.close(), 0)

    def test_a_full_log_under_a_file_size_limit(self):
        if WINDOWS_ZIP:
            self.skipTest("file-size limits are a Unix facility")
        earlier = b"You order : coke \nTotal money is 50\nhave to pay 40\n"
        with open(os.path.join(self.run_dir, "test.txt"), "wb") as f:
            f.write(earlier)
        till = self.start(file_size_limit=len(earlier) + 10)
        till.click("no")
        till.click("pushButton")
        till.click("pushButton_2")
        self.dismiss_error_box(till)
        self.assertIsNone(till.process.poll())
        self.assertEqual(till.record_file(), earlier)
        self.assertEqual(till.close(), 0)

    def test_without_pictures_in_the_run_directory(self):
        for picture in PICTURES:
            os.remove(os.path.join(self.run_dir, picture + ".jpg"))
        till = self.start(["--not-an-option", "extra"])
        self.assertEqual(till.window.get_wm_name(), "Ordering System")
        background = till.pixel(5, 5)
        for picture, ((x, y, w, h), _) in LABELS.items():
            wait_for(lambda: till.pixel(x + w // 2, y + h // 2) == background, picture + " blank")
        till.click("no")
        till.click("pushButton")
        till.click("pushButton_2")
        empty = on_disk(b"You order  \nTotal money is 0\nhave to pay 0\n")
        wait_for(lambda: till.record_file() == empty, "the empty order's record",
                 shown=till.record_file)
        self.assertEqual(till.close(), 0)


if __name__ == "__main__":
    if sys.argv[1] == "--windows-zip":
        WINDOWS_ZIP = os.path.abspath(sys.argv.pop(2))
        sys.argv.pop(1)
    else:
        PROGRAM = os.path.abspath(sys.argv[1])
    ARTIFACTS = os.path.abspath(sys.argv[-1])
    os.makedirs(ARTIFACTS, exist_ok=True)
    unittest.main(argv=sys.argv[:1], verbosity=2)
