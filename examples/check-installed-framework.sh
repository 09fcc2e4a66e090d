#!/usr/bin/env bash
# Installs the framework from a build tree into a scratch prefix and proves
# that an outside application can use it: the library carries its SONAME, the
# example builds through find_package(Quorvel), a program builds through
# pkg-config, and the example runs its checks against the installed library.
#   examples/check-installed-framework.sh BUILD_DIR
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="$(cd "$1" && pwd)"
work="$build/installed-framework-check"
prefix="$work/prefix"
rm -rf "$work"
mkdir -p "$work/home"

# Runs a step quietly; on failure shows its output and stops.
quietly() {
  "$@" >"$work/step.log" 2>&1 || { cat "$work/step.log" >&2; echo "failed: $*" >&2; exit 1; }
}

quietly cmake --install "$build" --component Quorvel --prefix "$prefix"
quietly cmake --install "$build" --component QuorvelDevelopment --prefix "$prefix"
libdir="$(dirname "$(find "$prefix" -name 'libQuorvel.so.*.*' | head -n 1)")"
readelf -d "$libdir"/libQuorvel.so.*.* | grep -q 'SONAME.*\[libQuorvel\.so\.[0-9]*\]' \
  || { echo "libQuorvel has no versioned SONAME" >&2; exit 1; }
# The platform library is private: in its own folder, found through the
# framework's RUNPATH, and without a development link.
platform="$(find "$libdir/ferrymark" -name 'libFerrymarkPlatform.so.*.*' | head -n 1)"
[[ -n "$platform" ]] && readelf -d "$platform" | grep -q 'SONAME.*\[libFerrymarkPlatform\.so\.[0-9]*\]' \
  || { echo "libFerrymarkPlatform is not installed with a versioned SONAME in $libdir/ferrymark" >&2; exit 1; }
[[ -z "$(find "$prefix" -name 'libFerrymarkPlatform.so')" ]] \
  || { echo "the private platform library has a development link" >&2; exit 1; }
readelf -d "$libdir"/libQuorvel.so.*.* | grep -q 'RUNPATH.*\[\$ORIGIN/ferrymark\]' \
  || { echo "libQuorvel does not find the platform library beside it" >&2; exit 1; }

# Only the public API leaves the library: its classes do, the helpers of its
# sources (the HTTPS policy, the bounded download, the release notes) do not.
exported="$(nm -D --defined-only -C "$libdir"/libQuorvel.so.*.*)"
for name in 'QVFLogManager::applicationLogDirectory' 'QVFExtensions::SHA256Digest' \
  'QVFSWUpdateChecker::staticMetaObject' 'typeinfo for QVFAboutPanel'; do
  grep -qF "$name" <<<"$exported" || { echo "libQuorvel does not export $name" >&2; exit 1; }
done
for name in 'HTTPSPolicy' 'BoundedHTTPSDownload' 'ReleaseNotesView' 'SystemCrashReports'; do
  ! grep -qF "$name::" <<<"$exported" || { echo "libQuorvel exports its private $name" >&2; exit 1; }
done

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
quietly cmake -S "$here/QuorvelExample" -B "$work/example" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" "${launcher[@]}"
quietly cmake --build "$work/example"

export PKG_CONFIG_PATH="$libdir/pkgconfig"
# Every public header compiles on its own terms; one call links.
for header in "$prefix"/include/Quorvel/*.h; do
  echo "#include <Quorvel/$(basename "$header")>"
done >"$work/pkgconfig-check.cpp"
# The log manager is made from a plain name: no platform type in its headers.
echo 'int main() { return QVFLogManager(QStringLiteral("check")).applicationLogFile().isEmpty(); }' \
  >>"$work/pkgconfig-check.cpp"
# shellcheck disable=SC2046
quietly c++ -std=c++20 -fPIC "$work/pkgconfig-check.cpp" -o "$work/pkgconfig-check" \
  $(pkg-config --cflags --libs quorvel) -Wl,-rpath,"$libdir"
XDG_DATA_HOME="$work/home/data" "$work/pkgconfig-check"

answer="$(env QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/home/config" \
  XDG_DATA_HOME="$work/home/data" XDG_STATE_HOME="$work/home/state" \
  "$work/example/quorvel-example" --update-url "file://$work/no-update-info" --quit-after-checks)"
grep -qx 'About: 1.0 (100)' <<<"$answer" && grep -qx 'QVFUpdateCheckFailedNotificiation' <<<"$answer" \
  || { echo "unexpected answer from the example: $answer" >&2; exit 1; }
echo "The example builds and runs against the framework installed in $prefix"
