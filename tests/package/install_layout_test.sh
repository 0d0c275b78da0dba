#!/usr/bin/env bash
# `cmake --install` into a temporary prefix lays out exactly the program, its data and the
# desktop's files, each valid for the desktop's own tools; the program started from PREFIX/bin
# finds its data there, and leaves the user's ~/.local alone since the prefix registers the type.
# Usage: install_layout_test.sh BUILD_DIR SOURCE_DIR DECK
set -uo pipefail
build=$1 source=$2 deck=$3
prefix=$(mktemp -d "${TMPDIR:-/tmp}/tovra-prefix-XXXXXX")
failures=0
check() {  # check NAME COMMAND...: runs the command, counts a failure with its name
  local name=$1; shift
  if "$@"; then echo "ok $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}

cmake --install "$build" --prefix "$prefix" > "$prefix.log" 2>&1 || { cat "$prefix.log"; exit 1; }

# Outside the program's own folder: exactly these.
expected="bin/tovra-editor
share/applications/tovra-editor.desktop
share/doc/tovra-editor/changelog.gz
share/doc/tovra-editor/copyright
share/icons/hicolor/256x256/apps/tovra-editor.png
share/icons/hicolor/256x256/mimetypes/application-x-tovra.document.png
share/icons/hicolor/48x48/apps/tovra-editor.png
share/icons/hicolor/48x48/mimetypes/application-x-tovra.document.png
share/icons/hicolor/scalable/apps/tovra-editor.svg
share/icons/hicolor/scalable/mimetypes/application-x-tovra.document.svg
share/man/man1/tovra-editor.1.gz
share/metainfo/org.tovra.Editor.metainfo.xml
share/mime/packages/tovra-editor.xml"
found=$(cd "$prefix" && find . \( -type f -o -type l \) -not -path './share/tovra-editor/*' | sed 's|^\./||' | LC_ALL=C sort)
check "exactly the program and the desktop's files outside share/tovra-editor" test "$found" = "$expected"
[ "$found" = "$expected" ] || diff <(echo "$expected") <(echo "$found")
check "the program is executable" test -x "$prefix/bin/tovra-editor"
# The program's folder: the same language files, templates and icons as beside the built program.
for part in Language ELanguage icons; do
  check "share/tovra-editor/$part as in the build" diff -r "$build/bin/$part" "$prefix/share/tovra-editor/$part"
done
check "the screenshots the metadata names" test -s "$prefix/share/tovra-editor/screenshots/recording.png" -a -s "$prefix/share/tovra-editor/screenshots/deck.png"
check "nothing else in share/tovra-editor" test "$(ls "$prefix/share/tovra-editor" | tr '\n' ' ')" = "ELanguage Language icons screenshots "

# The desktop's files, as its own tools read them.
check "desktop-file-validate" desktop-file-validate "$prefix/share/applications/tovra-editor.desktop"
check "appstreamcli validate" appstreamcli validate --no-net "$prefix/share/metainfo/org.tovra.Editor.metainfo.xml"
check "the MIME type is well-formed XML" xmllint --noout "$prefix/share/mime/packages/tovra-editor.xml"
png_size() { python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]) if d[:8]==b"\x89PNG\r\n\x1a\n" else "none")' "$1"; }
for size in 48 256; do
  for icon in apps/tovra-editor mimetypes/application-x-tovra.document; do
    check "$icon.png is ${size}x$size" test "$(png_size "$prefix/share/icons/hicolor/${size}x$size/$icon.png")" = "${size}x$size"
  done
done
version=$("$build/bin/tovra-editor" --version | awk '{print $2}')
check "the manual page names version $version" sh -c "zcat '$prefix/share/man/man1/tovra-editor.1.gz' | grep -q '^\.TH TOVRA-EDITOR 1 .*\"Tovra Editor $version\"'"
check "the metadata names release $version" grep -q "<release version=\"$version\"" "$prefix/share/metainfo/org.tovra.Editor.metainfo.xml"

# Started from PREFIX/bin with a home of its own: the same version, and a deck imported with the
# installed page templates of the default language.
export HOME="$prefix.home" XDG_CONFIG_HOME="$prefix.home/.config" XDG_DATA_HOME="$prefix.home/.local/share"
mkdir -p "$HOME"
check "--version from the prefix" test "$("$prefix/bin/tovra-editor" --version)" = "tovra-editor $version"
course=$("$prefix/bin/tovra-editor" --import "$deck" "$prefix.course" 2> "$prefix.import.log")
check "--import from the prefix names the project file" test -f "$course"
check "the course has the installed templates of the default language" cmp "$prefix.course/web.files/mvfile/text.js" \
  "$prefix/share/tovra-editor/ELanguage/Chinese/web.files/mvfile/text.js"
[ -f "$course" ] || cat "$prefix.import.log"
# The window: it opens with the installed data and registers nothing of its own.
"$prefix/bin/tovra-editor" > "$prefix.gui.log" 2>&1 &
pid=$!
shown=no
for _ in $(seq 100); do
  if xwininfo -root -tree 2>/dev/null | grep -q 'Tovra Editor'; then shown=yes; break; fi
  sleep 0.2
done
sleep 1
kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
check "the installed editor opens its window" test "$shown" = yes
[ "$shown" = yes ] || cat "$prefix.gui.log"
check "no registration in ~/.local beside the installed one" test ! -e "$XDG_DATA_HOME/applications/tovra-editor.desktop"

rm -rf "$prefix" "$prefix".*
echo "$failures failed"
[ "$failures" -eq 0 ]
