#!/usr/bin/env bash
# Checks of the Debian package, one step per mode:
#   build     cpack -G DEB into DEBDIR, unpack it into DEBDIR/root
#   unpacked  the unpacked programs run, and every file an installed program
#             needs is in the package with the right control fields
#   settings  the unpacked kestrune keeps its settings in the per-user
#             folder: when its folder is read-only, and as an installed
#             program even where it could write its folder (as root)
#   lintian   lintian finds no errors (warnings are printed)
# Usage: package_test.sh MODE BUILDDIR DEBDIR VERSION
set -euo pipefail
mode=$1 build=$2 debdir=$3 version=$4
deb="$debdir/kestrune_${version}_$(dpkg --print-architecture).deb"
root="$debdir/root"

fail() { echo "FAIL: $*" >&2; exit 1; }

case "$mode" in
build)
  rm -rf "$debdir"
  mkdir -p "$debdir"
  cpack -G DEB --config "$build/CPackConfig.cmake" -B "$debdir"
  [ -f "$deb" ] || fail "no $deb; the folder holds: $(ls "$debdir")"
  dpkg-deb -I "$deb"
  dpkg-deb -c "$deb"
  dpkg-deb -x "$deb" "$root"
  ;;

unpacked)
  [ -f "$deb" ] || fail "no package (the build step failed?)"
  out=$("$root/usr/bin/kestrune" --version)
  [ "$out" = "kestrune $version" ] || fail "kestrune --version printed '$out'"
  out=$("$root/usr/bin/kestrune-board" --version)
  [ "$out" = "kestrune-board $version" ] || fail "kestrune-board --version printed '$out'"
  out=$("$root/usr/bin/kestrune-board" --help)
  for word in --link --headless "How the program drives the relays"; do
    grep -qF -- "$word" <<<"$out" || fail "kestrune-board --help lacks '$word'"
  done

  share="$root/usr/share"
  for f in applications/kestrune.desktop metainfo/io.github.kestrune.Kestrune.metainfo.xml \
           icons/hicolor/scalable/apps/kestrune.svg doc/kestrune/copyright doc/kestrune/changelog.gz; do
    [ -s "$share/$f" ] || fail "missing /usr/share/$f"
  done
  for size in 48 128 256; do
    png="$share/icons/hicolor/${size}x${size}/apps/kestrune.png"
    file "$png" | grep -q "PNG image data, $size x $size" || fail "$png: $(file -b "$png")"
  done
  # Every program has its manual page, and each page formats.
  for exe in "$root"/usr/bin/*; do
    page="$share/man/man1/$(basename "$exe").1.gz"
    [ -s "$page" ] || fail "no manual page for $(basename "$exe")"
    gzip -t "$page"
    zcat "$page" | grep -q '^\.TH ' || fail "$page is not a manual page"
  done
  # The programs found in the package are the ones built, stripped.
  file "$root/usr/bin/kestrune" | grep -q "stripped" || fail "kestrune is not an ELF program"
  file "$root/usr/bin/kestrune" | grep -q "not stripped" && fail "kestrune is not stripped"

  field() { dpkg-deb -f "$deb" "$1"; }
  [ "$(field Package)" = kestrune ] || fail "Package: $(field Package)"
  [ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
  [ "$(field Section)" = electronics ] || fail "Section: $(field Section)"
  [ -n "$(field Maintainer)" ] || fail "no Maintainer"
  [ -n "$(field Description)" ] || fail "no Description"
  # Dependencies computed from the shared libraries.
  for lib in libqt6widgets6 libqt6serialport6 libc6 'libstdc++6'; do
    field Depends | grep -qF "$lib" || fail "Depends lacks $lib: $(field Depends)"
  done
  echo "ok"
  ;;

settings)
  [ -f "$deb" ] || fail "no package (the build step failed?)"
  work=$(mktemp -d)
  trap 'chmod -R u+w "$root/usr/bin"; rm -rf "$work"' EXIT
  # Starts the unpacked kestrune as "$@" (a user switch or nothing) with a
  # fresh per-user folder, waits until that folder is made while the main
  # window is built, and stops the program.
  check_case() {
    local case=$1; shift
    local dir="$work/$case"
    mkdir -p "$dir/config" "$dir/home" "$dir/runtime"
    [ "$(id -u)" -eq 0 ] && chown -R nobody:nogroup "$dir"
    chmod 755 "$work" && chmod 700 "$dir/runtime"
    local before after folder="$dir/config/Kestrune/kestrune"
    before=$(ls -A "$root/usr/bin")
    env HOME="$dir/home" XDG_CONFIG_HOME="$dir/config" XDG_RUNTIME_DIR="$dir/runtime" \
        QT_QPA_PLATFORM=offscreen "$@" "$root/usr/bin/kestrune" &
    local pid=$!
    # A program that chose another folder makes nothing: give up after a
    # minute rather than wait for the test's timeout.
    local tries=600
    while [ ! -d "$folder" ] && kill -0 "$pid" 2>/dev/null && [ $((tries--)) -gt 0 ]; do sleep 0.1; done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    [ -d "$folder" ] || fail "$case: kestrune made no per-user settings folder $folder"
    after=$(ls -A "$root/usr/bin")
    [ "$before" = "$after" ] || fail "$case: kestrune wrote into its program folder: $after"
    echo "ok ($case): settings folder $folder"
  }
  if [ "$(id -u)" -eq 0 ]; then
    # root may write everywhere: as root the installed layout alone decides;
    # as nobody the folder is read-only.
    check_case root
    check_case read-only setpriv --reuid=nobody --regid=nogroup --clear-groups --
  else
    chmod a-w "$root/usr/bin"
    check_case read-only
  fi
  ;;

lintian)
  [ -f "$deb" ] || fail "no package (the build step failed?)"
  # Errors fail the test; warnings and notes are shown for the record.
  lintian --fail-on error --display-info "$deb"
  echo "ok: no lintian errors"
  ;;

*)
  fail "unknown mode $mode"
  ;;
esac
