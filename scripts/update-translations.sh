#!/bin/bash
# Brings the desktop program's catalogues (translations/brenvo_*.ts) up to date
# with its sources: new and changed texts are added unfinished, texts no
# longer in the program are dropped. Then translate what is unfinished
# (linguist translations/brenvo_de.ts, or the .ts files by hand) and check
# with `ctest -R translations_test`.
#   scripts/update-translations.sh [LANG...]   (LANG: a new catalogue, e.g. it)
# Needs Debian's qt6-l10n-tools (lupdate); LUPDATE names another lupdate.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
lupdate=${LUPDATE:-$(command -v lupdate || echo /usr/lib/qt6/bin/lupdate)}
[ -x "$lupdate" ] || { echo "update-translations: lupdate is missing: apt-get install qt6-l10n-tools" >&2; exit 1; }

shopt -s nullglob
catalogues=("$root"/translations/brenvo_*.ts)
for language in "$@"; do
    [ -e "$root/translations/brenvo_$language.ts" ] && continue
    catalogues+=("$root/translations/brenvo_$language.ts")
done
# No source locations: the catalogues change only when texts do.
"$lupdate" -silent -locations none -no-obsolete -I "$root" "$root/app" -ts "${catalogues[@]}"
for ts in "${catalogues[@]}"; do
    left=$(grep -c 'type="unfinished"' "$ts" || true)
    echo "${ts#"$root"/}: $left unfinished"
done
