"""The file list of brenvo as a person at the keyboard uses it, and the
machinery around a transfer test: the settings file, a slower loopback and
checksums. Runs inside run_e2e.sh, like brenvo_ui."""

import contextlib
import hashlib
import os
import re
import subprocess
import sys

import pyatspi
from gi.repository import Atspi

from brenvo_ui import TIMEOUT, find_all, keysym, wait_for, wait_node

# X modifier masks, as AT-SPI locks them.
MODIFIERS = {"shift": 1 << 0, "ctrl": 1 << 2, "alt": 1 << 3}


def write_settings(download_dir):
    """The program's settings file (read at launch): downloads go into
    download_dir without a dialog, and no update check leaves the machine."""
    folder = os.path.join(os.environ["XDG_CONFIG_HOME"], "com.halvinor.brenvo")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "Brenvo.conf"), "w") as settings:
        settings.write(f"[General]\nDownloadLocation={download_dir}\nCheckForUpdates=false\n")


def throttle_loopback(rate):
    """Slows the sandbox's loopback to rate (e.g. "80mbit") so that a transfer
    can be watched, paused and resumed; False where the kernel has no tbf."""
    try:
        result = subprocess.run(["tc", "qdisc", "replace", "dev", "lo", "root", "tbf", "rate", rate,
                                 "burst", "128kb", "latency", "50ms"], capture_output=True, text=True)
    except FileNotFoundError:  # no iproute2
        return False
    return result.returncode == 0


def write_random(path, size):
    with open(path, "wb") as out:
        left = size
        while left > 0:
            chunk = min(left, 1 << 20)
            out.write(os.urandom(chunk))
            left -= chunk
    return path


def bob_offers(session, sizes, offered, rate, *peer_args):
    """Ann and Bob holding each other's cards; a file of random bytes for each
    of sizes ({name: bytes}), those named in offered offered by Bob to Ann;
    Ann's downloads going into a folder of their own without a dialog; the
    loopback slowed to rate; Bob's brenvo-cli running (session.bob, restarted
    by session.start_bob()), accepting all.
    Returns (ann_dir, bob_dir, originals, Ann's downloads, whether slowed)."""
    ann_dir, bob_dir = session.ann_and_bob()
    originals = {name: write_random(session.path(name), size) for name, size in sizes.items()}
    session.cli(bob_dir, "share", "--to", "Ann", *(originals[name] for name in offered))
    downloads = session.path("ann-downloads")
    os.makedirs(downloads)
    write_settings(downloads)
    slowed = throttle_loopback(rate)
    if not slowed:
        print("note: the loopback cannot be slowed (no tbf): transfers may end before they are watched",
              file=sys.stderr)
    session.start_bob = lambda: session.start_peer(bob_dir, "--accept", "all", *peer_args)
    session.bob = session.start_bob()
    return ann_dir, bob_dir, originals, downloads, slowed


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as data:
        for chunk in iter(lambda: data.read(1 << 20), b""):
            digest.update(chunk)
    return digest.hexdigest()


@contextlib.contextmanager
def held(*modifiers):
    """Holds the modifiers ("ctrl", "shift", "alt") down meanwhile."""
    mask = 0
    for modifier in modifiers:
        mask |= MODIFIERS[modifier]
    if mask:
        Atspi.generate_keyboard_event(mask, None, Atspi.KeySynthType.LOCKMODIFIERS)
    try:
        yield
    finally:
        if mask:
            Atspi.generate_keyboard_event(mask, None, Atspi.KeySynthType.UNLOCKMODIFIERS)


def key(*combo):
    """Types a key with modifiers, e.g. key("ctrl", "d"), into the focused window."""
    *modifiers, name = combo
    with held(*modifiers):
        Atspi.generate_keyboard_event(keysym(name), None, Atspi.KeySynthType.SYM)


class FileList:
    """The "Files" tree of a window (named tree in another language): its
    rows, their texts and the selection."""

    def __init__(self, app, tree="Files"):
        self.app = app
        self.tree_name = tree

    def tree(self):
        return wait_node(self.app, "tree", self.tree_name)

    def rows(self):
        """(node, accessible text) of every file row shown, sections left out."""
        rows = []
        for node in find_all(self.tree(), "table cell"):
            text = node.name or ""
            if "," in text:
                rows.append((node, text))
        return rows

    def sections(self):
        return [node.name for node in find_all(self.tree(), "table cell")
                if node.name in ("Downloads", "Uploads")]

    def row(self, name):
        for node, text in self.rows():
            if text.startswith(name + ", "):
                return node
        return None

    def text(self, name):
        node = self.row(name)
        return node.name if node is not None else None

    def wait_text(self, name, what, probe, timeout=TIMEOUT):
        """Waits until probe(the row's accessible text) holds; returns the text."""
        return wait_for(f'"{name}" {what}', lambda: (lambda text: text if text and probe(text) else None)(
            self.text(name)), timeout)

    def click(self, name, button=1, *modifiers):
        """Clicks the row (its picture, clear of the row's buttons): the first
        button selects it alone and focuses the list (with "ctrl": adds it),
        the third opens its menu."""
        node = wait_for(f'the row "{name}"', lambda: self.row(name))
        box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        with held(*modifiers):
            pyatspi.Registry.generateMouseEvent(box.x + 24, box.y + box.height // 2, f"b{button}c")

    def selected(self, name):
        node = self.row(name)
        return node is not None and node.getState().contains(pyatspi.STATE_SELECTED)

    def select(self, *names):
        """Selects exactly the rows named (the first one clicked, the others
        added with Ctrl) with the focus in the list."""
        first, *more = names
        self.click(first)
        wait_for(f'"{first}" selected alone', lambda: self.selected(first) and not any(
            node.getState().contains(pyatspi.STATE_SELECTED) for node, text in self.rows()
            if not text.startswith(first + ", ")))
        # Not the cells' Toggle action: in a tree it selects by the row's
        # number within its section, i.e. another row.
        for name in more:
            self.click(name, 1, "ctrl")
            wait_for(f'"{name}" selected', lambda: self.selected(name))

    def menu_command(self, name, position):
        """Opens the context menu on the row and runs its item at position (1: the first)."""
        before = popups()
        self.click(name, button=3)
        wait_for(f'the context menu of "{name}"', lambda: popups() - before)
        for _ in range(position):
            key("Down")
        key("Return")
        wait_for("the context menu closed", lambda: not popups() - before)


def popups():
    """The mapped override-redirect X windows (menus, tooltips): Qt's popup
    menus are not in the accessibility tree."""
    tree = subprocess.run(["xwininfo", "-root", "-children"], capture_output=True, text=True).stdout
    found = set()
    for window in re.findall(r'^\s*(0x[0-9a-f]+) ', tree, re.MULTILINE):
        info = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True).stdout
        if "Override Redirect State: yes" in info and "IsViewable" in info:
            found.add(window)
    return found
