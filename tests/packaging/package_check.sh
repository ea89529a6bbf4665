#!/usr/bin/env bash
# The project installed as a Linux desktop application: `cmake --install` lays out both
# programs, the help book, the menu entry, the icon, the AppStream description and the manual
# pages; the entry and the description pass their validators; the installed programs answer
# --version without a display; `cpack -G DEB` gives a package of the programs' version that
# holds the same files and depends on the libraries they link.
# The package's files unpacked into a scratch root: its varlowe-cli answers, and its varlowe
# writes the ladder of the sample as an image (under a display when there is one).
# Usage: package_check.sh BUILD-DIR VERSION SAMPLE   (exit 77 without cpack or dpkg-deb)
set -euo pipefail
build=$1
version=$2
sample=$3
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
    share/icons/hicolor/48x48/apps/com.ostrane.Varlowe.png
    share/icons/hicolor/256x256/apps/com.ostrane.Varlowe.png
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
size=$(file -b "$work/prefix/share/icons/hicolor/48x48/apps/com.ostrane.Varlowe.png" 2>/dev/null || true)
[ -z "$size" ] || [[ $size == *"48 x 48"* ]] || fail "the 48-pixel icon is $size"

dpkg-deb -x "$deb" "$work/root"
[ "$("$work/root/usr/bin/varlowe-cli" --version)" = "varlowe-cli $version" ] ||
    fail "the packaged varlowe-cli does not answer --version"
"$work/root/usr/bin/varlowe-cli" messages "$sample" | grep -q INVITE ||
    fail "the packaged varlowe-cli reads no INVITE in the sample"
if [ -n "${DISPLAY:-}" ]; then
    HOME=$work XDG_CONFIG_HOME=$work/config "$work/root/usr/bin/varlowe" \
        --export-image "$work/ladder.png" "$sample" >"$work/image.log" ||
        { cat "$work/image.log"; fail "the packaged varlowe wrote no image"; }
    grep -q "rows" "$work/image.log" || fail "the packaged varlowe said nothing of its image"
else
    echo "no display: the packaged varlowe's --export-image is not tried"
fi
echo "installed and packaged as varlowe $version: ${#expected[@]} files, depends on $depends"
