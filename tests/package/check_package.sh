#!/usr/bin/env bash
# Builds the Debian package from a build tree and checks its control data and contents.
#   check_package.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb="$work/vidmill_${version}_amd64.deb"
[ -f "$deb" ] || { echo "no $deb"; ls "$work"; exit 1; }

fail() { echo "FAIL: $*"; exit 1; }
field() { dpkg-deb -f "$deb" "$1"; }

[ "$(field Package)" = vidmill ] || fail "Package is $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version is $(field Version)"
[ "$(field Architecture)" = amd64 ] || fail "Architecture is $(field Architecture)"
depends=$(field Depends)
# The runtime libraries of what vidmill links, as dpkg-shlibdeps names them.
names=$(tr ',' '\n' <<<"$depends" | awk '{print $1}')
for lib in libavformat libavcodec libavutil libswscale libswresample libc libstdc++; do
  found=no
  while read -r name; do [[ $name == "$lib"[0-9]* ]] && found=yes; done <<<"$names"
  [ $found = yes ] || fail "Depends lacks $lib: $depends"
done

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/vidmill ./usr/share/man/man1/vidmill.1.gz; do
  grep -qx "$path" <<<"$contents" || fail "the package lacks $path"
done
extra=$(grep -v -e '/$' -e '^./usr/bin/vidmill$' -e '^./usr/share/man/man1/vidmill.1.gz$' <<<"$contents" || true)
[ -z "$extra" ] || fail "the package holds more than vidmill and its manual: $extra"

# The packaged program runs, and its manual carries the version.
dpkg-deb -x "$deb" "$work/root"
set +e
"$work/root/usr/bin/vidmill" </dev/null >"$work/usage"
status=$?
set -e
[ "$status" = 255 ] || fail "the packaged vidmill exited $status"
grep -q "^USAGE : vidmill.exe" "$work/usage" || fail "the packaged vidmill printed: $(cat "$work/usage")"
zcat "$work/root/usr/share/man/man1/vidmill.1.gz" | grep -q "^.TH VIDMILL 1 .*\"vidmill $version\"" ||
  fail "the manual does not carry version $version"
echo "package ok: $(basename "$deb"), Depends: $depends"
