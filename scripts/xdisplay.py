"""What the real-window test and the benchmarks need of an X display: a private Xvfb and
closing a window as a window manager would."""

import ctypes
import os
import subprocess

from Xlib import X, protocol


def die_with_parent():
    """Ends a child when its parent is killed, as CTest does on a time-out."""
    ctypes.CDLL(None, use_errno=True).prctl(1, 15)  # PR_SET_PDEATHSIG, SIGTERM


def start_xvfb():
    """Starts Xvfb on a free display number; returns the server process and the display name."""
    read_end, write_end = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "800x600x24", "-nolisten", "tcp"],
        pass_fds=[write_end], stderr=subprocess.DEVNULL, preexec_fn=die_with_parent)
    os.close(write_end)
    with os.fdopen(read_end) as pipe:
        number = pipe.readline().strip()
    if not number:
        server.kill()
        raise RuntimeError("Xvfb did not start")
    return server, ":" + number


def close_window(x, window):
    """Sends WM_DELETE_WINDOW to the window."""
    protocols = x.intern_atom("WM_PROTOCOLS")
    delete = x.intern_atom("WM_DELETE_WINDOW")
    window.send_event(protocol.event.ClientMessage(
        window=window, client_type=protocols, data=(32, [delete, X.CurrentTime, 0, 0, 0])))
    x.flush()
