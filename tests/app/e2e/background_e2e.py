"""End to end: brenvo running on without windows, with its status icon shown
by a StatusNotifierWatcher of the test's own (sni_watcher.py): a download
from a brenvo-cli peer finishes after its window closed, a new offer asks for
attention, a second launch and the icon bring a window back, the icon's Quit
ends the program with its records stored. Without the setting, or without a
watcher, closing the window ends the program; --background starts without one;
the settings window writes and removes the autostart entry.
Usage (inside run_e2e.sh): background_e2e.py BRENVO BRENVO_CLI"""

import ctypes
import os
import re
import subprocess
import sys

import dbus

from brenvo_ui import (Failure, connect_user, ends, find, find_application, find_shown, main, main_window, wait_for,
                       wait_node)
from files_ui import FileList, bob_offers, key, sha256
from sni_watcher import StatusItem, registered_items

LARGE, SMALL = "Concert.flac", "Setlist.txt"
TRANSFER_TIMEOUT = 120
here = os.path.dirname(os.path.abspath(__file__))


def close_window(title):
    """Asks the window to close as a window manager's close button does (WM_DELETE_WINDOW)."""
    tree = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True, check=True).stdout
    # The X title ends with the program's name.
    ids = [int(w, 16) for w, name in re.findall(r'^\s*(0x[0-9a-f]+) "([^"]*)"', tree, re.MULTILINE)
           if name.startswith(title) and "IsViewable" in subprocess.run(
               ["xwininfo", "-id", w], capture_output=True, text=True).stdout]
    if not ids:
        raise Failure(f'no X window "{title}"')

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                    ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]

    class Event(ctypes.Union):
        _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

    x = ctypes.cdll.LoadLibrary("libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.POINTER(Event)]
    x.XFlush.argtypes = x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x.XOpenDisplay(None)
    for window in ids:
        event = Event()
        event.xclient.type = 33  # ClientMessage
        event.xclient.window = window
        event.xclient.message_type = x.XInternAtom(display, b"WM_PROTOCOLS", 0)
        event.xclient.format = 32
        event.xclient.data[0] = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
        x.XSendEvent(display, window, 0, 0, ctypes.byref(event))
    x.XFlush(display)
    x.XCloseDisplay(display)


def no_window(app):
    return find_shown(app, "frame") is None


def close_and_wait(app, process):
    close_window(main_window(app).name)
    wait_for("the window closed", lambda: process.poll() is not None or no_window(app))


class Watcher:
    def __init__(self, session, bus):
        self.bus = bus
        self.start(session)

    def start(self, session):
        self.process = subprocess.Popen([sys.executable, os.path.join(here, "sni_watcher.py")],
                                        stdout=subprocess.PIPE, text=True)
        session.processes.append(self.process)
        if self.process.stdout.readline().strip() != "ready":
            raise Failure("the status notifier watcher did not start")

    def item(self, process):
        """The program's item, once registered."""
        daemon = self.bus.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
        pid = lambda address: daemon.GetConnectionUnixProcessID(address.split("/")[0],
                                                                dbus_interface="org.freedesktop.DBus")
        address = wait_for("the status icon registered",
                           lambda: next((a for a in registered_items(self.bus) if pid(a) == process.pid), None))
        return StatusItem(self.bus, address)

    def stop(self, session):
        session.stop(self.process)
        wait_for("the watcher gone", lambda: not self.bus.name_has_owner("org.kde.StatusNotifierWatcher"))


def download_outlives_its_window(session, watcher, ann_dir, originals, downloads, step):
    process, app = session.launch(ann_dir, env={"BRENVO_NO_GATEWAY": "1"})
    item = watcher.item(process)
    connect_user(app, "Bob")
    files = FileList(app)
    files.select(LARGE)
    key("ctrl", "d")
    wait_for("the tooltip naming the download", lambda: re.fullmatch(r"1 file, \d+ %.*", item.tooltip()))
    target = os.path.join(downloads, LARGE)
    if ("Pause all", True) in [(label, enabled) for _, label, enabled in item.menu()]:  # not done yet
        item.click("Pause all")
        wait_for("nothing transferring after Pause all", lambda: item.tooltip() == "")
        files.wait_text(LARGE, "paused", lambda text: ", Paused." in text)
        item.click("Resume all")
        files.wait_text(LARGE, "resumed", lambda text: ", Paused." not in text)
        step("paused and resumed from the icon")
    close_and_wait(app, process)
    wait_for("the download finished with no window", lambda: process.poll() is not None or (
        os.path.exists(target) and sha256(target) == sha256(originals[LARGE])), TRANSFER_TIMEOUT)
    if process.poll() is not None:
        raise Failure(f"brenvo ended ({process.returncode}) when its window closed")
    wait_for("an empty tooltip", lambda: item.tooltip() == "")
    return process, app, item


def offer_asks_for_attention(session, bob_dir, originals, item):
    if item.status() != "Active":
        raise Failure(f'the icon starts as "{item.status()}"')
    pictures = {name: [(int(w), int(h), bytes(data)) for w, h, data in item.prop(name)]
                for name in ("IconPixmap", "AttentionIconPixmap")}
    for name, sizes in pictures.items():
        # ARGB, alpha first: something is drawn in every size.
        if not sizes or any(len(data) != w * h * 4 or not any(data[0::4]) for w, h, data in sizes):
            raise Failure(f"{name} is {[(w, h, len(data)) for w, h, data in sizes]}")
    if pictures["IconPixmap"] == pictures["AttentionIconPixmap"]:
        raise Failure("the attention icon is the icon")
    session.cli(bob_dir, "share", "--to", "Ann", originals[SMALL])
    wait_for("attention for the new offer", lambda: item.status() == "NeedsAttention")
    labels = [label for _, label, _ in item.menu()]
    expected = ["Show Brenvo", "-", "Bob — 1 new file", "-", "Pause all", "Resume all", "-", "Quit"]
    if labels != expected:
        raise Failure(f"the icon's menu is {labels}, not {expected}")


def offer_entry_shows_the_files(process, app, item):
    item.click("Bob — 1 new file")
    wait_for("a window on the new offer", lambda: find_shown(app, "frame") and FileList(app).selected(SMALL))
    close_and_wait(app, process)


def windows_come_back(session, ann_dir, process, app, item):
    second = session.run_brenvo(ann_dir)
    ends(second, "handing over to the running one")
    wait_for("a window from the second launch", lambda: find_shown(app, "frame"))
    FileList(app).wait_text(LARGE, "shown done", lambda text: ", Done." in text)
    close_and_wait(app, process)
    item.activate()
    wait_for("a window from the icon", lambda: find_shown(app, "frame"))
    close_and_wait(app, process)


def panel_goes_and_comes_back(session, watcher, process, app):
    """No panel, no unseen program: a window opens; the icon returns with the panel."""
    watcher.stop(session)
    wait_for("a window when the panel went away", lambda: find_shown(app, "frame"))
    watcher.start(session)
    item = watcher.item(process)
    close_and_wait(app, process)
    return item


def quit_from_the_menu(session, ann_dir, process, item):
    item.click("Quit")
    ends(process, "Quit in the icon's menu")
    records = session.cli(ann_dir, "files")
    if not any(f"\t{LARGE}\t" in line and "\tdone\t" in line for line in records.splitlines()) \
            or f"\t{SMALL}\t" not in records:
        raise Failure(f"the stored records after Quit:\n{records}")


def background_launch(session, watcher, ann_dir):
    process = session.run_brenvo(ann_dir, "--background", env={"BRENVO_NO_GATEWAY": "1"})
    item = watcher.item(process)
    app = find_application(process.pid)
    if app is not None and not no_window(app):
        raise Failure("--background showed a window")
    item.click("Quit")
    ends(process, "Quit in the icon's menu of a background launch")


def closing_ends_it(session, ann_dir, what):
    process, app = session.launch(ann_dir, env={"BRENVO_NO_GATEWAY": "1"})
    close_window(main_window(app).name)
    ends(process, f"its window closed {what}")


def settings_write_the_login_entry(session, ann_dir):
    process, app = session.launch(ann_dir, env={"BRENVO_NO_GATEWAY": "1"})
    find(app, "menu item", "Settings…").queryAction().doAction(0)
    box = wait_node(app, "check box", "Start Brenvo when you log in")
    entry = os.path.join(os.environ["XDG_CONFIG_HOME"], "autostart", "com.halvinor.brenvo.desktop")
    toggle = lambda: box.queryAction().doAction(0)  # a check box's one action: Toggle
    toggle()
    wait_for("the autostart entry", lambda: os.path.exists(entry))
    result = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
    with open(entry) as text:
        written = text.read()
    if result.returncode != 0 or result.stdout.strip() or f"Exec={session.brenvo} --background\n" not in written:
        raise Failure(f"the autostart entry:\n{written}\ndesktop-file-validate: {result.stdout}{result.stderr}")
    toggle()
    wait_for("the autostart entry removed", lambda: not os.path.exists(entry))
    session.stop(process)


def keep_running(ann_dir, on):
    path = os.path.join(os.environ["XDG_CONFIG_HOME"], "com.halvinor.brenvo", "Brenvo.conf")
    with open(path) as settings:
        text = re.sub(r"^KeepRunning=.*\n", "", settings.read(), flags=re.MULTILINE)
    with open(path, "w") as settings:
        settings.write(text.replace("[General]\n", f"[General]\nKeepRunning={'true' if on else 'false'}\n", 1))


def body(session, step):
    # About 5 s for the large file: time to close the window on its way.
    ann_dir, bob_dir, originals, downloads, _ = bob_offers(session, {LARGE: 24 << 20, SMALL: 3000}, (LARGE,),
                                                           "40mbit")
    watcher = Watcher(session, dbus.SessionBus())
    process, app, item = download_outlives_its_window(session, watcher, ann_dir, originals, downloads, step)
    step("download finished after its window closed")
    offer_asks_for_attention(session, bob_dir, originals, item)
    step("new offer asks for attention")
    offer_entry_shows_the_files(process, app, item)
    step("the offer's entry shows its files")
    windows_come_back(session, ann_dir, process, app, item)
    step("second launch and the icon open a window")
    item = panel_goes_and_comes_back(session, watcher, process, app)
    step("a window while the panel was gone")
    quit_from_the_menu(session, ann_dir, process, item)
    step("Quit in the icon's menu")
    background_launch(session, watcher, ann_dir)
    step("--background")
    keep_running(ann_dir, False)
    closing_ends_it(session, ann_dir, "with the setting off")
    step("setting off")
    keep_running(ann_dir, True)
    watcher.stop(session)
    closing_ends_it(session, ann_dir, "with no watcher")
    step("no watcher")
    settings_write_the_login_entry(session, ann_dir)
    step("start at login")


if __name__ == "__main__":
    main(body)
