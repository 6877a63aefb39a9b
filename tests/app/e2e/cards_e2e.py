"""End to end: two people exchange their cards with the real brenvo, through its
accessibility tree, and connect.
Usage (inside run_e2e.sh): cards_e2e.py BRENVO BRENVO_CLI

Ann and Bob each run their own instance (own data directory, HOME and settings,
own listening port). Ann, new, shares her card from the welcome view with
Share → Export File…; Bob imports it with File → Import Cards… and confirms;
Bob shares his from File → Share My Card… and Ann imports it. Then Ann connects
to Bob and both sidebars show the other as connected."""

import os

import pyatspi

from brenvo_ui import (Failure, connect_user, find_all, find_shown, free_port, main, menu_item, press, send_keys, showing,
                       sidebar_item, wait_for, wait_node)


SCREEN_CORNER = tuple(int(n) - 1 for n in os.environ.get("BRENVO_UI_SCREEN", "1280x800x24").split("x")[:2])


class Person:
    """One instance of the program, with a card that says name at 127.0.0.1:port."""

    def __init__(self, session, name, port):
        self.name = name
        self.data_dir = session.path(name.lower())
        # The card's port is the one the program listens on: set it before the start.
        session.cli(self.data_dir, "card", "--name", name, "--address", "127.0.0.1", "--port", str(port))
        env = {}
        for variable in ("HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"):
            env[variable] = session.path(name.lower() + "-env", variable.lower())
            os.makedirs(env[variable], mode=0o700)
        self.process, self.app = session.launch(self.data_dir, env=env)


def has_state(node, state):
    return node.getState().contains(state)


def gone(node):
    try:
        return not showing(node)
    except Exception:  # already destroyed
        return True


def choose_file(app, title, field_name, button, path, offered=""):
    """Types path into the Qt file dialog titled title, where the file name
    offered is filled in, and presses its button."""
    chooser = wait_node(app, "dialog", title)
    field = wait_node(chooser, "text", field_name)
    if field.queryText().getText(0, -1) != offered:
        raise Failure(f'"{title}" offers the file name "{field.queryText().getText(0, -1)}", not "{offered}"')
    field.queryEditableText().setTextContents(path)
    wait_for(f'"{path}" typed in "{title}"', lambda: field.queryText().getText(0, -1) == path)
    accept = wait_for(f'"{button}" enabled in "{title}"',
                      lambda: next((node for node in find_all(chooser, "push button", button)
                                    if showing(node) and has_state(node, pyatspi.STATE_ENABLED)), None))
    press(accept)
    wait_for(f'"{title}" closed', lambda: find_shown(app, "dialog", title) is None)


def export_card(app, name, path):
    """In the share dialog just opened: Share → Export File…, saved as path.

    The Share button's menu is out of the accessibility tree's reach: Qt
    leaves popups out of it, and the button's ShowMenu action, called over
    AT-SPI, neither opens the menu nor answers (Qt 6.4). So the menu is used as
    on the keyboard: Return presses the dialog's default button, Share, whose
    menu opens with the keyboard grabbed; Up from no entry reaches the last
    one, Export File…."""
    details = wait_node(app, "dialog", "Share Card")
    share = wait_node(details, "push button", "Share")
    wait_for("the share dialog active", lambda: has_state(details, pyatspi.STATE_ACTIVE))
    send_keys("Return")
    wait_for("the Share menu open", lambda: has_state(share, pyatspi.STATE_PRESSED))
    send_keys("Up", "Return")
    # The save dialog has the same title: wait for this one to go first.
    wait_for("the share dialog closed", lambda: gone(details))
    choose_file(app, "Share Card", "Export As:", "Export", path, offered=name + ".bcard")
    wait_for(f"the card written to {path}", lambda: os.path.isfile(path) and os.path.getsize(path) > 0)


def import_card(app, path, name):
    """File → Import Cards…, path, then the import dialog's Import: name joins the
    sidebar and is selected."""
    press(menu_item(app, "Import Cards…"))
    choose_file(app, "Import Cards", "File name:", "Import", path)
    details = wait_node(app, "dialog", "Import User")
    shown = wait_node(details, "text", "Name").queryText().getText(0, -1)
    if shown != name:
        raise Failure(f'the import dialog shows "{shown}", not "{name}"')
    press(wait_node(details, "push button", "Import"))
    # Selected, the new person is called at once: whatever came of it.
    description = sidebar_item(app, name).description
    if not description.startswith(("Not connected", "Connecting…", "Connected")):
        raise Failure(f'{name} was imported as "{description}"')
    wait_for(f"{name} selected after the import",
             lambda: sidebar_item(app, name).getState().contains(pyatspi.STATE_SELECTED))


def body(session, step):
    exchange = session.path("exchange")  # where the card files travel
    os.makedirs(exchange)
    ann_port = bob_port = free_port()
    while bob_port == ann_port:
        bob_port = free_port()
    # The pointer out of the way: a menu that opens under it would take the entry it is on.
    pyatspi.Registry.generateMouseEvent(*SCREEN_CORNER, pyatspi.MOUSE_ABS)
    ann = Person(session, "Ann", ann_port)
    bob = Person(session, "Bob", bob_port)
    step("both started")

    # Ann is new: the welcome view offers to share her card or import others'.
    wait_node(ann.app, "label", "Welcome to Brenvo")
    wait_node(ann.app, "push button", "Import Cards…")
    press(wait_node(ann.app, "push button", "Share My Card…"))
    export_card(ann.app, "Ann", os.path.join(exchange, "Ann.bcard"))
    step("Ann exported her card")
    import_card(bob.app, os.path.join(exchange, "Ann.bcard"), "Ann")
    step("Bob imported it")

    press(menu_item(bob.app, "Share My Card…"))
    export_card(bob.app, "Bob", os.path.join(exchange, "Bob.bcard"))
    step("Bob exported his card")
    import_card(ann.app, os.path.join(exchange, "Bob.bcard"), "Bob")
    step("Ann imported it")

    connect_user(ann.app, "Bob")
    wait_for("Ann connected in Bob's sidebar", lambda: sidebar_item(bob.app, "Ann").description == "Connected")
    step("connected")


if __name__ == "__main__":
    main(body)
