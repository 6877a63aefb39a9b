#!/usr/bin/env bash
# Renders the application icon packaging/icons/com.halvinor.brenvo.svg into the
# hicolor PNG sizes under packaging/icons/hicolor/<N>x<N>/apps/. The PNGs are
# committed; run this again after changing the SVG. Needs rsvg-convert
# (librsvg2-bin, installed by scripts/install-deps.sh).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
svg="$root/packaging/icons/com.halvinor.brenvo.svg"
out="$root/packaging/icons/hicolor"
sizes=(16 22 24 32 48 64 128 256)

command -v rsvg-convert >/dev/null || { echo "rsvg-convert not found: install librsvg2-bin" >&2; exit 1; }

for n in "${sizes[@]}"; do
  dir="$out/${n}x${n}/apps"
  mkdir -p "$dir"
  rsvg-convert --width "$n" --height "$n" --keep-aspect-ratio --format png \
    --output "$dir/com.halvinor.brenvo.png" "$svg"
  echo "$dir/com.halvinor.brenvo.png"
done
