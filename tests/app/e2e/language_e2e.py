"""End to end: the program in a German session (LANGUAGE=de, LANG=de_DE.UTF-8,
with no German locale generated): its menus, the welcome view and a file row
read German through the accessibility tree, Qt's own texts (key names) too,
and sizes and rates are written with German numbers.
Usage (inside run_e2e.sh): language_e2e.py BRENVO BRENVO_CLI"""

import re

from brenvo_ui import Failure, free_port, main, menu_item, select_user, sidebar_item, state_of, wait_for, wait_node
from files_ui import FileList, bob_offers, key

GERMAN = {"LANGUAGE": "de", "LANG": "de_DE.UTF-8", "BRENVO_NO_GATEWAY": "1"}
LARGE = "Field recordings.bin"


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
    # 50 MiB: "52,4 MB"; a rate below 10 MB/s is written with a decimal: "5,0 MB/s".
    ann_dir, _, _, _, slowed = bob_offers(session, {LARGE: 50 << 20}, (LARGE,), "40mbit")
    _, app = session.launch(ann_dir, env=GERMAN)
    select_user(app, "Bob", "Personen")
    wait_for('"Bob" verbunden', lambda: state_of(sidebar_item(app, "Bob", "Personen")) == "Verbunden")
    files = FileList(app, "Dateien")
    files.wait_text(LARGE, "offered", lambda text: text.startswith(f"{LARGE}, 52,4 MB, Nicht heruntergeladen. "))
    step("the offer")
    files.select(LARGE)
    key("ctrl", "d")
    rate = r"\d,\d [kMG]B/s" if slowed else r"\d+(,\d)? [kMG]B/s"
    running = files.wait_text(LARGE, "on its way", lambda text: re.search(
        rf", [\d,]+ [kMG]?B von 52,4 MB, {rate}, noch \d+ (s|Min\.)\. Anhalten \(Strg\+P\)", text))
    step(f"the download: {running!r}")


if __name__ == "__main__":
    main(lambda session, step: (welcome_and_menus(session, step), file_row(session, step)))
