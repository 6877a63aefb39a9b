"""Reasons a person can act on, made by the real situations: a peer whose port
is closed, a peer that does not hold Ann's card, a card without an address, and
Ann's own port taken by another program before launch. Read from the
toolbar's red text, the sidebar row, the information bar and Settings, where
another port is chosen.
Usage (inside run_e2e.sh): reasons_e2e.py BRENVO BRENVO_CLI"""

import socket

import pyatspi

from brenvo_ui import (Failure, find_all, find_shown, free_port, main, menu_item, press, select_user, send_keys, showing,
                       sidebar_item, wait_for, wait_node)


def body(session, step):
    ann_port = free_port()
    ann_dir, ann_card = session.identity("Ann", ann_port)
    # Bob: his card's port is closed (nobody listens there).
    bob_port = free_port()
    _, bob_card = session.identity("Bob", bob_port)
    # Carla runs, but has never imported Ann's card.
    carla_dir, carla_card = session.identity("Carla", free_port())
    # Dana's card says no address at all.
    dana_card = session.path("dana.bcard")
    session.cli(session.path("dana"), "card", "--name", "Dana", "--port", str(free_port()), "-o", dana_card)
    session.cli(ann_dir, "import", bob_card, carla_card, dana_card)
    session.start_peer(carla_dir)

    # Another program on Ann's port before she starts.
    blocker = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    blocker.bind(("0.0.0.0", ann_port))
    blocker.listen()
    try:
        process, app = session.launch(ann_dir)
        taken = f"Port {ann_port} is in use by another program: choose another port in Settings."
        wait_for(f'the information bar saying "{taken}"', lambda: find_shown(app, "label", taken))
        step("port taken")
        another_port(app, ann_port)
        step("another port chosen in Settings")

        expected = {
            "Bob": f"Bob is offline or unreachable at 127.0.0.1:{bob_port}",
            "Carla": "Carla did not accept the connection: has Carla imported your card?",
            "Dana": "Dana's card has no address: ask Dana for a new card",
        }
        for name, reason in expected.items():
            # The person in view is called without a click, and called again
            # ("— trying again in 5 s").
            select_user(app, name)
            wait_for(f'the toolbar saying "{reason}"',
                     lambda: any(label.name.startswith(reason) for label in shown_labels(app)))
            description = wait_for(f"{name}'s row with the reason",
                                   lambda: reason in sidebar_item(app, name).description
                                   and sidebar_item(app, name).description)
            if not description.startswith("Not connected"):
                raise Failure(f'{name}\'s row reads "{description}"')
            step(name)
    finally:
        blocker.close()


def another_port(app, taken):
    """Settings tells the port taken; typing a free one there listens on it."""
    press(menu_item(app, "Settings…"))
    wait_node(app, "label", f"Port {taken} is in use by another program")
    field = wait_node(app, "text", "Listening port")
    free = free_port()
    field.queryEditableText().setTextContents(str(free))
    field.queryComponent().grabFocus()
    wait_for("the port field focused", lambda: field.getState().contains(pyatspi.STATE_FOCUSED))
    send_keys("Return")
    wait_node(app, "label", f"Listening on port {free}")
    wait_for("the information bar gone", lambda: not any(
        label.name.startswith(f"Port {taken} is in use") for label in shown_labels(app)))
    send_keys("Escape")
    wait_for("Settings closed", lambda: find_shown(app, "label", f"Listening on port {free}") is None)


def shown_labels(app):
    return [node for node in find_all(app, "label") if showing(node)]


if __name__ == "__main__":
    main(body)
