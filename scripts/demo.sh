#!/usr/bin/env bash
# Opens the desktop program beside a demo peer on 127.0.0.1:
#   scripts/demo.sh [BUILD_DIR]      (default: build; run by scripts/run.sh --demo)
# Both sides live in one temporary folder, removed at the end: the program's
# data folder, identity key (a file) and settings, and a brenvo-cli peer
# "Demo Peer" that has exchanged cards with it, offers a sample image and a
# larger file, and downloads whatever you offer to it. Your own data folder,
# identity, settings and Downloads folder are not touched; nothing is sent to
# the router (no port mapping) or to an update server.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
brenvo=$build/app/brenvo cli=$build/cli/brenvo-cli
for program in "$brenvo" "$cli"; do
    [ -x "$program" ] || { echo "demo: $program is missing: build the brenvo and brenvo-cli targets" >&2; exit 1; }
done

demo=$(mktemp -d "${TMPDIR:-/tmp}/brenvo-demo.XXXXXX")
peer_pid=
# shellcheck disable=SC2317  # run by the trap
finish() {
    [ -z "$peer_pid" ] || { kill -TERM "$peer_pid" 2>/dev/null; wait "$peer_pid" 2>/dev/null || true; }
    rm -rf "$demo"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

free_port() {
    /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
you=$demo/you peer=$demo/peer
cli_you() { "$cli" --data-dir "$you" --key-store file "$@"; }
cli_peer() { "$cli" --data-dir "$peer" --key-store file "$@"; }

cli_you card --name "You" --address 127.0.0.1 --port "$(free_port)" \
    -o "$demo/you.bcard" >/dev/null
cli_peer card --name "Demo Peer" --address 127.0.0.1 --port "$(free_port)" -o "$demo/peer.bcard" >/dev/null
cli_you import "$demo/peer.bcard" >/dev/null
cli_peer import "$demo/you.bcard" >/dev/null
you_name=$(cli_you card | cut -f1)

# What the peer offers: a picture and something that takes a while.
mkdir -p "$demo/offered" "$demo/peer-downloads" "$demo/your-downloads"
/usr/bin/convert -size 1200x800 gradient:'#f6a25a-#2d4f7c' -swirl 120 "$demo/offered/Sample picture.jpg"
head -c $((128 * 1024 * 1024)) /dev/urandom >"$demo/offered/Large file.bin"
cli_peer share --to "$you_name" "$demo/offered/Sample picture.jpg" "$demo/offered/Large file.bin" >/dev/null

# The program's settings live in the demo folder too; everything else in the
# configuration folder (the desktop's theme and fonts) is seen as it is.
config=$demo/config
mkdir -p "$config/com.halvinor.brenvo"
real_config=${XDG_CONFIG_HOME:-$HOME/.config}
if [ -d "$real_config" ]; then
    for entry in "$real_config"/* "$real_config"/.[!.]*; do
        if [ -e "$entry" ] && [ "$(basename "$entry")" != com.halvinor.brenvo ]; then
            ln -s "$entry" "$config/"
        fi
    done
fi
printf '[General]\nDownloadLocation=%s\nCheckForUpdates=false\nMapPort=false\n' "$demo/your-downloads" \
    >"$config/com.halvinor.brenvo/Brenvo.conf"

cli_peer run --no-upnp --no-tor --connect "$you_name" --accept all --download-to "$demo/peer-downloads" \
    >"$demo/peer.log" 2>&1 &
peer_pid=$!

cat <<EOF
Brenvo demo in $demo (removed when the program closes):
  "Demo Peer" (brenvo-cli on 127.0.0.1) offers "Sample picture.jpg" and "Large file.bin";
  select it in the sidebar and download them (they go to $demo/your-downloads).
  Offer it files with the + button: it downloads them into $demo/peer-downloads.
  The peer's log: $demo/peer.log
EOF
status=0
XDG_CONFIG_HOME=$config BRENVO_NO_GATEWAY=1 "$brenvo" --data-dir "$you" --key-store file --no-tor || status=$?
exit "$status"
