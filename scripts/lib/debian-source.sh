# shellcheck shell=bash
# Fetching Debian's source packages, for scripts that build or read a package's sources.
# Source this file; it offers
#
#   fetch_debian_source PACKAGE DIRECTORY
#
# which unpacks the source package PACKAGE of this machine's Debian release (with Debian's
# patches applied) into DIRECTORY, unless DIRECTORY is there already. A deb-src entry for
# the machine's own mirror and suites is added to apt's sources when none is there.

debian_source_log() { echo "${0##*/}: $*"; }

debian_source_as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# apt-get update, tried three times; a mirror in the middle of a sync can fail one index
# that the source packages do not need, so the lists that did arrive are used either way.
debian_source_update() {
  local attempt
  for attempt in 1 2 3; do
    debian_source_as_root apt-get update -qq && return 0
    debian_source_log "apt-get update failed (attempt $attempt of 3)"
    [ "$attempt" -eq 3 ] || sleep 10
  done
  return 0
}

# Source packages need a deb-src entry: the same mirror and suites as the binary packages
# of this machine.
debian_source_ensure_deb_src() {
  if grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    return
  fi
  local from=/etc/apt/sources.list.d/debian.sources
  if [ -f "$from" ]; then
    debian_source_log "adding deb-src entries for the mirror of $from"
    sed -E 's/^Types:.*/Types: deb-src/' "$from" |
      debian_source_as_root tee /etc/apt/sources.list.d/nocunzip-deb-src.sources >/dev/null
  elif [ -f /etc/apt/sources.list ]; then
    debian_source_log "adding deb-src lines for the mirror of /etc/apt/sources.list"
    sed -nE 's/^deb (.*)/deb-src \1/p' /etc/apt/sources.list |
      debian_source_as_root tee /etc/apt/sources.list.d/nocunzip-deb-src.list >/dev/null
  else
    echo "${0##*/}: no apt source to copy a deb-src entry from" >&2
    return 1
  fi
  debian_source_update
}

fetch_debian_source() {
  local package=$1 dest=$2
  [ -d "$dest" ] && return
  debian_source_ensure_deb_src || return 1
  debian_source_log "fetching the Debian source package $package"
  mkdir -p "$(dirname "$dest")"
  local tmp
  tmp=$(mktemp -d "$(dirname "$dest")/.fetch.XXXXXX")
  # A stale package list names versions the mirror no longer has: update once and retry.
  # A mirror may also lack the newest version's files (a security update whose pool is
  # elsewhere): then the other versions that the package lists name, newest first.
  (cd "$tmp" || exit 1
    apt-get source -qq "$package" >/dev/null 2>&1 && exit 0
    { debian_source_update && apt-get source -qq "$package"; } && exit 0
    for version in $(apt-cache showsrc "$package" | sed -n 's/^Version: //p' | sort -rV); do
      debian_source_log "trying $package $version"
      apt-get source -qq "$package=$version" >/dev/null 2>&1 && exit 0
    done
    exit 1) ||
    { rm -rf "$tmp"; echo "${0##*/}: apt-get source $package failed" >&2; return 1; }
  local dir
  dir=$(find "$tmp" -mindepth 1 -maxdepth 1 -type d -name "$package-*" | head -n1)
  if [ -z "$dir" ]; then
    rm -rf "$tmp"
    echo "${0##*/}: apt-get source $package unpacked nothing" >&2
    return 1
  fi
  mv "$dir" "$dest"
  rm -rf "$tmp"
}
