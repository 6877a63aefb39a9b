"""End to end: a person who offers 10,000 files, selected through AT-SPI while
listeners for what a screen reader follows are registered. The program must
answer the next question within a few seconds, and keep running.
Usage (inside run_e2e.sh): many_offers_e2e.py BRENVO BRENVO_CLI"""

import os
import time

import pyatspi

from brenvo_ui import Failure, find, main, wait_for

COUNT = 10_000
# What a screen reader asks to be told about.
EVENTS = ("object:children-changed", "object:state-changed", "object:active-descendant-changed",
          "object:property-change", "object:selection-changed", "object:text-changed", "focus:")
ANSWER_WITHIN = 10.0


def setup(session):
    ann_dir, bob_dir = session.ann_and_bob()
    folder = session.path("offers")
    os.makedirs(folder)
    paths = []
    for i in range(COUNT):
        paths.append(os.path.join(folder, f"Offer {i:05}.txt"))
        with open(paths[-1], "w") as file:
            file.write(str(i))
    for first in range(0, COUNT, 1000):  # a command carries at most 1024 arguments
        session.cli(bob_dir, "share", "--to", "Ann", *paths[first:first + 1000])
    session.start_peer(bob_dir)
    return ann_dir


def row(people, name):
    return next((people.getChildAtIndex(i) for i in range(people.childCount)
                 if people.getChildAtIndex(i).name == name), None)


def selected(item):
    return item.getState().contains(pyatspi.STATE_SELECTED)


def body(session, step):
    ann_dir = setup(session)
    step(f"{COUNT} files offered by Bob")
    listener = lambda event: None  # noqa: E731  (never dispatched: registering makes the program send them)
    pyatspi.Registry.registerEventListener(listener, *EVENTS)
    process, app = session.launch(ann_dir, env={"BRENVO_NO_GATEWAY": "1"})
    frame = wait_for("the main window", lambda: find(app, "frame", shallow=True))
    people = wait_for("the sidebar", lambda: find(frame, "list", "People", True))
    files = wait_for("the file list", lambda: find(frame, "tree", "Files", True))
    bob = wait_for("Bob in the sidebar", lambda: row(people, "Bob"))
    bob.queryAction().doAction(0)
    # Bob in view is called without a click.
    wait_for("Bob selected", lambda: selected(row(people, "Bob")) and frame.name.startswith("Bob"))
    # Counts are written in the session's numbers (run_e2e.sh: the C locale).
    wait_for(f"{COUNT} new files of Bob", lambda: row(people, "Bob").description
             == f"Connected, {COUNT:,} new files", timeout=120)
    step("listed")
    for round in range(2):
        row(people, "Ann").queryAction().doAction(0)
        wait_for("Ann selected", lambda: frame.name == "Brenvo")
        started = time.monotonic()
        row(people, "Bob").queryAction().doAction(0)
        wait_for("Bob's title", lambda: frame.name == "Bob — Connected" and selected(row(people, "Bob")),
                 timeout=ANSWER_WITHIN)
        # What a screen reader asks next: how many rows, and the first.
        count, last = files.childCount, files.getChildAtIndex(files.childCount - 1).name
        if count < COUNT or "Offer 09999" not in last:
            raise Failure(f"the file list has {count} children, the last {last!r}")
        took = time.monotonic() - started
        if took > ANSWER_WITHIN:
            raise Failure(f"selecting Bob took {took:.1f} s")
        step(f"Bob selected and his files read in {took:.1f} s")
    if process.poll() is not None:
        raise Failure(f"brenvo ended ({process.returncode})")
    status = session.stop(process)
    if status != 0:
        raise Failure(f"brenvo exited {status} on SIGTERM")


if __name__ == "__main__":
    main(body, shown=lambda app: "")
