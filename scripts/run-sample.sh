#!/usr/bin/env bash
# Builds the program and its unzip library (nothing else: no tests), then lets the program
# unpack the bundled sample archive as the main program would start it: a settings file in
# a temporary XDG_CONFIG_HOME names the main program's directory, where the result files
# appear.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
scripts/build.sh nocunzip unzip32 >/dev/null

out=$(mktemp -d "${TMPDIR:-/tmp}/nocunzip-sample.XXXXXX")
mkdir -p "$out/config/Nocturnis" "$out/main-program"
printf '[Verzeichnisse]\nNocturnis-Verzeichnis=%s/\n' "$out/main-program" \
  >"$out/config/Nocturnis/settings.ini"

echo "== nocunzip \"samples/sample.zip;$out/sample;KvtZRX615\""
status=0
XDG_CONFIG_HOME="$out/config" "$build/bin/nocunzip" "samples/sample.zip;$out/sample;KvtZRX615" \
  </dev/null || status=$?
echo "== exit status $status"

echo "== result files in $out/main-program"
for f in "$out/main-program"/NocUnzip.err "$out/main-program"/NocUnzip.end; do
  if [ -f "$f" ]; then
    printf '%s: %s\n' "$(basename "$f")" "$(tr -d '\r' <"$f")"
  else
    printf '%s: (not written)\n' "$(basename "$f")"
  fi
done

echo "== unpacked into $out/sample"
(cd "$out/sample" 2>/dev/null && find . -type f | sort | while read -r f; do
  printf '%s (%s bytes)\n' "${f#./}" "$(wc -c <"$f")"
done) || echo "(nothing)"
exit "$status"
