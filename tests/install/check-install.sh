#!/usr/bin/env bash
# The program as it is installed, away from the build tree:
#   tests/install/check-install.sh prefix BUILD_DIR VERSION
#       cmake --install into a scratch prefix: the layout, the RUNPATHs, the
#       desktop files, and the program run (and run again after the prefix
#       moved) with --version and one import
#   tests/install/check-install.sh packages BUILD_DIR VERSION
#       the Debian packages (cpack): their names, dependencies and documents,
#       then unpacked with dpkg-deb and the program run the same way
# Every run has its own home, XDG folders and TMPDIR.
set -euo pipefail
mode="$1"
build="$(cd "$2" && pwd)"
work="$build/install-check-$mode"
rm -rf "$work"
mkdir -p "$work"

fail() { echo "$*" >&2; exit 1; }
# Runs a step quietly; on failure shows its output and stops.
quietly() {
  "$@" >"$work/step.log" 2>&1 || { cat "$work/step.log" >&2; fail "failed: $*"; }
}

version="$3"

# The installed PROGRAM in a hermetic home of its own (NAME): --version, then
# one small ENEX file into a scratch library.
run_installed_program() {
  local program="$1" home="$work/home-$2"
  mkdir -p "$home/tmp"
  local env=(env -u DISPLAY -u WAYLAND_DISPLAY -u LD_LIBRARY_PATH HOME="$home"
    XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_STATE_HOME="$home/state"
    XDG_CACHE_HOME="$home/cache" TMPDIR="$home/tmp")
  local answer
  answer="$("${env[@]}" "$program" --version)" || fail "$program --version failed"
  [[ "$answer" == "ferrymark $version ("*")" ]] || fail "unexpected version: $answer"

  cat >"$home/Travel.enex" <<'ENEX'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE en-export SYSTEM "http://xml.evernote.com/pub/evernote-export3.dtd">
<en-export export-date="20240101T000000Z" application="Evernote" version="10.0">
<note><title>Packing List</title><content><![CDATA[<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE en-note SYSTEM "http://xml.evernote.com/pub/enml2.dtd">
<en-note><div>Passport and tickets</div></en-note>]]></content>
<created>20240101T000000Z</created></note>
</en-export>
ENEX
  "${env[@]}" "$program" import "$home/Travel.enex" --library "$home/library" >"$home/import.log" 2>&1 \
    || { cat "$home/import.log" >&2; fail "the installed program's import failed"; }
  grep -q "Imported 1 of 1 notes" "$home/import.log" || { cat "$home/import.log" >&2; fail "no note imported"; }
  local note="$home/library/Travel/Packing List.pmnote"
  [[ -d "$note" ]] || fail "the library has no item for the note"
  grep -q "Passport and tickets" "$note/TXT.rtf" || fail "the note's text is not in its item"
  grep -aq "Packing List" "$home/library/Library.sqlite" || fail "the library does not list the note"
}

# Every RUNPATH entry of FILE is $ORIGIN-relative and names a folder that exists.
check_runpath() {
  local file="$1" runpath
  runpath="$(readelf -d "$file" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')"
  [[ -n "$runpath" ]] || fail "$file has no RUNPATH"
  local entry
  IFS=: read -ra entries <<<"$runpath"
  for entry in "${entries[@]}"; do
    [[ "$entry" == '$ORIGIN'* ]] || fail "$file has a RUNPATH entry that is not relative: $entry"
    [[ -d "$(dirname "$file")/${entry#\$ORIGIN}" ]] || fail "$file's RUNPATH names a missing folder: $entry"
  done
  ! grep -q "$build" <<<"$runpath" || fail "$file's RUNPATH names the build tree"
}

# The installed tree at ROOT (PREFIX or unpacked /usr): where each piece lies.
check_layout() {
  local root="$1"
  [[ -x "$root/bin/ferrymark" ]] || fail "no bin/ferrymark"
  local quorvel platform
  quorvel="$(find "$root" -name 'libQuorvel.so.1' | head -n 1)"
  [[ -n "$quorvel" ]] || fail "no libQuorvel.so.1"
  local libdir; libdir="$(dirname "$quorvel")"
  platform="$libdir/ferrymark/libFerrymarkPlatform.so.1"
  [[ -e "$platform" ]] || fail "the platform library is not in $libdir/ferrymark"
  [[ -z "$(find "$root" -name 'libFerrymarkPlatform.so*' -not -path "$libdir/ferrymark/*")" ]] \
    || fail "the platform library lies in a public folder"
  check_runpath "$root/bin/ferrymark"
  check_runpath "$(readlink -f "$quorvel")"

  local desktop="$root/share/applications/com.quorvel.Ferrymark.desktop"
  [[ -f "$desktop" ]] || fail "no desktop entry"
  grep -qx 'Exec=ferrymark %F' "$desktop" || fail "the desktop entry does not pass the files"
  grep -qx 'MimeType=application/x-enex;' "$desktop" || fail "the desktop entry opens no ENEX files"
  desktop-file-validate "$desktop" || fail "the desktop entry is not valid"
  local icon; icon="$(sed -n 's/^Icon=//p' "$desktop")"
  [[ -f "$root/share/icons/hicolor/scalable/apps/$icon.svg" ]] || fail "no icon $icon.svg"
  local mime="$root/share/mime/packages/ferrymark.xml"
  xmllint --noout "$mime" || fail "the MIME entry is no XML"
  grep -q 'type="application/x-enex"' "$mime" && grep -q 'pattern="\*.enex"' "$mime" \
    && grep -q 'localName="en-export"' "$mime" || fail "the MIME entry does not name ENEX files"
  local metainfo="$root/share/metainfo/com.quorvel.Ferrymark.metainfo.xml"
  appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 \
    || { cat "$work/appstream.log" >&2; fail "the metainfo is not valid"; }
  grep -q "<launchable type=\"desktop-id\">com.quorvel.Ferrymark.desktop</launchable>" "$metainfo" \
    || fail "the metainfo does not launch the desktop entry"
  grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
  bash -n "$root/share/bash-completion/completions/ferrymark" || fail "the completion is no bash"
  local manual="$root/share/man/man1/ferrymark.1.gz"
  [[ -f "$manual" ]] || fail "no manual page"
  # Made from the help texts: it names the options of every command.
  for option in --library --evernote-folder --recover --passphrase-file --version; do
    zcat "$manual" | grep -qF -- "$option" || fail "the manual page does not name $option"
  done
}

check_prefix() {
  local prefix="$work/prefix"
  quietly cmake --install "$build" --prefix "$prefix"
  check_layout "$prefix"
  run_installed_program "$prefix/bin/ferrymark" prefix
  # The tree works wherever it lies: nothing in it names the prefix.
  mv "$prefix" "$work/moved"
  run_installed_program "$work/moved/bin/ferrymark" moved
}

# package_field FIELD DEB
package_field() { dpkg-deb --field "$2" "$1"; }

check_packages() {
  quietly cpack --config "$build/CPackConfig.cmake" -B "$work/packages"
  local name deb
  for name in ferrymark libquorvel1 libquorvel-dev; do
    deb="$(find "$work/packages" -maxdepth 1 -name "${name}_*.deb")"
    [[ -n "$deb" ]] || fail "no package $name"
    [[ "$(package_field Package "$deb")" == "$name" ]] || fail "$deb is not $name"
    [[ -n "$(package_field Maintainer "$deb")" && -n "$(package_field Section "$deb")" ]] \
      || fail "$name has no maintainer or section"
    local paths; paths="$(dpkg-deb --contents "$deb" | awk '{print $6}')"
    grep -qx "\./usr/share/doc/$name/copyright" <<<"$paths" || fail "$name has no copyright"
    grep -qx "\./usr/share/doc/$name/changelog\.gz" <<<"$paths" || fail "$name has no changelog"
    # Everything below /usr.
    ! grep -v '^\./usr\(/\|$\)' <<<"$paths" | grep -vxq '\./' || fail "$name installs outside /usr"
    dpkg-deb --extract "$deb" "$work/root"
  done
  local program; program="$(find "$work/packages" -maxdepth 1 -name 'ferrymark_*.deb')"
  # dpkg-shlibdeps found the system's libraries; the framework is its own package.
  local depends; depends="$(package_field Depends "$program")"
  grep -q 'libquorvel1' <<<"$depends" || fail "ferrymark does not depend on libquorvel1: $depends"
  grep -q 'libqt6core6' <<<"$depends" || fail "ferrymark's dependencies were not computed: $depends"
  grep -q 'libqt6sql6-sqlite' <<<"$depends" || fail "ferrymark does not depend on the SQLite driver"
  local library; library="$(find "$work/packages" -maxdepth 1 -name 'libquorvel1_*.deb')"
  grep -q 'libqt6sql6' <<<"$(package_field Depends "$library")" \
    || fail "libquorvel1's dependencies were not computed"
  grep -qx '\./shlibs' <<<"$(dpkg-deb --ctrl-tarfile "$library" | tar -tf -)" || fail "libquorvel1 has no shlibs"
  check_layout "$work/root/usr"
  run_installed_program "$work/root/usr/bin/ferrymark" packages
}

case "$mode" in
  prefix) check_prefix ;;
  packages) check_packages ;;
  *) fail "usage: $0 prefix|packages BUILD_DIR VERSION" ;;
esac
rm -rf "$work"
echo "The installed program works ($mode)"
