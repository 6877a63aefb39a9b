"""Drives brenvo and brenvo-cli as a person or a screen reader would: processes
in temporary folders, and the program's accessibility tree through AT-SPI.

Meant to run inside run_e2e.sh (loopback-only network, Xvfb, private session
bus with the accessibility bus), with /usr/bin/python3."""

import os
import signal
import socket
import subprocess
import sys
import tempfile
import time

import pyatspi
from gi.repository import Atspi

TIMEOUT = 45.0  # generous: a loaded CI machine starts Qt slowly
POLL = 0.1


class Failure(Exception):
    pass


def wait_for(what, probe, timeout=TIMEOUT):
    """Polls probe() until it returns something truthy; returns that."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = probe()
            if value:
                return value
        except Exception as error:  # a node may vanish while the tree is redrawn
            last_error = error
        if time.monotonic() > deadline:
            detail = f" (last error: {last_error})" if last_error else ""
            raise Failure(f"timed out after {timeout:.0f} s waiting for {what}{detail}")
        time.sleep(POLL)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Session:
    """The programs started for one run; stop() ends every one of them."""

    def __init__(self, brenvo, cli):
        self.brenvo = brenvo
        self.cli_path = cli
        self.root = tempfile.mkdtemp(prefix="brenvo-ui-")
        self.processes = []
        self.apps = []  # (process, accessible application) of each launch

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def cli(self, data_dir, *args):
        result = subprocess.run([self.cli_path, "--data-dir", data_dir, "--key-store", "file", *args],
                                capture_output=True, text=True, timeout=TIMEOUT)
        if result.returncode != 0:
            raise Failure(f"brenvo-cli {' '.join(args)} failed ({result.returncode}): {result.stderr.strip()}")
        return result.stdout

    def identity(self, name, port):
        """A data directory whose card says name at 127.0.0.1:port; returns (dir, card file)."""
        data_dir = self.path(name.lower())
        card = self.path(name.lower() + ".bcard")
        self.cli(data_dir, "card", "--name", name, "--address", "127.0.0.1", "--port", str(port), "-o", card)
        return data_dir, card

    def ann_and_bob(self):
        """Ann and Bob on free ports, each holding the other's card; returns their data directories."""
        ann_dir, ann_card = self.identity("Ann", free_port())
        bob_dir, bob_card = self.identity("Bob", free_port())
        self.cli(ann_dir, "import", bob_card)
        self.cli(bob_dir, "import", ann_card)
        return ann_dir, bob_dir

    def start_peer(self, data_dir, *args):
        """brenvo-cli run on data_dir (and args): listens on its card's port, no gateway traffic,
        calls nobody by itself (the tests press Connect).
        Returns once it listens, so that a call made next is not refused."""
        log_path = self.path(os.path.basename(data_dir) + "-run.log")
        log = open(log_path, "w")
        process = subprocess.Popen([self.cli_path, "--data-dir", data_dir, "--key-store", "file", "run", "--no-upnp",
                                    "--no-tor", "--no-auto-connect", *args],
                                   stdout=log, stderr=subprocess.STDOUT)
        self.processes.append(process)
        if "--no-listen" not in args:
            def listening():
                if process.poll() is not None:
                    raise Failure(f"brenvo-cli run ended ({process.returncode}) before listening")
                with open(log_path) as text:
                    return any(line.startswith("listening on port") for line in text)
            wait_for("the peer listening", listening)
        return process

    def launch(self, data_dir, *args, env=None):
        """Starts brenvo; returns (process, its accessible application)."""
        process = self.run_brenvo(data_dir, *args, env=env)
        app = wait_for(f"brenvo (pid {process.pid}) on the accessibility bus",
                       lambda: process.poll() is None and find_application(process.pid))
        # Read every property fresh: nothing here listens for change events.
        app.set_cache_mask(Atspi.Cache.NONE)
        self.apps.append((process, app))
        return process, app

    def run_brenvo(self, data_dir, *args, env=None):
        log = open(self.path(f"brenvo-{len(self.processes)}.log"), "w")
        environment = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", **(env or {}))
        process = subprocess.Popen([self.brenvo, "--data-dir", data_dir, "--key-store", "file", "--no-tor", *args],
                                   stdout=log, stderr=subprocess.STDOUT, env=environment)
        self.processes.append(process)
        return process

    def stop(self, process):
        """Ends the process as the session's end would (SIGTERM); returns its exit status."""
        if process.poll() is None:
            process.send_signal(signal.SIGTERM)
            try:
                process.wait(timeout=TIMEOUT)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        return process.returncode

    def stop_all(self):
        for process in reversed(self.processes):
            self.stop(process)

    def logs(self):
        text = []
        for name in sorted(os.listdir(self.root)):
            if name.endswith(".log"):
                with open(self.path(name), errors="replace") as log:
                    text.append(f"--- {name}\n{log.read()[-4000:]}")
        return "\n".join(text)


def find_application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def find_all(root, role, name=None, shallow=False):
    """Every node under root with the role (e.g. "push button") and, if given,
    the name; shallow: never walking into lists, trees or tables (one of
    10,000 rows takes minutes to walk)."""
    found = []

    def walk(node, depth):
        if node is None or depth > 40:
            return
        if node.getRoleName() == role and (name is None or node.name == name):
            found.append(node)
        if shallow and node.getRoleName() in ("list", "tree", "table", "tree table"):
            return
        for i in range(node.childCount):
            walk(node.getChildAtIndex(i), depth + 1)

    walk(root, 0)
    return found


def find(root, role, name=None, shallow=False):
    nodes = find_all(root, role, name, shallow)
    return nodes[0] if nodes else None


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def find_shown(root, role, name=None):
    for node in find_all(root, role, name):
        if showing(node):
            return node
    return None


def wait_node(root, role, name=None, timeout=TIMEOUT):
    return wait_for(f'{role} "{name}"' if name else role, lambda: find_shown(root, role, name), timeout)


def press(node):
    action = node.queryAction()
    names = [action.getName(i).lower() for i in range(action.nActions)]
    for wanted in ("press", "click"):
        if wanted in names:
            action.doAction(names.index(wanted))
            return
    raise Failure(f'"{node.name}" cannot be pressed (actions: {names})')


def main_window(app):
    return wait_for("a main window", lambda: find_shown(app, "frame"))


def sidebar_item(app, name, people="People"):
    people = wait_node(app, "list", people)
    return wait_for(f'"{name}" in the sidebar', lambda: find(people, "list item", name))


def select_user(app, name, people="People"):
    item = sidebar_item(app, name, people)
    if not item.getState().contains(pyatspi.STATE_SELECTED):
        item.queryAction().doAction(0)  # the cell's toggle: selects it
    wait_for(f'"{name}" selected', lambda: sidebar_item(app, name, people).getState().contains(
        pyatspi.STATE_SELECTED))


def connect_user(app, name):
    """Selects the user and waits until it is connected, pressing the toolbar's
    Connect unless the connection has been made by itself (when there is work
    for it, either side connects without a click)."""
    select_user(app, name)

    def connected_or_button():
        if state_of(sidebar_item(app, name)) == "Connected":
            return "connected"
        return find_shown(app, "push button", "Connect")
    found = wait_for(f'"{name}" connected or Connect', connected_or_button)
    if found != "connected":
        press(found)
    wait_for(f'"{name}" connected', lambda: state_of(sidebar_item(app, name)) == "Connected")


def state_of(item):
    """The connection state a sidebar row reads, without its count of new files."""
    return item.description.split(", ")[0]


def snapshot(app):
    """What a screen reader would find now: windows, buttons, labels, people."""
    lines = []
    try:
        for role in ("frame", "dialog", "push button", "label", "list item"):
            for node in find_all(app, role):
                if showing(node):
                    extra = f" ({node.description})" if node.description else ""
                    lines.append(f'  {role} "{node.name}"{extra}')
    except Exception as error:  # the program may be gone
        lines.append(f"  (tree unreadable: {error})")
    return "\n".join(lines)


def run(session, body, shown=snapshot):
    """Runs body(step), where step(what) records a stage passed; on a Failure
    prints the stages passed, what each running brenvo shows (shown(app)) and
    the logs. Stops every program started; returns the exit status."""
    started = time.monotonic()
    passed = []

    def step(what):
        passed.append(f"{what} ({time.monotonic() - started:.1f} s)")

    try:
        body(step)
    except Failure as failure:
        apps = "\n".join(f"brenvo (pid {p.pid}) shows:\n{shown(a)}" for p, a in session.apps if p.poll() is None)
        print(f"FAILED after: {', '.join(passed) or 'nothing'}: {failure}\n{apps}\n{session.logs()}", file=sys.stderr)
        return 1
    finally:
        session.stop_all()
    print("passed: " + ", ".join(passed))
    return 0


def main(body, shown=snapshot):
    """Runs body(session, step) on the programs named in the arguments
    (BRENVO BRENVO_CLI) as run() does, and exits with its status."""
    session = Session(sys.argv[1], sys.argv[2])
    sys.exit(run(session, lambda step: body(session, step), shown))


def ends(process, what, timeout=TIMEOUT):
    """Waits until brenvo exits 0 after what."""
    try:
        status = process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        raise Failure(f"brenvo still runs after {what}")
    if status != 0:
        raise Failure(f"brenvo exited {status} after {what}")


def menu_item(app, name):
    """An entry of the menu bar's menus, e.g. "Import Cards…" (found while its menu is closed)."""
    bar = wait_node(app, "menu bar")
    return wait_for(f'menu item "{name}"', lambda: find(bar, "menu item", name))


KEYSYMS = {"Up": 0xff52, "Down": 0xff54, "Right": 0xff53, "Return": 0xff0d, "Escape": 0xff1b, "Tab": 0xff09, "Delete": 0xffff}


def keysym(name):
    """The X keysym of a KEYSYMS name or of a character, e.g. "d"."""
    return KEYSYMS.get(name) or ord(name)


def send_keys(*names):
    """Presses and releases keys (KEYSYMS) as the keyboard would: they go to the focused window."""
    for name in names:
        pyatspi.Registry.generateKeyboardEvent(KEYSYMS[name], None, pyatspi.KEY_SYM)
        time.sleep(POLL)  # one after the other, as typed
