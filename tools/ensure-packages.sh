#!/usr/bin/env bash
# Installs the Debian packages of the given lists (tools/debian-packages, ...) that are missing:
#   bash tools/ensure-packages.sh LIST...
# As root with apt-get; otherwise through sudo when there is one. Where neither can install, it names the
# packages and the command that installs them, and fails.
set -euo pipefail
missing=()
wanted=()
for list in "$@"; do
  while read -r pkg; do
    pkg=${pkg%%#*}; pkg=${pkg//[[:space:]]/}
    [ -n "$pkg" ] || continue
    wanted+=("$pkg")
    if command -v dpkg-query > /dev/null; then
      dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
    fi
  done < "$list"
done
if ! command -v dpkg-query > /dev/null || ! command -v apt-get > /dev/null; then
  echo "Not a Debian system: the build needs the equivalents of these Debian packages: ${wanted[*]}" >&2
  exit 0 # the build says what it cannot find
fi
[ ${#missing[@]} -gt 0 ] || exit 0

how="apt-get install -y --no-install-recommends ${missing[*]}"
# tell WHY: names the packages and the commands that install them, and fails.
tell() {
  echo "Missing Debian packages: ${missing[*]}" >&2
  echo "$1. As root, install them with this command, then start the script again:" >&2
  echo "  apt-get update && $how" >&2
  exit 1
}
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo > /dev/null || tell "There is no sudo to install them with"
  sudo="sudo"
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
failed="${sudo:+sudo }apt-get could not install them (its message is above)"
$sudo apt-get update -qq || tell "$failed"
$sudo env DEBIAN_FRONTEND=noninteractive $how || tell "$failed"
