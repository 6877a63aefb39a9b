"""End to end: the real brenvo, driven through its accessibility tree (its
first launch, showing the welcome view, is in cards_e2e.py; its end on SIGTERM
in files_e2e.py).
Usage (inside run_e2e.sh): e2e_test.py BRENVO BRENVO_CLI"""

import subprocess
import sys
import uuid

from brenvo_ui import (Failure, Session, main_window, press, run, select_user, sidebar_item,
                       wait_for, wait_node)


def imported_user_connects_and_disconnects(session):
    ann_dir, bob_dir = session.ann_and_bob()
    session.start_peer(bob_dir)

    process, app = session.launch(ann_dir)
    sidebar_item(app, "Ann")  # me, first
    if sidebar_item(app, "Bob").description != "Not connected":
        raise Failure(f'Bob starts as "{sidebar_item(app, "Bob").description}", not "Not connected"')
    # The person in view is called without a click.
    select_user(app, "Bob")
    wait_for("the title of a connected user", lambda: main_window(app).name == "Bob — Connected")

    press(wait_node(app, "push button", "Disconnect"))
    wait_for("Bob not connected in the sidebar", lambda: sidebar_item(app, "Bob").description == "Not connected")
    wait_for("the title of a disconnected user", lambda: main_window(app).name == "Bob — Not connected")
    wait_node(app, "push button", "Connect")
    return process, app, ann_dir


def second_launch_hands_over(session, first, app, data_dir):
    second = session.run_brenvo(data_dir, f"brenvo://file/{uuid.uuid4()}")
    try:
        status = second.wait(timeout=20)
    except subprocess.TimeoutExpired:
        raise Failure("the second launch did not exit")
    if status != 0:
        raise Failure(f"the second launch exited {status}")
    if first.poll() is not None:
        raise Failure(f"the first instance exited ({first.returncode})")
    main_window(app)  # still answering with its window


def cli_commands_reach_the_program(session, data_dir):
    # The program owns the data directory: brenvo-cli's commands run in it.
    users = session.cli(data_dir, "users")
    if "Bob" not in users:
        raise Failure(f"brenvo-cli users through the running program printed {users!r}")


def main():
    session = Session(sys.argv[1], sys.argv[2])

    def body(step):
        process, app, data_dir = imported_user_connects_and_disconnects(session)
        step("connect and disconnect")
        second_launch_hands_over(session, process, app, data_dir)
        step("second launch")
        cli_commands_reach_the_program(session, data_dir)
        step("brenvo-cli through the program")

    return run(session, body)


if __name__ == "__main__":
    sys.exit(main())
