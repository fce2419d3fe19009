#!/usr/bin/env bash
# Fetches the ZIP test archives of libarchive and libzip from Debian's source packages into
# third_party/corpus/<package>/, for the corpus check (tests/corpus/check.py). A package whose
# archives are there already (its .source-version file) is skipped, so the script is cheap
# to run again; remove third_party/corpus/<package> to fetch it anew.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
corpus=$root/third_party/corpus

# shellcheck source=scripts/lib/debian-source.sh
source "$root/scripts/lib/debian-source.sh"

collect_package() {
  local package=$1 dest=$corpus/$1
  [ -f "$dest/.source-version" ] && return
  local src=$corpus/.src/$package
  rm -rf "$src"
  fetch_debian_source "$package" "$src"
  python3 "$root/tests/corpus/collect.py" "$package" "$src" "$dest"
  dpkg-parsechangelog -l "$src/debian/changelog" -S Version >"$dest/.source-version"
  rm -rf "$src"
}

mkdir -p "$corpus"
collect_package libarchive
collect_package libzip
rmdir "$corpus/.src" 2>/dev/null || true
echo "fetch-corpus: $(find "$corpus" -mindepth 2 -maxdepth 2 -type f ! -name '.*' | wc -l) archives in $corpus"
