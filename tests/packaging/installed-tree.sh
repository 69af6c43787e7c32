#!/usr/bin/env bash
# The installed tree: `cmake --install` into a scratch folder puts exactly the expected files
# there, and the programs run from it: both print the version (the window without a display),
# brindle-cli lists the installed demo disc and finds the ASPI library in its installed place,
# and nothing carries a run-time search path.
#   installed-tree.sh BUILD_DIR SOURCE_DIR LIBDIR VERSION
set -euo pipefail
build=$1 source=$2 libdir=$3 version=$4
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null

expected=$(sed "s|@LIBDIR@|$libdir|" "$source/tests/packaging/installed-files.txt" | LC_ALL=C sort)
installed=$(cd "$root" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort)
if [ "$installed" != "$expected" ]; then
  diff <(echo "$expected") <(echo "$installed") >&2 || true
  fail "the installed files differ from tests/packaging/installed-files.txt (< expected, > installed)"
fi

bin=$root/usr/bin
[ "$("$bin/brindle-cli" --version)" = "brindle-cli $version" ] || fail "brindle-cli --version"
window_version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/brindle" --version)
[ "$window_version" = "brindle $version" ] || fail "brindle --version gave '$window_version'"

# The installed demo disc lists the folders and files it was written from.
listing=$("$bin/brindle-cli" ls --image "$root/usr/share/brindle/demo.iso")
while IFS= read -r name; do
  cut -c1-32 <<<"$listing" | sed 's/ *$//' | grep -qxF -- "$name" ||
    fail "the demo disc's listing lacks '$name'"
done < <(ls -1 "$build/demo/tree")

# The installed program loads the ASPI library from its installed place (the loader's own
# report of what it started).
# (Without a drive the command then fails; the library was loaded all the same.)
report=$(LD_DEBUG=files "$bin/brindle-cli" drives --transport aspi 2>&1 >/dev/null || true)
loaded=$(sed -n 's/.*calling init: \(.*libwnaspi32\.so\).*/\1/p' <<<"$report" | head -n 1)
[ -n "$loaded" ] || fail "the installed brindle-cli loaded no ASPI library"
[ "$(realpath "$loaded")" = "$root/usr/$libdir/brindle/libwnaspi32.so" ] ||
  fail "the installed brindle-cli loaded the ASPI library from $loaded"

for program in "$bin/brindle" "$bin/brindle-cli" "$root/usr/$libdir/brindle/libwnaspi32.so"; do
  if readelf -d "$program" | grep -qE 'RPATH|RUNPATH'; then fail "$program has a run-time path"; fi
done
echo "installed tree: $(wc -l <<<"$installed") files as expected; programs run from it"
