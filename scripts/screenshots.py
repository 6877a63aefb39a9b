"""Renders the program's screenshots; run by scripts/screenshots.sh inside the
sandbox of tests/app/e2e/run_e2e.sh.
Usage: screenshots.py BRENVO BRENVO_CLI OUT_DIR [LANG...|files-folder]
(with languages: only the shots in those languages, main-*-LANG.png and
settings-LANG.png; with files-folder: only that shot)

The files-progress shots slow the sandbox's loopback down (tc) to catch a
download on its way."""

import os
import re
import subprocess
import sys
import time

import dbus
import pyatspi

from brenvo_ui import (Failure, Session, connect_user, find, find_all, find_shown, free_port, main_window, press,
                       select_user, showing, sidebar_item, state_of, wait_for, wait_node)
from background_e2e import Watcher, close_window
from files_ui import FileList, key, popups, throttle_loopback, write_settings


def render_menu(entries, path, scale=1):
    """Draws the menu as a panel would show it (ImageMagick), for the screenshots."""
    width, row, gap = 260 * scale, 30 * scale, 9 * scale
    height = sum(gap if label == "-" else row for _, label, _ in entries) + 8 * scale
    command = ["/usr/bin/convert", "-size", f"{width}x{height}", "xc:#fcfcfc", "-font", "DejaVu-Sans",
               "-pointsize", str(13 * scale)]
    y = 4 * scale
    for _, label, enabled in entries:
        if label == "-":
            command += ["-stroke", "#d1d5d9", "-draw", f"line {8 * scale},{y + gap // 2} {width - 8 * scale},{y + gap // 2}",
                        "-stroke", "none"]
            y += gap
            continue
        command += ["-fill", "#232629" if enabled else "#a0a4a8", "-annotate", f"+{14 * scale}+{y + 20 * scale}", label]
        y += row
    command += ["-bordercolor", "#b8bcc0", "-border", str(scale), path]
    subprocess.run(command, check=True)


def unthrottle_loopback():
    subprocess.run(["tc", "qdisc", "del", "dev", "lo", "root"], capture_output=True)


def x_window(title):
    """The id of the mapped X window whose title begins with title."""
    tree = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True, check=True).stdout
    for match in re.finditer(r'^\s*(0x[0-9a-f]+) "([^"]*)"', tree, re.MULTILINE):
        window, name = match.groups()
        if name.startswith(title):
            info = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True).stdout
            if "IsViewable" in info:
                return window
    return None


def capture(title, path, with_popups=False):
    """Grabs the window once two grabs in a row are the same (it has finished
    drawing); with_popups: the screen's area of the window, so that a menu
    open on it (a window of its own) is in the picture."""
    window = wait_for(f'the X window "{title}"', lambda: x_window(title))
    source = ["-window", window]
    if with_popups:
        info = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True, check=True).stdout
        field = lambda name: int(re.search(rf"{name}:\s+(-?\d+)", info).group(1))
        source = ["-window", "root", "-crop",
                  f"{field('Width')}x{field('Height')}+{field('Absolute upper-left X')}+"
                  f"{field('Absolute upper-left Y')}", "+repage"]

    def grab():
        return subprocess.run(["/usr/bin/import", "-silent", *source, "png:-"],
                              capture_output=True, check=True).stdout

    previous = grab()
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        time.sleep(0.3)
        current = grab()
        if current == previous:
            break
        previous = current
    with open(path, "wb") as out:
        out.write(previous)
    print(f"wrote {path}")


def park_pointer():
    """Moves the pointer off every window so nothing shows a hover highlight."""
    pyatspi.Registry.generateMouseEvent(2500, 1550, pyatspi.MOUSE_ABS)


def sidebar_menu(app, name, path):
    """The context menu of a person's row in the sidebar, opened with a right click."""
    box = sidebar_item(app, name).queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    before = popups()
    pyatspi.Registry.generateMouseEvent(box.x + box.width // 3, box.y + box.height // 2, "b3c")
    wait_for("the sidebar's context menu", lambda: popups() - before)
    capture(main_window(app).name, path, with_popups=True)
    key("Escape")
    park_pointer()


# What the shots in another language wait for and press, in that language.
LANGUAGES = {
    "de": {"locale": "de_DE.UTF-8", "welcome": "Willkommen bei Brenvo", "people": "Personen", "connect": "Verbinden",
           "connected": "Verbunden", "new": "2 neue Dateien", "settings…": "Einstellungen …",
           "settings": "Einstellungen", "listen": "Auf eingehende Verbindungen warten"},
    "fr": {"locale": "fr_FR.UTF-8", "welcome": "Bienvenue dans Brenvo", "people": "Personnes", "connect": "Connecter",
           "connected": "Connecté", "new": "2 nouveaux fichiers", "settings…": "Paramètres…",
           "settings": "Paramètres", "listen": "Écouter les connexions entrantes"},
    "es": {"locale": "es_ES.UTF-8", "welcome": "Le damos la bienvenida a Brenvo", "people": "Personas",
           "connect": "Conectar", "connected": "Conectado", "new": "2 archivos nuevos",
           "settings…": "Preferencias…", "settings": "Preferencias", "listen": "Escuchar conexiones entrantes"},
}


def in_language(session, ann_dir, out, language):
    """The welcome view, Ann's window with Bob connected and his files, and
    the settings, in a session of that language (LANGUAGE and LANG)."""
    words = LANGUAGES[language]
    env = {"LANGUAGE": language, "LANG": words["locale"]}
    name = lambda base: os.path.join(out, f"{base}-{language}.png")
    process, app = session.launch(session.path(f"fresh-{language}"), env=env)
    wait_for("the welcome view", lambda: find_shown(app, "label", words["welcome"]))
    capture(main_window(app).name, name("main-welcome"))
    session.stop(process)

    process, app = session.launch(ann_dir, env=env)
    people = wait_node(app, "list", words["people"])
    bob = lambda: find(people, "list item", "Bob Tanaka")
    wait_for("Bob in the sidebar", bob).queryAction().doAction(0)
    # There is work for him: either side may connect without a click.
    found = wait_for("Bob connected, or Connect", lambda: "connected" if state_of(bob()) == words["connected"]
                     else find_shown(app, "push button", words["connect"]))
    if found != "connected":
        press(found)
    wait_for("Bob connected, with his new files",
             lambda: bob().description == f'{words["connected"]}, {words["new"]}')
    park_pointer()
    capture(main_window(app).name, name("main-users"))
    find(app, "menu item", words["settings…"]).queryAction().doAction(0)
    wait_for("the settings window", lambda: find_shown(app, "check box", words["listen"]))
    capture(words["settings"], name("settings"))
    session.stop(process)


def own_card_without_address(app, path):
    """The share dialog of a card with no address, with a LAN address to pick
    (a veth pair of the sandbox's own network)."""
    lan = subprocess.run(["sh", "-c", "ip link add lan0 type veth peer name lan1 && "
                          "ip addr add 192.168.1.20/24 dev lan0 && ip link set lan1 up && ip link set lan0 up"],
                         capture_output=True).returncode == 0
    try:
        share = find(app, "menu item", "Share My Card…")
        if share is None:
            raise Failure('no "Share My Card…" menu item')
        share.queryAction().doAction(0)
        wait_for("the address proposal", lambda: find_shown(app, "label", "This machine can be reached at:"))
        park_pointer()
        capture("Share Card", path)
        key("Escape")
        wait_for("the share dialog closed", lambda: not find_shown(app, "dialog"))
    finally:
        if lan:
            subprocess.run(["ip", "link", "del", "lan0"], capture_output=True)


def megabytes_done(text):
    """The bytes done, in MB, of a row's accessible text "name, 12.3 MB of 48.0 MB, …"."""
    match = re.search(r", ([0-9.]+) MB of ", text or "")
    return float(match.group(1)) if match else 0.0


def transfers_and_an_error_row(session, ann_dir, bob_dir, out):
    """Ann downloads Bob's files: a small one, a large one slowly, and a
    third into a folder too small for it, which fails."""
    video = session.path("Concert video.mkv")
    with open(video, "wb") as data:
        data.write(os.urandom(3_000_000))
    session.cli(bob_dir, "share", "--to", "Ann Moreau", video)  # carried out by Bob's running peer
    downloads, full = session.path("ann-downloads"), session.path("full-disk")
    os.makedirs(downloads, exist_ok=True)
    os.makedirs(full, exist_ok=True)
    # A disk with room for a third of the video (the sandbox has a mount namespace of its own).
    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", full], check=True)
    write_settings(downloads)
    if not throttle_loopback("40mbit"):
        raise Failure("the loopback cannot be slowed down (tc tbf): no transfer to show")
    try:
        for scale, suffix in (("1", ""), ("2", "-2x")):
            process, app = session.launch(ann_dir, env={"QT_SCALE_FACTOR": scale})
            connect_user(app, "Bob Tanaka")
            files = FileList(app)
            if suffix == "":
                files.wait_text("Concert video.mkv", "offered", lambda text: True)
                records = [line.split("\t") for line in session.cli(ann_dir, "files").splitlines()]
                ids = {fields[3]: fields[0] for fields in records if len(fields) > 3}
                session.cli(ann_dir, "resume", ids["Field recordings.zip"], ids["Budget 2027.ods"], "--to", downloads)
                session.cli(ann_dir, "resume", ids["Concert video.mkv"], "--to", full)
            files.wait_text("Concert video.mkv", "failed", lambda text: ", Failed." in text, timeout=90)
            files.wait_text("Budget 2027.ods", "downloaded", lambda text: ", Done." in text)
            # A third of the way, then slowly enough for the picture to hold still.
            throttle_loopback("40mbit")
            files.wait_text("Field recordings.zip", "on its way", lambda text: megabytes_done(text) >= 16 * int(scale),
                            timeout=120)
            throttle_loopback("1mbit")
            park_pointer()
            capture(main_window(app).name, os.path.join(out, f"files-progress{suffix}.png"))
            if suffix == "":
                # The context menu of a running and a finished download together.
                files.select("Field recordings.zip", "Budget 2027.ods")
                before = popups()
                files.click("Budget 2027.ods", 3)
                wait_for("the context menu", lambda: popups() - before)
                capture(main_window(app).name, os.path.join(out, "files-menu.png"), with_popups=True)
                key("Escape")
            session.stop(process)
    finally:
        unthrottle_loopback()
        subprocess.run(["umount", "--lazy", full])


def folder_row(session, ann_dir, bob_dir, out):
    """Bob offers Ann a folder: one row with its files' total, opened on them."""
    holiday = session.path("Holiday")
    for name, size in (("Beach.jpg", 2_400_000), ("Harbour.jpg", 1_800_000), ("Route.txt", 4_000),
                       ("Day 2/Market.jpg", 2_100_000), ("Day 2/Sunset.jpg", 2_900_000)):
        path = os.path.join(holiday, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as data:
            data.write(os.urandom(size))
    session.cli(bob_dir, "share", "--to", "Ann Moreau", holiday)  # carried out by Bob's running peer
    process, app = session.launch(ann_dir)
    connect_user(app, "Bob Tanaka")
    files = FileList(app)
    files.wait_text("Folder Holiday", "offered", lambda text: "5 files" in text, timeout=60)
    files.click("Folder Holiday")
    key("Right")  # opens the folder
    files.wait_text("Holiday/Day 2/Sunset.jpg", "shown", lambda text: True)
    park_pointer()
    capture(main_window(app).name, os.path.join(out, "files-folder.png"))
    session.stop(process)


def status_icon_menu(session, ann_dir, bob_dir, out):
    """The status icon's menu while Ann's window is closed and an offer from
    Bob waits, as the test's watcher draws it."""
    bus = dbus.SessionBus()
    watcher = Watcher(session, bus)
    process, app = session.launch(ann_dir)
    item = watcher.item(process)
    connect_user(app, "Bob Tanaka")
    close_window(main_window(app).name)
    wait_for("the window closed", lambda: find_shown(app, "frame") is None)
    offer = session.path("Minutes.txt")
    with open(offer, "w") as minutes:
        minutes.write("Minutes of the meeting\n")
    session.cli(bob_dir, "share", "--to", "Ann Moreau", offer)
    wait_for("the offer in the icon's menu", lambda: item.status() == "NeedsAttention" and any(
        "new file" in label for _, label, _ in item.menu()))
    for scale, suffix in ((1, ""), (2, "-2x")):
        render_menu(item.menu(), os.path.join(out, f"status-menu{suffix}.png"), scale)
        print(f"wrote status-menu{suffix}.png")
    item.click("Quit")
    process.wait(timeout=60)
    watcher.stop(session)


def batch_notification(session, ann_dir, bob_dir, out):
    """The one notification for 300 files Bob offers at once, as the
    notification server received it, drawn as a desktop shows it."""
    server = subprocess.Popen(["/usr/bin/python3", "-m", "dbusmock", "-t", "notification_daemon",
                               "-p", '{"capabilities": "body actions"}'], stdout=subprocess.DEVNULL)
    try:
        mock = dbus.Interface(wait_for("the notification server", lambda: notification_server()),
                              "org.freedesktop.DBus.Mock")
        process, app = session.launch(ann_dir)
        connect_user(app, "Bob Tanaka")
        batch = session.path("batch")
        os.makedirs(batch, exist_ok=True)
        paths = []
        for n in range(300):
            paths.append(os.path.join(batch, f"Scan {n + 1:03}.pdf"))
            with open(paths[-1], "wb") as scan:
                scan.write(b"%PDF-1.4\n")
        session.cli(bob_dir, "share", "--to", "Ann Moreau", *paths)

        def posted():
            for _, args in mock.GetMethodCalls("Notify"):
                if "300 files" in str(args[4]):
                    return args
            return None
        args = wait_for("the notification of 300 files", posted, timeout=60)
        actions = [str(label) for label in args[5][1::2] if str(label)]
        for scale, suffix in ((1, ""), (2, "-2x")):
            render_notification(str(args[3]), str(args[4]), actions,
                                os.path.join(out, f"notification-batch{suffix}.png"), scale)
        session.stop(process)
    finally:
        server.terminate()
        server.wait(timeout=30)


def notification_server():
    try:
        return dbus.SessionBus().get_object("org.freedesktop.Notifications", "/org/freedesktop/Notifications")
    except dbus.exceptions.DBusException:
        return None


def render_notification(title, body, actions, path, scale):
    """A notification bubble (ImageMagick): the title, the body and the action buttons."""
    width, height = 380 * scale, 104 * scale
    command = ["/usr/bin/convert", "-size", f"{width}x{height}", "xc:#fcfcfc", "-font", "DejaVu-Sans-Bold",
               "-pointsize", str(13 * scale), "-fill", "#232629", "-annotate", f"+{16 * scale}+{26 * scale}", title,
               "-font", "DejaVu-Sans", "-annotate", f"+{16 * scale}+{50 * scale}", body]
    x = width - 16 * scale
    for label in reversed(actions):
        w = (len(label) * 8 + 28) * scale
        x -= w
        command += ["-fill", "#eff0f1", "-stroke", "#b8bcc0",
                    "-draw", f"roundrectangle {x},{66 * scale} {x + w},{92 * scale} {4 * scale},{4 * scale}",
                    "-stroke", "none", "-fill", "#232629", "-annotate", f"+{x + 14 * scale}+{84 * scale}", label]
        x -= 8 * scale
    command += ["-bordercolor", "#b8bcc0", "-border", str(scale), path]
    subprocess.run(command, check=True)
    print(f"wrote {path}")


def on_your_network(session, out):
    """Dee runs Brenvo on the same network, with nothing shared either way:
    she is shown on the network, green, before anyone connects. A responder
    of their own (a private system bus and avahi-daemon on a veth link)."""
    net = session.path("lan")
    os.makedirs(net, exist_ok=True)
    for command in (["ip", "link", "add", "lan0", "type", "veth", "peer", "name", "lan1"],
                    ["ip", "addr", "add", "10.98.0.1/24", "dev", "lan0"], ["ip", "link", "set", "lan1", "up"],
                    ["ip", "link", "set", "lan0", "up"]):
        subprocess.run(command, check=True)
    bus = os.path.join(net, "bus")
    with open(os.path.join(net, "bus.conf"), "w") as conf:
        conf.write(f"""<busconfig><type>system</type><listen>unix:path={bus}</listen><auth>EXTERNAL</auth>
<policy context="default"><allow user="*"/><allow own="*"/><allow send_destination="*" eavesdrop="true"/>
<allow eavesdrop="true"/></policy></busconfig>""")
    with open(os.path.join(net, "avahi.conf"), "w") as conf:
        conf.write("[server]\nhost-name=brenvo-shots\nuse-ipv4=yes\nuse-ipv6=no\nallow-interfaces=lan0\n"
                   "enable-dbus=yes\n[wide-area]\nenable-wide-area=no\n[publish]\npublish-hinfo=no\n"
                   "publish-workstation=no\n")
    session.processes.append(subprocess.Popen(["dbus-daemon", "--config-file", os.path.join(net, "bus.conf"),
                                               "--nofork", "--nopidfile"]))
    wait_for("the system bus", lambda: os.path.exists(bus))
    system_bus = f"unix:path={bus}"
    os.makedirs("/run/avahi-daemon", exist_ok=True)
    session.processes.append(subprocess.Popen(
        ["unshare", "-m", "sh", "-c", "mount -t tmpfs tmpfs /run/avahi-daemon && exec avahi-daemon --no-drop-root "
         f"--no-chroot --no-rlimits -f {os.path.join(net, 'avahi.conf')}"],
        env=dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=system_bus),
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    os.environ["DBUS_SYSTEM_BUS_ADDRESS"] = system_bus
    # Ann of her own, beside the other shots' Ann.
    ann_dir, ann_card = session.path("ann-lan"), session.path("ann-lan.bcard")
    session.cli(ann_dir, "card", "--name", "Ann Moreau", "--address", "127.0.0.1", "--port", str(free_port()),
                "-o", ann_card)
    dee_dir, dee_card = session.identity("Dee Okafor", free_port())
    session.cli(ann_dir, "import", dee_card, session.path("carla diaz.bcard"))
    session.cli(dee_dir, "import", ann_card)
    session.start_peer(dee_dir)
    process, app = session.launch(ann_dir)
    # Carla in view (her program is not running); Dee only announced.
    select_user(app, "Carla Diaz")
    wait_for("Dee on the network", lambda: state_of(sidebar_item(app, "Dee Okafor")) == "On your network")
    park_pointer()
    capture(main_window(app).name, os.path.join(out, "main-online.png"))
    session.stop(process)
    del os.environ["DBUS_SYSTEM_BUS_ADDRESS"]


def main():
    brenvo, cli, out = sys.argv[1:4]
    languages = sys.argv[4:]
    os.makedirs(out, exist_ok=True)
    session = Session(brenvo, cli)
    try:
        ann_dir, ann_card = session.identity("Ann Moreau", free_port())
        bob_dir, bob_card = session.identity("Bob Tanaka", free_port())
        _, carla_card = session.identity("Carla Diaz", free_port())
        session.cli(ann_dir, "import", bob_card, carla_card)
        session.cli(bob_dir, "import", ann_card)
        # Files both ways: Bob offers two, Ann offers a photo and a document.
        files = {}
        for file_name, size in (("Field recordings.zip", 48_000_000), ("Budget 2027.ods", 36_000),
                                ("Quarterly report.pdf", 2_400_000)):
            files[file_name] = session.path(file_name)
            with open(files[file_name], "wb") as data:
                data.write(os.urandom(size))
        files["Harbour at dusk.jpg"] = session.path("Harbour at dusk.jpg")
        subprocess.run(["/usr/bin/convert", "-size", "960x640", "gradient:#f6a25a-#2d4f7c",
                        "-swirl", "40", files["Harbour at dusk.jpg"]], check=True)
        session.cli(bob_dir, "share", "--to", "Ann Moreau", files["Field recordings.zip"], files["Budget 2027.ods"])
        session.cli(ann_dir, "share", "--to", "Bob Tanaka", files["Harbour at dusk.jpg"],
                    files["Quarterly report.pdf"])
        # Work for Carla, whose program is not running: connecting fails, and is tried again.
        session.cli(ann_dir, "share", "--to", "Carla Diaz", files["Quarterly report.pdf"])
        session.start_peer(bob_dir)
        park_pointer()
        if languages == ["files-folder"]:
            folder_row(session, ann_dir, bob_dir, out)
            return 0
        if languages:
            for language in languages:
                in_language(session, ann_dir, out, language)
            return 0

        for scale, suffix in (("1", ""), ("2", "-2x")):
            env = {"QT_SCALE_FACTOR": scale}
            name = lambda base: os.path.join(out, f"{base}{suffix}.png")

            process, app = session.launch(session.path(f"fresh{scale}"), env=env)
            wait_for("the welcome view", lambda: find_shown(app, "label", "Welcome to Brenvo"))
            capture(main_window(app).name, name("main-welcome"))
            if suffix == "":
                # A first launch without a router's answer: the card has no
                # address, and the dialog proposes this machine's.
                own_card_without_address(app, name("card-address"))
            session.stop(process)

            # A stored file that cannot be read: kept aside, and said so.
            broken = session.path(f"broken{scale}")
            os.makedirs(broken, exist_ok=True)
            with open(os.path.join(broken, "users.plist"), "wb") as data:
                data.write(b"bplist00 damaged")
            process, app = session.launch(broken, env=env)
            wait_for("the information bar", lambda: find_shown(app, "push button", "Dismiss"))
            capture(main_window(app).name, name("main-infobar"))
            session.stop(process)

            process, app = session.launch(ann_dir, env=env)
            sidebar_item(app, "Carla Diaz")
            connect_user(app, "Bob Tanaka")
            # Bob's two offers are new: the count shows on his row, with his state.
            wait_for("Bob's new files", lambda: sidebar_item(app, "Bob Tanaka").description.endswith("2 new files"))
            capture(main_window(app).name, name("main-users"))
            if suffix == "":
                sidebar_menu(app, "Bob Tanaka", name("sidebar-menu"))
                # Carla's program is not running: why the connection failed, in red.
                select_user(app, "Carla Diaz")
                connect = find_shown(app, "push button", "Connect")
                if connect is not None:
                    press(connect)
                wait_for("the reason in the toolbar", lambda: any(
                    label.name.startswith("Carla Diaz is offline or unreachable at 127.0.0.1:")
                    for label in find_all(app, "label") if showing(label)))
                park_pointer()
                capture(main_window(app).name, name("main-reason"))
                select_user(app, "Bob Tanaka")

            settings = find(app, "menu item", "Settings…")
            if settings is None:
                raise Failure('no "Settings…" menu item')
            settings.queryAction().doAction(0)
            wait_for("the settings window",
                     lambda: find_shown(app, "check box", "Listen for incoming connections"))
            capture("Settings", name("settings"))
            session.stop(process)

        for language in LANGUAGES:
            in_language(session, ann_dir, out, language)
        status_icon_menu(session, ann_dir, bob_dir, out)
        transfers_and_an_error_row(session, ann_dir, bob_dir, out)
        batch_notification(session, ann_dir, bob_dir, out)
        folder_row(session, ann_dir, bob_dir, out)
        on_your_network(session, out)
    except Failure as failure:
        print(f"FAILED: {failure}\n{session.logs()}", file=sys.stderr)
        return 1
    finally:
        session.stop_all()
    return 0


if __name__ == "__main__":
    sys.exit(main())
