#!/usr/bin/env bash
# The project installed as a Linux desktop application: `cmake --install` lays out both
# programs, the help book, the menu entry, the icon, the AppStream description and the manual
# pages; the entry and the description pass their validators; the installed programs answer
# --version without a display; `cpack -G DEB` gives a package of the programs' version that
# holds the same files and depends on the libraries they link.
# Usage: package_check.sh BUILD-DIR VERSION   (exit 77 without cpack or dpkg-deb)
set -euo pipefail
build=$1
version=$2
for tool in cpack dpkg-deb; do
    command -v $tool >/dev/null || { echo "$tool is not installed: skipped"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "$*"; exit 1; }

expected=(
    bin/varlowe bin/varlowe-cli share/varlowe/Varlowe.htb
    share/applications/com.ostrane.Varlowe.desktop
    share/metainfo/com.ostrane.Varlowe.metainfo.xml
    share/icons/hicolor/scalable/apps/com.ostrane.Varlowe.svg
    share/man/man1/varlowe.1 share/man/man1/varlowe-cli.1
)
cmake --install "$build" --prefix "$work/prefix" >/dev/null
for file in "${expected[@]}"; do
    [ -f "$work/prefix/$file" ] || fail "not installed: $file"
done
entry=$work/prefix/share/applications/com.ostrane.Varlowe.desktop
grep -qx 'Exec=varlowe %F' "$entry" || fail "the menu entry does not start varlowe with the files"
grep -qx 'Icon=com.ostrane.Varlowe' "$entry" || fail "the menu entry names another icon"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$entry" || fail "the menu entry is not valid"
else
    echo "desktop-file-validate is not installed: the menu entry is not validated"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net --explain \
        "$work/prefix/share/metainfo/com.ostrane.Varlowe.metainfo.xml" >"$work/appstream.log" ||
        { cat "$work/appstream.log"; fail "the AppStream description is not valid"; }
    grep -q "<release version=\"$version\"" \
        "$work/prefix/share/metainfo/com.ostrane.Varlowe.metainfo.xml" ||
        fail "the AppStream description has no release $version"
else
    echo "appstreamcli is not installed: the description is not validated"
fi
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$work/prefix/bin/varlowe" --version)" = "varlowe $version" ] ||
    fail "the installed varlowe does not answer --version without a display"
[ "$(env -u DISPLAY "$work/prefix/bin/varlowe-cli" --version)" = "varlowe-cli $version" ] ||
    fail "the installed varlowe-cli does not answer --version"

(cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.log" 2>&1) ||
    { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work/package"/*.deb)
[ "$(dpkg-deb -f "$deb" Package)" = varlowe ] || fail "the package is not named varlowe"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libwxgtk3.2 libpcap0.8; do
    [[ $depends == *"$library"* ]] || fail "the package does not depend on $library: $depends"
done
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for file in "${expected[@]}"; do
    grep -qx "./usr/$file" <<<"$contents" || fail "the package lacks /usr/$file"
done
echo "installed and packaged as varlowe $version: ${#expected[@]} files, depends on $depends"
