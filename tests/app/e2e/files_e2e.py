"""End to end: files both ways between brenvo and a brenvo-cli peer, through
the program's accessibility tree, its context menu and its keys; then the
toolbar's Disconnect, a second launch with a link handing over to the
running program, and brenvo-cli's commands answered by it.
Usage (inside run_e2e.sh): files_e2e.py BRENVO BRENVO_CLI"""

import os
import re
import sys
import time
import uuid

import pyatspi

from brenvo_ui import (Failure, connect_user, ends, find_all, main, main_window, press, sidebar_item, snapshot,
                       state_of, wait_for, wait_node)
from files_ui import FileList, bob_offers, key, sha256

MIB = 1 << 20
LARGE, SMALL, OTHER, MINE = "Field recordings.bin", "Notes.txt", "Slides.pdf", "Report for Bob.odt"
TRANSFER_TIMEOUT = 120


def three_offers_listed(session, ann_dir):
    process, app = session.launch(ann_dir, env={"BRENVO_NO_GATEWAY": "1"})
    connect_user(app, "Bob")
    files = FileList(app)
    wait_for("three rows", lambda: len(files.rows()) == 3)
    if files.sections() != ["Downloads"]:
        raise Failure(f"sections {files.sections()}, not only Downloads")
    for name in (LARGE, SMALL, OTHER):
        text = files.text(name)
        if text is None or ", Not downloaded." not in text:
            raise Failure(f'"{name}" is {text!r}, not an offer nobody acted on')
    return process, app, files


def two_downloaded_with_a_pause(session, files, originals, downloads):
    files.select(SMALL, LARGE)
    files.menu_command(LARGE, 1)  # Download: both are selected, the menu acts on both
    # On its way, with its rate and the time left in words.
    files.wait_text(LARGE, "running with a rate", lambda text: re.search(r" of [^,]+, [0-9.]+ [kMG]B/s, [0-9]+ (s|min) left\. ", text))

    files.select(LARGE)
    files.menu_command(LARGE, 1)  # Pause, the only transfer command of a running download
    files.wait_text(LARGE, "paused", lambda text: ", Paused." in text)
    # Blocks asked for before the pause may still arrive; then nothing moves.
    paused = settled(files, LARGE)
    if " of " not in paused:
        raise Failure(f"the large download was not caught in the middle: {paused!r}")

    key("ctrl", "d")  # Download again, from the keyboard
    files.wait_text(LARGE, "resumed", lambda text: ", Paused." not in text)
    # Bob stops half way and comes back, calling nobody: the program calls
    # him again by itself, and the download goes on without a click.
    session.bob.terminate()
    if session.bob.wait(timeout=30) not in (0, 143):  # 143: ended by the signal, after saving
        raise Failure(f"Bob's brenvo-cli exited {session.bob.returncode} on SIGTERM")
    if ", Done." in files.text(LARGE):
        print(f"note: {LARGE} was done before Bob stopped", file=sys.stderr)
    session.bob = session.start_bob()
    for name in (SMALL, LARGE):
        files.wait_text(name, "downloaded", lambda text: ", Done." in text, timeout=TRANSFER_TIMEOUT)
        target = os.path.join(downloads, name)
        if sha256(target) != sha256(originals[name]):
            raise Failure(f"{target} differs from what Bob offered")
    if os.path.exists(os.path.join(downloads, OTHER)) or ", Not downloaded." not in files.text(OTHER):
        raise Failure(f'"{OTHER}" was downloaded, though nobody asked for it')


def settled(files, name, quiet=1.0, timeout=20):
    """The row's text once it has stayed the same for quiet seconds."""
    deadline = time.monotonic() + timeout
    text = files.text(name)
    while time.monotonic() < deadline:
        time.sleep(quiet)
        now = files.text(name)
        if now == text:
            return text
        text = now
    raise Failure(f'"{name}" kept changing for {timeout} s after its pause: {text!r}')


def offered_file_reaches_the_peer(session, app, files, bob_dir, originals, bob_downloads):
    press(wait_node(app, "push button", "Share Files"))
    dialog = wait_node(app, "dialog", "Share Files")
    wait_node(dialog, "text", "File name:").queryEditableText().setTextContents(originals[MINE])
    press(wait_for('"Open" enabled', lambda: next(
        (button for button in find_all(dialog, "push button", "Open") if button.queryAction().nActions), None)))
    chooser = wait_node(app, "dialog", "Share")
    selected = [item.name for item in find_all(chooser, "list item") if item.getState().contains(
        pyatspi.STATE_SELECTED)]
    if selected != ["Bob"]:
        raise Failure(f"the recipient chooser preselects {selected}, not the selected person")
    press(wait_node(chooser, "push button", "Share"))

    wait_for("the Uploads section", lambda: files.sections() == ["Downloads", "Uploads"])
    files.wait_text(MINE, "sent", lambda text: ", Done." in text, timeout=TRANSFER_TIMEOUT)
    target = os.path.join(bob_downloads, MINE)
    wait_for(f"{MINE} at Bob's", lambda: os.path.exists(target), timeout=TRANSFER_TIMEOUT)
    if sha256(target) != sha256(originals[MINE]):
        raise Failure(f"{target} differs from what Ann offered")
    records = session.cli(bob_dir, "files")  # carried out by Bob's running peer
    line = next((line for line in records.splitlines() if f"\t{MINE}\t" in line), "")
    if "\tin\t" not in line or "\tdone\t" not in line:
        raise Failure(f"Bob's records show {line!r} for the offered file:\n{records}")


def rows_shown(app):
    try:
        return "\n".join(f'  row "{text}"' for _, text in FileList(app).rows())
    except Exception as error:  # the program may be gone
        return f"  (rows unreadable: {error})"


def disconnect_and_second_launch(session, process, app, ann_dir):
    press(wait_node(app, "push button", "Disconnect"))
    wait_for("Bob not connected, in the sidebar and the title", lambda: state_of(
        sidebar_item(app, "Bob")) == "Not connected" and main_window(app).name == "Bob — Not connected")
    wait_node(app, "push button", "Connect")
    ends(session.run_brenvo(ann_dir, f"brenvo://file/{uuid.uuid4()}"), "handing over to the running one", 20)
    if process.poll() is not None:
        raise Failure(f"the first instance exited ({process.returncode})")
    main_window(app)  # still answering with its window
    # The program owns the data directory: brenvo-cli's commands run in it.
    users = session.cli(ann_dir, "users")
    if "Bob" not in users:
        raise Failure(f"brenvo-cli users through the running program printed {users!r}")


def body(session, step):
    bob_downloads = session.path("bob-downloads")
    os.makedirs(bob_downloads)
    # Slow enough that the large download can be caught running and paused,
    # also on a loaded machine: 50 MiB take about 10 s.
    ann_dir, bob_dir, originals, ann_downloads, _ = bob_offers(
        session, {LARGE: 50 * MIB, SMALL: 20_000, OTHER: 700_000, MINE: 300_000}, (LARGE, SMALL, OTHER), "40mbit",
        "--download-to", bob_downloads)
    process, app, files = three_offers_listed(session, ann_dir)
    step("three offers listed")
    two_downloaded_with_a_pause(session, files, originals, ann_downloads)
    step("two downloaded, one paused and one sender restarted on the way")
    offered_file_reaches_the_peer(session, app, files, bob_dir, originals, bob_downloads)
    step("one offered")
    disconnect_and_second_launch(session, process, app, ann_dir)
    step("disconnected, second launch, brenvo-cli through the program")
    status = session.stop(process)
    if status != 0:
        raise Failure(f"brenvo exited {status} on SIGTERM")


if __name__ == "__main__":
    main(body, shown=lambda app: f"{snapshot(app)}\n{rows_shown(app)}")
