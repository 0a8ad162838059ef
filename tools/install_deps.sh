#!/bin/sh
# Installs the Debian packages KVARN needs that this machine lacks.
#   tools/install_deps.sh          what building and running KVARN needs
#   tools/install_deps.sh test     that, and what the tests need (the install test renders
#                                  the manual pages with man, loads the completion through
#                                  bash-completion, builds the Debian package with cpack,
#                                  dpkg-shlibdeps and file, and checks it with lintian; an
#                                  example pipes JSON Lines through jq)
#   tools/install_deps.sh bench    that, and the benchmarks' references (Lua 5.4, Python 3)
#   tools/install_deps.sh package  that, and what cpack -G DEB needs (dpkg-shlibdeps, file)
# Uses sudo only when not already root; refreshes the package lists when
# they are empty (a fresh container ships without them).
set -eu

pkgs="cmake ninja-build g++ python3 libncurses-dev nlohmann-json3-dev"
if [ "${1:-}" = test ]; then
  pkgs="$pkgs clang libgtest-dev libgmock-dev python3-pyte tmux man-db bash-completion dpkg-dev file jq lintian"
elif [ "${1:-}" = bench ]; then
  pkgs="$pkgs pkg-config liblua5.4-dev lua5.4"
elif [ "${1:-}" = package ]; then
  pkgs="$pkgs dpkg-dev file"
fi

need=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need="$need $p"
done
[ -n "$need" ] || exit 0

if [ "$(id -u)" -eq 0 ]; then
  as_root=""
elif command -v sudo >/dev/null 2>&1; then
  as_root="sudo"
else
  echo "install_deps: these packages are missing and neither root nor sudo is available:$need" >&2
  exit 1
fi

if [ -z "$(ls -A /var/lib/apt/lists 2>/dev/null | grep -v -e '^lock$' -e '^partial$' -e '^auxfiles$')" ]; then
  $as_root apt-get update -qq
fi
# shellcheck disable=SC2086
if ! $as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $need; then
  # Stale lists name packages the mirror no longer holds: refresh once and retry.
  $as_root apt-get update -qq
  $as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $need
fi
