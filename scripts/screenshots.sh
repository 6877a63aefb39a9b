#!/bin/bash
# Renders the desktop program's screenshots into docs/screenshots/ at 100 % and
# 200 % scale: the welcome view, the information bar over it (a stored file
# kept aside), the main window with two users (one connected to
# a brenvo-cli peer, with his count of new files), the settings window, and the
# file list with transfers on their way, an error row (files-progress) and, at
# 100 % only, the context menus of a person (sidebar-menu) and of files
# (files-menu), the share dialog proposing this machine's addresses for a card
# without one (card-address) and why a connection failed, in red in the
# toolbar (main-reason), a shared folder's row opened on its files
# (files-folder), the welcome view, main window and settings in German,
# French and Spanish (NAME-de.png, NAME-fr.png, NAME-es.png), and a person
# shown on the network before anything is shared (main-online); and the card
# dialogs (cards-share, cards-import, cards-edit, cards-recipients, drawn by
# brenvo-card-dialogs on the offscreen platform). Builds nothing.
#   scripts/screenshots.sh [BUILD_DIR [LANG...|files-folder]]   (default: build;
#       with LANGs only the shots in those languages, with files-folder only that one)
# Runs under Xvfb in a loopback-only network namespace (as root, or where user
# namespaces are allowed), like the end-to-end test.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
shift $(( $# > 0 ? 1 : 0 ))
for program in "$build/app/brenvo" "$build/cli/brenvo-cli" "$build/app/brenvo-card-dialogs"; do
    [ -x "$program" ] || {
        echo "screenshots: $program is missing: build the brenvo, brenvo-cli and brenvo-card-dialogs targets" >&2
        exit 1
    }
done
if [ $# -eq 0 ]; then
    QT_QPA_PLATFORM=offscreen "$build/app/brenvo-card-dialogs" "$root/docs/screenshots"
fi
# Room for the 200 % windows.
export BRENVO_UI_SCREEN=2560x1600x24
bash "$root/tests/app/e2e/run_e2e.sh" "$build/app/brenvo" "$build/cli/brenvo-cli" \
    "$root/scripts/screenshots.py" "$root/docs/screenshots" "$@"
