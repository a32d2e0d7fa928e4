#!/usr/bin/env bash
# Installs what is missing, builds, and starts the tool on the virtual relay
# board. Set KESTRUNE_NO_BOARD=1 to use a real adapter instead.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
scripts/build.sh

# The tool keeps its settings beside its executable (build/ is writable).
folder=build
port=1
if [ -f "$folder/sysini.txt" ]; then
  first=$(head -n 1 "$folder/sysini.txt" | tr -d '\r ')
  n=${first#COM}
  n=${n:0:2}
  n=${n%%[!0-9]*}
  [ -n "$n" ] && [ "$n" -ge 1 ] 2>/dev/null && port=$n
fi

board=""
if [ -z "${KESTRUNE_NO_BOARD:-}" ] && [ -x build/kestrune-board ]; then
  # A first start on the virtual board begins with its line settings.
  [ -f "$folder/sysini.txt" ] || printf 'COM1\r\n9600\r\nNONE\r\n8\r\n1\r\n' > "$folder/sysini.txt"
  mkdir -p "$folder/ports"
  link="$folder/ports/COM$port"
  if [ -e "$link" ] && [ ! -L "$link" ]; then
    echo "$link is not a link; not starting the virtual board" >&2
  else
    rm -f "$link"
    build/kestrune-board --link "$link" &
    board=$!
    trap '[ -n "$board" ] && kill "$board" 2>/dev/null || true' EXIT
    for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
    echo "Virtual board on COM$port ($link)"
  fi
fi

build/kestrune "$@"
