#!/usr/bin/env bash
# Checks the desktop integration files and the .deb with the tools a desktop
# uses. Usage: check-packaging.sh CHECK SOURCE_DIR BUILD_DIR VERSION
#   desktop-entry  desktop-file-validate reports nothing; the keys the desktop needs
#   appstream      appstreamcli validate --no-net --pedantic is clean; the metainfo
#                  agrees with the desktop entry, the MIME type and VERSION
#   icons          the SVG is an SVG 1.1 document; every hicolor PNG has its size
#   installed      `cmake --install` into a temporary prefix puts every file in
#                  place; the MIME database and desktop database built from it map
#                  *.bcard to application/x-brenvo-card and both the card type and
#                  brenvo: URLs to the desktop entry; brenvo-cli runs from there
#   deb            `cpack -G DEB` makes one brenvo_VERSION_ARCH.deb with the files,
#                  fields and dependencies; its brenvo-cli finds its libvortan
# Every tool comes from Debian 12 (scripts/install-deps.sh installs them).
set -euo pipefail

check="$1" src="$2" build="$3" version="$4"
pkg="$src/packaging"
id=com.halvinor.brenvo
sizes=(16 22 24 32 48 64 128 256)
PY=/usr/bin/python3

fail() { echo "FAIL: $*" >&2; exit 1; }
need() {
  for t in "$@"; do
    command -v "$t" >/dev/null || fail "$t not found (run scripts/install-deps.sh)"
  done
}

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# Installs the build into $tmp/prefix (no root, nothing outside $tmp).
install_into_tmp() {
  cmake --install "$build" --prefix "$tmp/prefix" >"$tmp/install.log" 2>&1 \
    || { cat "$tmp/install.log" >&2; fail "cmake --install"; }
}

# Expected installed files, relative to the prefix (brenvo-cli's libdir varies).
expected_files() {
  echo "share/applications/$id.desktop"
  echo "share/mime/packages/$id.xml"
  echo "share/metainfo/$id.metainfo.xml"
  echo "share/icons/hicolor/scalable/apps/$id.svg"
  for n in "${sizes[@]}"; do echo "share/icons/hicolor/${n}x${n}/apps/$id.png"; done
  echo "bin/brenvo-cli"
  echo "lib/systemd/user/brenvo-cli.service"
  if [ -e "$build/app/brenvo" ]; then echo "bin/brenvo"; fi
}

case "$check" in
desktop-entry)
  need desktop-file-validate
  out="$(desktop-file-validate "$pkg/$id.desktop" 2>&1)" || true
  [ -z "$out" ] || { echo "$out" >&2; fail "desktop-file-validate reported problems"; }
  for kv in "Name=Brenvo" "Exec=brenvo %U" "Icon=$id" "Terminal=false" "Type=Application" \
            "Categories=Network;FileTransfer;" \
            "MimeType=application/x-brenvo-card;x-scheme-handler/brenvo;"; do
    grep -qxF "$kv" "$pkg/$id.desktop" || fail "desktop entry lacks the line '$kv'"
  done
  for k in GenericName Comment Keywords StartupWMClass; do
    grep -q "^$k=." "$pkg/$id.desktop" || fail "desktop entry lacks $k"
  done
  echo "desktop entry: desktop-file-validate clean, keys present"
  ;;

appstream)
  need appstreamcli
  out="$(appstreamcli validate --no-net --pedantic --no-color "$pkg/$id.metainfo.xml" 2>&1)" \
    || { echo "$out" >&2; fail "appstreamcli validate failed"; }
  if grep -qE '^[EWIP]: ' <<<"$out"; then echo "$out" >&2; fail "appstreamcli reported issues"; fi
  "$PY" - "$pkg/$id.metainfo.xml" "$pkg/$id.xml" "$version" "$id" <<'PYEOF'
import sys, xml.etree.ElementTree as ET
meta, mime, version, app_id = sys.argv[1:]
root = ET.parse(meta).getroot()
def one(path):
    e = root.find(path)
    if e is None: sys.exit(f"FAIL: metainfo lacks {path}")
    return e
assert_eq = lambda what, got, want: got == want or sys.exit(f"FAIL: {what} is {got!r}, want {want!r}")
assert_eq("id", one("id").text, app_id)
assert_eq("launchable", one("launchable[@type='desktop-id']").text, app_id + ".desktop")
assert_eq("metadata_license", one("metadata_license").text, "CC0-1.0")
assert_eq("content_rating", one("content_rating").get("type"), "oars-1.1")
ns = {"m": "http://www.freedesktop.org/standards/shared-mime-info"}
types = [t.get("type") for t in ET.parse(mime).getroot().findall("m:mime-type", ns)]
provided = [e.text for e in root.findall("provides/mediatype")]
assert_eq("provided media types", provided, types)
releases = [r.get("version") for r in root.findall("releases/release")]
if not releases: sys.exit("FAIL: metainfo has no release")
assert_eq("newest release", releases[0], version)
PYEOF
  echo "metainfo: appstreamcli --pedantic clean; id, launchable, media type and release $version agree"
  ;;

icons)
  "$PY" - "$pkg/icons" "$id" "${sizes[@]}" <<'PYEOF'
import struct, sys, xml.etree.ElementTree as ET
icons, app_id, *sizes = sys.argv[1:]
svg = ET.parse(f"{icons}/{app_id}.svg").getroot()
if svg.tag != "{http://www.w3.org/2000/svg}svg": sys.exit(f"FAIL: SVG root is {svg.tag}")
if svg.get("version") != "1.1": sys.exit("FAIL: SVG is not version 1.1")
vb = svg.get("viewBox", "").split()
if len(vb) != 4 or vb[2] != vb[3]: sys.exit(f"FAIL: SVG viewBox {vb} is not square")
for n in map(int, sizes):
    path = f"{icons}/hicolor/{n}x{n}/apps/{app_id}.png"
    try:
        head = open(path, "rb").read(33)
    except OSError as e:
        sys.exit(f"FAIL: {e}")
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        sys.exit(f"FAIL: {path} is not a PNG")
    w, h, depth, colour = struct.unpack(">IIBB", head[16:26])
    if (w, h) != (n, n): sys.exit(f"FAIL: {path} is {w}x{h}, want {n}x{n}")
    if colour != 6: sys.exit(f"FAIL: {path} has no alpha channel (colour type {colour})")
    print(f"{n}x{n}: ok")
PYEOF
  if command -v rsvg-convert >/dev/null; then
    rsvg-convert -w 64 -h 64 "$pkg/icons/$id.svg" -o "$tmp/render.png" || fail "rsvg-convert cannot render the SVG"
  fi
  echo "icons: SVG 1.1, every PNG at its size with alpha"
  ;;

installed)
  need update-mime-database update-desktop-database xdg-mime gio
  install_into_tmp
  p="$tmp/prefix"
  while read -r f; do
    [ -f "$p/$f" ] || fail "not installed: $f"
  done < <(expected_files)
  # Nothing from the machine's own databases: the temporary tree alone.
  export HOME="$tmp/home" XDG_DATA_HOME="$p/share" XDG_DATA_DIRS="$tmp/none" \
         XDG_CONFIG_HOME="$tmp/config" XDG_CONFIG_DIRS="$tmp/none" XDG_CURRENT_DESKTOP=GNOME
  mkdir -p "$HOME" "$XDG_CONFIG_HOME"
  printf 'not a card\n' >"$tmp/friend.bcard"
  before="$(xdg-mime query filetype "$tmp/friend.bcard")"
  [ "$before" != application/x-brenvo-card ] || fail "the card type is known before its database is built"
  err="$(update-mime-database "$p/share/mime" 2>&1)" || { echo "$err" >&2; fail "update-mime-database"; }
  [ -z "$err" ] || { echo "$err" >&2; fail "update-mime-database complained"; }
  got="$(xdg-mime query filetype "$tmp/friend.bcard")"
  [ "$got" = application/x-brenvo-card ] || fail "xdg-mime query filetype friend.bcard gave '$got'"
  grep -q '^application/x-brenvo-card$' "$p/share/mime/types" || fail "type missing from the MIME database"
  err="$(update-desktop-database "$p/share/applications" 2>&1)" || { echo "$err" >&2; fail "update-desktop-database"; }
  for t in application/x-brenvo-card x-scheme-handler/brenvo; do
    got="$(xdg-mime query default "$t")"
    [ "$got" = "$id.desktop" ] || fail "xdg-mime query default $t gave '$got'"
  done
  out="$(env -u LD_LIBRARY_PATH "$p/bin/brenvo-cli" --version 2>&1)" || { echo "$out" >&2; fail "installed brenvo-cli does not run"; }
  # grep reads the whole list from a variable: with pipefail, grep -q ending a
  # pipe early would fail it when ldd's output is long (as in sanitizer builds)
  libs="$(ldd "$p/bin/brenvo-cli")"
  grep -q "libvortan.so.* => $p/" <<<"$libs" || { echo "$libs" >&2; fail "installed brenvo-cli does not use the installed libvortan"; }
  echo "installed tree: files in place; *.bcard → application/x-brenvo-card; card type and brenvo: → $id.desktop; brenvo-cli $out"
  ;;

deb)
  need cpack dpkg-deb dpkg-shlibdeps
  cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 \
    || { cat "$tmp/cpack.log" >&2; fail "cpack -G DEB"; }
  arch="$(dpkg --print-architecture)"
  deb="$tmp/out/brenvo_${version}_${arch}.deb"
  [ -f "$deb" ] || { ls -l "$tmp/out" >&2; fail "no brenvo_${version}_${arch}.deb"; }
  dpkg-deb -c "$deb" | awk '{print $6}' | sed 's#^\./##' >"$tmp/list"
  while read -r f; do
    grep -qxF "usr/$f" "$tmp/list" || fail "the .deb lacks /usr/$f"
  done < <(expected_files)
  grep -q '^usr/lib/.*libvortan\.so\.0' "$tmp/list" || fail "the .deb lacks libvortan"
  if grep -q '^usr/include/' "$tmp/list"; then fail "the .deb ships headers"; fi
  field() { dpkg-deb -f "$deb" "$1"; }
  [ "$(field Package)" = brenvo ] || fail "Package is '$(field Package)'"
  [ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)'"
  [ "$(field Section)" = net ] || fail "Section is '$(field Section)'"
  [ -n "$(field Maintainer)" ] || fail "no Maintainer"
  depends="$(field Depends)"
  for lib in libc6 libqt6core6 libqt6network6 libqt6dbus6 libssl3 libsecret-1-0 libminiupnpc17 libnatpmp1 libsodium23; do
    grep -q "\b$lib\b" <<<"$depends" || fail "Depends lacks $lib: $depends"
  done
  grep -q "\btor\b" <<<"$(field Recommends)" || fail "Recommends lacks tor: $(field Recommends)"
  # CPack adds an ldconfig call for the shared library; nothing else may run.
  dpkg-deb -e "$deb" "$tmp/control"
  for s in preinst postinst prerm postrm; do
    [ -f "$tmp/control/$s" ] || continue
    if grep -vqE '^(#!/bin/sh|set -e|if \[ "\$1" = "[a-z]+" \]; then|[[:space:]]*ldconfig|fi|)$' "$tmp/control/$s"; then
      cat "$tmp/control/$s" >&2; fail "the .deb's $s does more than ldconfig"
    fi
  done
  dpkg-deb -x "$deb" "$tmp/root"
  out="$(env -u LD_LIBRARY_PATH "$tmp/root/usr/bin/brenvo-cli" --version 2>&1)" \
    || { echo "$out" >&2; fail "the packaged brenvo-cli does not run"; }
  echo "deb: $(basename "$deb"), $(wc -l <"$tmp/list") entries; Depends: $depends"
  ;;

*)
  fail "unknown check '$check'"
  ;;
esac
