#!/usr/bin/env bash
# Installs the build into a DESTDIR and checks what a packager and a desktop
# get: every file, no trace of the build folder, the desktop entry, the MIME
# type by name and by content, the manual pages against the help texts, the
# C example built from the installed pkg-config file alone, and, when
# cpack is there, the .deb against the same install.
# Usage: install_test.sh BUILD SOURCE VERSION PREFIX BINDIR LIBDIR INCLUDEDIR MANDIR DATADIR DOCDIR [GST_PLUGIN]
# (the GNUInstallDirs folders relative to PREFIX; GST_PLUGIN empty when the
# plugin is not built). Exit 77: a tool it needs is missing.
set -u
build=$1 source=$2 version=$3 prefix=$4 bindir=$5 libdir=$6 includedir=$7 mandir=$8 datadir=$9 docdir=${10}
gst_plugin=${11:-}

for tool in desktop-file-validate update-mime-database xdg-mime gio groff pkg-config cc readelf; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (scripts/install-deps.sh)"
        exit 77
    fi
done

failures=0 checks=0
check() {  # check WHAT COMMAND...: one named check
    local what=$1
    shift
    checks=$((checks + 1))
    if ! "$@"; then
        echo "FAIL: $what"
        failures=$((failures + 1))
    fi
}

work=$(mktemp -d /tmp/zarn-install-XXXXXX)
trap 'rm -rf "$work"' EXIT
stage=$work/stage
root=$stage$prefix

if ! DESTDIR=$stage cmake --install "$build" >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    echo "FAIL: cmake --install"
    exit 1
fi

# Every file, at its place.
expected=(
    "$bindir/zarnplay" "$bindir/zarn"
    "$libdir/libzarn.so" "$libdir/libzarn.so.1" "$libdir/libzarn.so.$version" "$libdir/libzarn.a" "$libdir/pkgconfig/zarn.pc"
    "$includedir/zarn/zarn.h"
    "$mandir/man1/zarnplay.1" "$mandir/man1/zarn.1"
    "$datadir/applications/zarnplay.desktop" "$datadir/mime/packages/zarn.xml"
    "$datadir/icons/hicolor/scalable/apps/zarnplay.svg" "$datadir/thumbnailers/zarn.thumbnailer"
    "$datadir/bash-completion/completions/zarnplay" "$datadir/bash-completion/completions/zarn"
    "$docdir/README.md"
)
[ -n "$gst_plugin" ] && expected+=("$libdir/gstreamer-1.0/$gst_plugin")
for file in "${expected[@]}"; do check "installed $file" test -f "$root/$file"; done
for program in zarnplay zarn; do check "$program is executable" test -x "$root/$bindir/$program"; done
check "libzarn.so -> libzarn.so.1" test "$(readlink "$root/$libdir/libzarn.so")" = libzarn.so.1
check "the library's soname" sh -c "readelf -d '$root/$libdir/libzarn.so.1' | grep -q 'SONAME.*\[libzarn.so.1\]'"
installed=$(cd "$stage" && find . -type f -o -type l | sed 's|^\./|/|' | sort)
check "nothing installed outside the list" test "$(echo "$installed" | wc -l)" -eq "${#expected[@]}"

# Nothing installed points back into the build folder; the player's link is
# the installed README.
check "no installed file holds the build folder ($build)" sh -c "! grep -rlF '$build' '$stage'"
check "the player links the installed README" grep -qaF "file://$prefix/$docdir/README.md" "$root/$bindir/zarnplay"
check "zarn.pc names the prefix" grep -qx "prefix=$prefix" "$root/$libdir/pkgconfig/zarn.pc"

check "desktop-file-validate" desktop-file-validate "$root/$datadir/applications/zarnplay.desktop"
check "the desktop entry opens video/x-zarn" grep -qx "MimeType=video/x-zarn;" "$root/$datadir/applications/zarnplay.desktop"

# The MIME type, by name and by its signature alone, as a desktop's own
# lookup (GLib's, through xdg-mime) sees it with only the installed type
# (its database made in a copy: the caches are the system's business).
mkdir -p "$work/data/mime" "$work/empty"
cp -r "$root/$datadir/mime/packages" "$work/data/mime/"
update-mime-database "$work/data/mime" >"$work/mime.log" 2>&1
check "update-mime-database: $(cat "$work/mime.log")" test -s "$work/data/mime/mime.cache"
cp "$source/samples/demo.zrn" "$work/clip.zrn"
cp "$source/samples/demo.zrn" "$work/no-extension"
printf 'ZRNx not a video' >"$work/not-zarn"
mime_of() {
    XDG_DATA_DIRS=$work/data XDG_DATA_HOME=$work/empty XDG_CURRENT_DESKTOP=GNOME \
        xdg-mime query filetype "$1" 2>/dev/null
}
check "clip.zrn is video/x-zarn" test "$(mime_of "$work/clip.zrn")" = video/x-zarn
check "a renamed copy is video/x-zarn by magic" test "$(mime_of "$work/no-extension")" = video/x-zarn
check "ZRN with another letter is not" test "$(mime_of "$work/not-zarn")" != video/x-zarn

# Manual pages: no groff warnings, and every switch and option the programs'
# help texts list, in their OPTIONS or COMMANDS sections.
for page in zarnplay zarn; do
    groff -man -ww -z "$root/$mandir/man1/$page.1" 2>"$work/$page.warnings"
    check "groff -ww on $page.1: $(cat "$work/$page.warnings")" test ! -s "$work/$page.warnings"
    groff -man -Tutf8 -P-cbou "$root/$mandir/man1/$page.1" 2>/dev/null >"$work/$page.txt"
done
help=$(SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy "$root/$bindir/zarnplay" --help 2>&1)
switches=$(echo "$help" | grep -oE '^ +/[A-Z#!]' | tr -d ' ' | sort -u)
check "zarnplay --help lists switches" test "$(echo "$switches" | wc -l)" -ge 20
for switch in $switches --help --version; do
    check "zarnplay.1 has $switch" grep -qE "^ {7}$switch" "$work/zarnplay.txt"
done
for command in $("$root/$bindir/zarn" --help | sed -n 's/^  \([a-z]*\) .*/\1/p'); do
    check "zarn.1 has zarn $command" grep -q "zarn $command" "$work/zarn.txt"
    for option in $("$root/$bindir/zarn" "$command" --help | grep -oE '^  +-[-a-z]+(, --[-a-z]+)?' | tr -d ','); do
        check "zarn.1 has $command $option" grep -qE "^ {7}.*$option" "$work/zarn.txt"
    done
done

# The C example against the installed header and library, found through the
# installed pkg-config file alone.
export PKG_CONFIG_PATH=$root/$libdir/pkgconfig PKG_CONFIG_LIBDIR=$root/$libdir/pkgconfig PKG_CONFIG_SYSROOT_DIR=$stage
# shellcheck disable=SC2046
if cc -std=c99 -Wall -Wextra -o "$work/zarn_to_y4m" "$source/examples/zarn_to_y4m.c" $(pkg-config --cflags --libs zarn); then
    LD_LIBRARY_PATH=$root/$libdir "$work/zarn_to_y4m" "$work/clip.zrn" "$work/clip.y4m" >/dev/null
    check "the example runs on the installed library" sh -c "head -c 10 '$work/clip.y4m' | grep -q '^YUV4MPEG2'"
    check "the example uses the installed libzarn.so.1" sh -c \
        "LD_LIBRARY_PATH='$root/$libdir' ldd '$work/zarn_to_y4m' | grep -qF '$root/$libdir/libzarn.so.1'"
else
    check "the example builds from the installed pkg-config file" false
fi

# The Debian package holds what the install gives, with its metadata.
if command -v cpack >/dev/null && command -v dpkg-deb >/dev/null && command -v dpkg-shlibdeps >/dev/null; then
    (cd "$build" && cpack -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1) || cat "$work/cpack.log"
    deb=$(ls "$work"/deb/*.deb 2>/dev/null | head -1)
    check "cpack made a .deb" test -n "$deb"
    if [ -n "$deb" ]; then
        info=$(dpkg-deb -I "$deb")
        for field in "Package: zarn" "Version: " "Maintainer: " "Description: " "Depends: .*libc6" \
                     "Depends: .*libsdl2" "Section: video"; do
            check "control: $field" grep -qE "^ $field" <<<"$info"
        done
        contents=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$' | sort)
        check "the .deb holds what the install gives" test "$contents" = "$(cd "$stage" && find . -type f -o -type l | sed 's|^\./|/|' | sort)"
    fi
else
    echo "note: no cpack/dpkg-deb/dpkg-shlibdeps, the .deb is not checked"
fi

echo "install: $((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
