#!/usr/bin/env bash
# The Debian package end to end, as root on a machine it may install into (CI): built with
# `make package`'s target, checked by lintian, installed with apt, used by a user without root
# rights (version, a deck imported, the window started, the language switched and kept over a
# restart, the desktop's view of the files), and removed without a trace.
# Usage: deb_package_test.sh BUILD_DIR DECK
set -uo pipefail
build=$(cd "$1" && pwd) deck=$2
if [ "$(id -u)" -ne 0 ] || ! command -v apt-get > /dev/null; then
  echo "needs root and apt: skipped"
  exit 77
fi
failures=0
check() {  # check NAME COMMAND...
  local name=$1; shift
  if "$@"; then echo "ok $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}
user=tovra-teacher
work=$(mktemp -d /tmp/tovra-package-XXXXXX)
chmod 755 "$work"
cleanup() {
  apt-get purge -y -q tovra-editor > /dev/null 2>&1 || true
  userdel -r "$user" > /dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

version=$("$build/bin/tovra-editor" --version | awk '{print $2}')
cmake --build "$build" --target package > "$work/package.log" 2>&1 || { cat "$work/package.log"; exit 1; }
deb=$(ls "$build"/tovra-editor_"$version"_*.deb 2> /dev/null | head -1)
check "the package is tovra-editor_${version}_<arch>.deb" test -f "$deb"
[ -f "$deb" ] || { cat "$work/package.log"; exit 1; }
check "its version is the program's" test "$(dpkg-deb -f "$deb" Version)" = "$version"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6webenginecore6 libavcodec libreoffice-impress gstreamer1.0-plugins-good gstreamer1.0-pulseaudio libpulse0; do
  check "it depends on $needed" grep -q "$needed" <<< "$depends"
done
# lintian: no errors. The warnings accepted are listed in the README.
lintian --tag-display-limit 0 "$deb" > "$work/lintian.log" 2>&1
check "lintian finds no errors" sh -c "! grep -q '^E: ' '$work/lintian.log'"
cat "$work/lintian.log"

check "apt installs it" apt-get install -y -q --no-install-recommends "$deb"
useradd -m -s /bin/bash "$user"
as_user() {
  # The machine may be a container without user namespaces for the browser engine's sandbox.
  runuser -u "$user" -- env -i HOME="/home/$user" PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 \
    QTWEBENGINE_DISABLE_SANDBOX=1 "$@"
}
check "the user runs tovra-editor --version" test "$(as_user tovra-editor --version)" = "tovra-editor $version"
cp "$deck" "$work/deck.ppt"
chmod 644 "$work/deck.ppt"
course=$(as_user tovra-editor --import "$work/deck.ppt" "/home/$user/Course" 2> "$work/import.log")
check "the user imports a deck" test -f "$course"
[ -f "$course" ] || cat "$work/import.log"
check "the course has the installed templates" test -f "/home/$user/Course/web.files/fullscreen.htm"

# The window under a virtual display of the user's own: View > Language > English, quit, start
# again, and the About box is in English.
cat > "$work/window.sh" << 'SCRIPT'
set -u
wait_for() { for _ in $(seq 150); do xdotool search --name "$1" > /dev/null 2>&1 && return 0; sleep 0.2; done; return 1; }
start() {
  tovra-editor > "$1" 2>&1 &
  wait_for 'Tovra Editor' || { echo "no window"; return 1; }
  sleep 2
  xdotool search --name 'Tovra Editor' windowfocus --sync 2> /dev/null
}
start first.log || exit 1
xdotool key --delay 300 alt+v l e
for _ in $(seq 50); do grep -q 'Language/English.ini' ~/.config/tovra-editor/Vanti.ini 2> /dev/null && break; sleep 0.2; done
xdotool key --delay 300 alt+f x
for _ in $(seq 50); do xdotool search --name 'Tovra Editor' > /dev/null 2>&1 || break; sleep 0.2; done
start second.log || exit 1
xdotool key --delay 300 alt+h a
wait_for '^About Tovra Editor$' && echo "about: English"
pkill -u "$(id -u)" -f 'bin/tovra-editor' || true
SCRIPT
chmod 644 "$work/window.sh"
out=$(cd "/home/$user" && as_user xvfb-run -a -s "-screen 0 1280x800x24" bash "$work/window.sh" 2>&1)
echo "$out"
check "the language chosen is kept in the user's settings" \
  grep -q 'Sel=Language/English.ini' "/home/$user/.config/tovra-editor/Vanti.ini"
check "the restarted editor is in English" grep -q 'about: English' <<< "$out"
check "nothing registered in the user's ~/.local" test ! -e "/home/$user/.local/share/applications/tovra-editor.desktop"

check "desktop-file-validate" desktop-file-validate /usr/share/applications/tovra-editor.desktop
check "appstreamcli validate" appstreamcli validate --no-net /usr/share/metainfo/org.tovra.Editor.metainfo.xml
check "the desktop opens courses with the editor" \
  test "$(as_user xdg-mime query default application/x-tovra.document)" = "tovra-editor.desktop"
# (xdg-mime asks libmagic for a file's type outside a desktop session; the desktop's own database
# is what file managers read.)
check "the MIME database knows .lsn files" grep -q '^[0-9]*:application/x-tovra.document:\*\.lsn$' /usr/share/mime/globs2

# Removed: none of its files left.
dpkg -L tovra-editor > "$work/files"
check "apt removes it" apt-get purge -y -q tovra-editor
left=""
while read -r path; do
  if [ -f "$path" ] || [ -L "$path" ]; then left="$left $path"; fi
done < "$work/files"
check "no file of it is left" test -z "$left"
[ -z "$left" ] || echo "left:$left"
check "no program folder is left" test ! -e /usr/share/tovra-editor

echo "$failures failed"
[ "$failures" -eq 0 ]
