"""End to end: the program in a German session (LANGUAGE=de, LANG=de_DE.UTF-8,
with no German locale generated): its menus, the welcome view and a file row
read German through the accessibility tree, Qt's own texts (key names) too,
and sizes and rates are written with German numbers.
Usage (inside run_e2e.sh): language_e2e.py BRENVO BRENVO_CLI"""

import os
import re
import sys

import pyatspi

from brenvo_ui import Failure, Session, find, free_port, menu_item, run, state_of, wait_for, wait_node
from files_ui import FileList, key, throttle_loopback, write_random, write_settings

GERMAN = {"LANGUAGE": "de", "LANG": "de_DE.UTF-8", "BRENVO_NO_GATEWAY": "1"}
LARGE = "Field recordings.bin"
SIZE = 50 << 20  # "52,4 MB"
# A rate below 10 MB/s is written with a decimal: "5,0 MB/s".
RATE = "40mbit"


class Dateien(FileList):
    def tree(self):
        return wait_node(self.app, "tree", "Dateien")


def person(app, name):
    people = wait_node(app, "list", "Personen")
    return wait_for(f'"{name}" in the sidebar', lambda: find(people, "list item", name))


def welcome_and_menus(session, step):
    data_dir, _ = session.identity("Cleo", free_port())
    process, app = session.launch(data_dir, env=GERMAN)
    wait_node(app, "label", "Willkommen bei Brenvo")
    wait_node(app, "push button", "Karten importieren …")
    step("the welcome view")
    bar = wait_node(app, "menu bar")
    menus = wait_for("the menus", lambda: [bar.getChildAtIndex(i).name.replace("&", "")
                                           for i in range(bar.childCount)] or None)
    if menus != ["Datei", "Bearbeiten", "Ansicht", "Hilfe"]:
        raise Failure(f"the menu bar reads {menus}")
    for name in ("Meine Karte weitergeben …", "Einstellungen …", "Beenden", "Alles auswählen",
                 "Nach Aktualisierungen suchen …"):
        menu_item(app, name)
    step("the menus")
    session.stop(process)


def file_row(session, step):
    ann_dir, bob_dir = session.ann_and_bob()
    session.cli(bob_dir, "share", "--to", "Ann", write_random(session.path(LARGE), SIZE))
    downloads = session.path("ann-downloads")
    os.makedirs(downloads)
    write_settings(downloads)
    slowed = throttle_loopback(RATE)
    if not slowed:
        print("note: the loopback cannot be slowed (no tbf): the rate may have no decimal", file=sys.stderr)
    session.start_peer(bob_dir, "--accept", "all")
    _, app = session.launch(ann_dir, env=GERMAN)
    person(app, "Bob").queryAction().doAction(0)  # the cell's toggle: selects it
    wait_for('"Bob" selected', lambda: person(app, "Bob").getState().contains(pyatspi.STATE_SELECTED))
    wait_for('"Bob" verbunden', lambda: state_of(person(app, "Bob")) == "Verbunden")
    files = Dateien(app)
    files.wait_text(LARGE, "offered", lambda text: text.startswith(f"{LARGE}, 52,4 MB, Nicht heruntergeladen. "))
    step("the offer")
    files.select(LARGE)
    key("ctrl", "d")
    rate = r"\d,\d [kMG]B/s" if slowed else r"\d+(,\d)? [kMG]B/s"
    running = files.wait_text(LARGE, "on its way", lambda text: re.search(
        rf", [\d,]+ [kMG]?B von 52,4 MB, {rate}, noch \d+ (s|Min\.)\. Anhalten \(Strg\+P\)", text))
    step(f"the download: {running!r}")


def main():
    brenvo, cli = sys.argv[1:3]
    session = Session(brenvo, cli)
    return run(session, lambda step: (welcome_and_menus(session, step), file_row(session, step)))


if __name__ == "__main__":
    sys.exit(main())
