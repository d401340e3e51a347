# The viewer's X window destroyed by another client, with no close request from a window manager
# (what xdotool windowclose does): oxhost ends as if the window had been closed, and a reader it had
# running ends with it. Run under an X server: python3 viewer_destroyed.py OXHOST
import ctypes
import ctypes.util
import fcntl
import os
import signal
import subprocess
import sys
import tempfile
import time

oxhost = sys.argv[1]
x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_void_p] * 4
x11.XGetWindowProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long, ctypes.c_long,
                                   ctypes.c_int, ctypes.c_ulong] + [ctypes.c_void_p] * 5
x11.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_void_p]
x11.XDestroyWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x11.XFree.argtypes = [ctypes.c_void_p]
# A window that goes while it is looked at is no reason to stop (Xlib's default handler exits).
ErrorHandler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
ignore_errors = ErrorHandler(lambda display, error: 0)
x11.XSetErrorHandler(ignore_errors)
IsViewable = 2


class Attributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                ("root", ctypes.c_ulong), ("c_class", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong),
                ("map_installed", ctypes.c_int), ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


display = x11.XOpenDisplay(None)
assert display, "cannot open the X display %r" % os.environ.get("DISPLAY")
root = x11.XDefaultRootWindow(display)
pid_atom = x11.XInternAtom(display, b"_NET_WM_PID", 0)


def window_pid(window):
    kind, format_, count, after = ctypes.c_ulong(), ctypes.c_int(), ctypes.c_ulong(), ctypes.c_ulong()
    data = ctypes.POINTER(ctypes.c_ulong)()
    if x11.XGetWindowProperty(display, window, pid_atom, 0, 1, 0, 0, ctypes.byref(kind), ctypes.byref(format_),
                              ctypes.byref(count), ctypes.byref(after), ctypes.byref(data)) != 0 or not data:
        return None
    pid = data[0] if count.value == 1 else None
    x11.XFree(data)
    return pid


def shown_window(pid):
    """The top-level window that process pid shows, or None."""
    root_return, parent = ctypes.c_ulong(), ctypes.c_ulong()
    children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
    if not x11.XQueryTree(display, root, ctypes.byref(root_return), ctypes.byref(parent), ctypes.byref(children),
                          ctypes.byref(count)):
        return None
    windows = [children[i] for i in range(count.value)]
    if children:
        x11.XFree(children)
    for window in windows:
        attributes = Attributes()
        if (window_pid(window) == pid and x11.XGetWindowAttributes(display, window, ctypes.byref(attributes))
                and attributes.map_state == IsViewable and attributes.width > 100):
            return window
    return None


def children(pid):
    found = []
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/children" % (pid, task)) as f:
                found += [int(p) for p in f.read().split()]
        except OSError:
            pass
    return found


def running(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def wait_for(condition, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    return None


work = tempfile.mkdtemp()
# A model whose reader waits in open() as on a slow share: a write lease held here blocks every
# other open of the file until the lease is given up (or the kernel breaks it, after 45 s).
slow = os.path.join(work, "slow.obj")
with open(slow, "w") as f:
    f.write("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n")
signal.signal(signal.SIGIO, signal.SIG_IGN)

# name, arguments, whether the window goes while a reader runs
cases = [
    ("a model shown", ["--gui", "--sample", "sphere"], False),
    ("a model being read", ["--gui", slow], True),
]
failures = []
env = dict(os.environ, QT_XCB_GL_INTEGRATION="none", XDG_CONFIG_HOME=os.path.join(work, "config"),
           XDG_CACHE_HOME=os.path.join(work, "cache"))
env.pop("QT_QPA_PLATFORM", None)
for name, arguments, reading in cases:
    lease = os.open(slow, os.O_RDONLY)
    fcntl.fcntl(lease, fcntl.F_SETLEASE, fcntl.F_WRLCK)
    process = subprocess.Popen([oxhost] + arguments, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, text=True)
    window = wait_for(lambda: shown_window(process.pid), 60)
    readers = wait_for(lambda: children(process.pid), 60) if reading else []
    if not window or (reading and not readers):
        failures.append("%s: oxhost showed no window%s" % (name, " while it read" if reading else ""))
    else:
        x11.XDestroyWindow(display, window)
        x11.XSync(display, 0)
    try:
        _, err = process.communicate(timeout=30)
    except subprocess.TimeoutExpired:
        process.kill()
        _, err = process.communicate()
        failures.append("%s: oxhost still runs 30 s after its window was destroyed" % name)
    else:
        if process.returncode != 0:
            failures.append("%s: oxhost ended with status %d: %s" % (name, process.returncode, err))
        elif err.strip():
            failures.append("%s: oxhost wrote to its error output: %s" % (name, err))
    for reader in readers:
        if wait_for(lambda: not running(reader), 5) is None:
            failures.append("%s: the reader %d runs on after oxhost" % (name, reader))
            os.kill(reader, signal.SIGKILL)
    os.close(lease)
for failure in failures:
    print("FAIL:", failure)
if failures:
    sys.exit(1)
print("oxhost ends with its destroyed window, and its reader with it")
