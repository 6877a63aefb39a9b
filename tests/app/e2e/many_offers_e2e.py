"""End to end: a person who offers 10,000 files, selected through AT-SPI while
listeners for what a screen reader follows are registered. The program must
answer the next question within a few seconds, and keep running.
Usage (inside run_e2e.sh): many_offers_e2e.py BRENVO BRENVO_CLI"""

import os
import sys
import time

import pyatspi

from brenvo_ui import Failure, Session, connect_user, free_port, main_window, run, select_user, sidebar_item, wait_for

COUNT = 10_000
# What a screen reader asks to be told about.
EVENTS = ("object:children-changed", "object:state-changed", "object:active-descendant-changed",
          "object:property-change", "object:selection-changed", "object:text-changed", "focus:")
ANSWER_WITHIN = 10.0


def setup(session):
    ann_dir, ann_card = session.identity("Ann", free_port())
    bob_dir, bob_card = session.identity("Bob", free_port())
    session.cli(ann_dir, "import", bob_card)
    session.cli(bob_dir, "import", ann_card)
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


def timed(what, probe):
    started = time.monotonic()
    value = probe()
    took = time.monotonic() - started
    if took > ANSWER_WITHIN:
        raise Failure(f"{what} took {took:.1f} s")
    return value, took


def main():
    session = Session(sys.argv[1], sys.argv[2])

    def body(step):
        ann_dir = setup(session)
        step(f"{COUNT} files offered by Bob")
        listener = lambda event: None  # noqa: E731  (registered, never dispatched: the program sends all the same)
        pyatspi.Registry.registerEventListener(listener, *EVENTS)
        process, app = session.launch(ann_dir, env={"BRENVO_NO_GATEWAY": "1"})
        connect_user(app, "Bob")
        wait_for(f"{COUNT} offers listed", lambda: session.cli(ann_dir, "files").count("\tin\t") == COUNT,
                 timeout=120)
        step("listed")
        if os.environ.get("CHECK_COUNT", "1") == "1":
            wait_for(f"{COUNT} new files of Bob",
                     lambda: sidebar_item(app, "Bob").description == f"Connected, {COUNT} new files")
        select_user(app, "Ann")
        for round in range(2):
            started = time.monotonic()
            select_user(app, "Bob")
            _, took = timed("the title after selecting Bob", lambda: wait_for(
                "Bob's title", lambda: main_window(app).name == "Bob — Connected", timeout=ANSWER_WITHIN))
            step(f"Bob selected and answering after {time.monotonic() - started:.1f} s")
            select_user(app, "Ann")
        if process.poll() is not None:
            raise Failure(f"brenvo ended ({process.returncode})")
        status = session.stop(process)
        if status != 0:
            raise Failure(f"brenvo exited {status} on SIGTERM")

    return run(session, body)


if __name__ == "__main__":
    sys.exit(main())
