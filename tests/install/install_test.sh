#!/usr/bin/env bash
# The installed wizard, checked from outside: the staged install tree with its link, modes and
# validators; then the Debian package, unpacked and run under a virtual X server by an
# unprivileged user while the wizard folder belongs to root: the window comes up without an
# error box, a preview into a folder of that user works (it copies the Windows viewer kvd.exe and
# shows the pages through kvd_view), and the File menu's access keys end it.
#
# install_test.sh BUILD_DIR SOURCE_DIR CMAKE CPACK [SCREENSHOT]
# Exit status 0 passed, 1 failed, 77 skipped (a tool the test needs is not installed).
set -uo pipefail

build=$1
source=$2
cmake=$3
cpack=$4
screenshot=${5:-$build/install-screenshot.png}

app=com.kivador.SetupWizard
title='Kivador Setup Wizard - version 3.2'
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
# check DESCRIPTION COMMAND...: runs the command, counts a failure when it fails.
check() {
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else fail "$what"; fi
}
fatal() {
    echo "FAIL: $*"
    exit 1
}

for tool in desktop-file-validate appstreamcli man dpkg-deb dpkg-shlibdeps lintian Xvfb xdotool setpriv import; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

tmp=$(mktemp -d)
chmod 755 "$tmp"
xvfb_pid=
wizard_pid=
viewer_pids=()
cleanup() {
    # Only the processes this test started, by their ids.
    for pid in "${viewer_pids[@]}" $wizard_pid $xvfb_pid; do kill "$pid" 2>/dev/null; done
    for pid in $wizard_pid $xvfb_pid; do wait "$pid" 2>/dev/null; done
    rm -rf "$tmp"
}
trap cleanup EXIT

has_cd=0
[ -e "$build/bin/kvd_cd" ] && has_cd=1
# The Windows viewer comes from the cross build; a build without it installs none.
has_exe=0
[ -e "$build/bin/kvd.exe" ] && has_exe=1

# ---- The staged tree ----------------------------------------------------------------------------
stage=$tmp/stage
DESTDIR=$stage "$cmake" --install "$build" --prefix /usr >"$tmp/install.log" 2>&1 ||
    fatal "cmake --install failed: $(cat "$tmp/install.log")"
usr=$stage/usr
wiz=lib/kivador-setup

# Every entry with its type and mode; nothing more, nothing less.
expected=$(
    {
        printf '%s\n' "drwxr-xr-x bin" "lrwxrwxrwx bin/kvd_gen" "drwxr-xr-x lib" "drwxr-xr-x $wiz" \
            "-rwxr-xr-x $wiz/kvd_gen" "lrwxrwxrwx bin/kvd_view" "-rwxr-xr-x $wiz/kvd_view" \
            "-rw-r--r-- share/man/man1/kvd_view.1.gz" "-rw-r--r-- $wiz/kvdhelp.htm" \
            "-rw-r--r-- $wiz/kvd.cfg" "drwxr-xr-x share" "drwxr-xr-x share/applications" \
            "-rw-r--r-- share/applications/$app.desktop" "drwxr-xr-x share/metainfo" \
            "-rw-r--r-- share/metainfo/$app.metainfo.xml" "drwxr-xr-x share/man" "drwxr-xr-x share/man/man1" \
            "-rw-r--r-- share/man/man1/kvd_gen.1.gz" "drwxr-xr-x share/doc" \
            "drwxr-xr-x share/doc/kivador-setup" "-rw-r--r-- share/doc/kivador-setup/copyright" \
            "-rw-r--r-- share/doc/kivador-setup/changelog.gz" "drwxr-xr-x share/icons" "drwxr-xr-x share/icons/hicolor" \
            "drwxr-xr-x share/icons/hicolor/scalable" "drwxr-xr-x share/icons/hicolor/scalable/apps" \
            "-rw-r--r-- share/icons/hicolor/scalable/apps/$app.svg"
        for size in 16 22 24 32 48 64 128 256; do
            printf '%s\n' "drwxr-xr-x share/icons/hicolor/${size}x$size" \
                "drwxr-xr-x share/icons/hicolor/${size}x$size/apps" \
                "-rw-r--r-- share/icons/hicolor/${size}x$size/apps/$app.png"
        done
        [ $has_exe = 1 ] && printf '%s\n' "-rwxr-xr-x $wiz/kvd.exe"
        if [ $has_cd = 1 ]; then
            printf '%s\n' "lrwxrwxrwx bin/kvd_cd" "-rwxr-xr-x $wiz/kvd_cd" "-rw-r--r-- share/man/man1/kvd_cd.1.gz"
        fi
    } | sort -k2
)
actual=$(cd "$usr" && find . -mindepth 1 -printf '%M %P\n' | sort -k2)
check "installed tree" test "$expected" = "$actual" ||
    diff <(echo "$expected") <(echo "$actual")
[ -d "$usr" ] && [ "$(find "$stage" -mindepth 1 -maxdepth 1 -printf '%P\n')" = usr ] ||
    fail "the install wrote outside the prefix: $(find "$stage" -mindepth 1 -maxdepth 1)"

for command in kvd_gen kvd_view $([ $has_cd = 1 ] && echo kvd_cd); do
    check "bin/$command is the relative link ../$wiz/$command" \
        test "$(readlink "$usr/bin/$command")" = "../$wiz/$command"
    check "bin/$command resolves to the program in the wizard folder" \
        test "$(readlink -f "$usr/bin/$command")" = "$(readlink -f "$usr/$wiz/$command")"
done
check "kvd.cfg is empty" test -f "$usr/$wiz/kvd.cfg" -a ! -s "$usr/$wiz/kvd.cfg"
check "kvdhelp.htm is the help page" cmp -s "$usr/$wiz/kvdhelp.htm" "$source/resources/kvdhelp.htm"
[ $has_exe = 1 ] && check "kvd.exe is the Windows viewer of the build" cmp -s "$usr/$wiz/kvd.exe" "$build/bin/kvd.exe"
check "the scalable icon is the drawn one" cmp -s "$usr/share/icons/hicolor/scalable/apps/$app.svg" \
    "$source/packaging/$app.svg"
for size in 16 22 24 32 48 64 128 256; do
    png=$usr/share/icons/hicolor/${size}x$size/apps/$app.png
    # PNG signature, then the IHDR width and height as big-endian numbers.
    header=$(od -An -tx1 -N24 "$png" | tr -d ' \n')
    check "icon $size is a ${size}x$size PNG" \
        test "${header:0:16}/$((16#${header:32:8}))x$((16#${header:40:8}))" = "89504e470d0a1a0a/${size}x$size"
done

# ---- Validators -----------------------------------------------------------------------------------
out=$(desktop-file-validate "$usr/share/applications/$app.desktop" 2>&1)
status=$?
echo "desktop-file-validate: status $status${out:+, output: $out}"
check "desktop-file-validate passes silently" test $status = 0 -a -z "$out"

out=$(appstreamcli validate --no-net "$usr/share/metainfo/$app.metainfo.xml" 2>&1)
status=$?
echo "appstreamcli validate --no-net: status $status, output: $out"
check "appstreamcli validate passes without errors, warnings or infos" \
    test $status = 0 -a -z "$(grep -E '^[EWI]: ' <<<"$out")"

for page in "$usr"/share/man/man1/*.1.gz; do
    out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    status=$?
    echo "man --warnings -l $(basename "$page"): status $status${out:+, output: $out}"
    check "man page $(basename "$page") renders without warnings" test $status = 0 -a -z "$out"
done

# ---- The package ----------------------------------------------------------------------------------
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1 ||
    fatal "cpack failed: $(cat "$tmp/cpack.log")"
debs=("$tmp"/pkg/*.deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || fatal "cpack made no single .deb: ${debs[*]}"
deb=${debs[0]}
info=$(dpkg-deb -I "$deb")
echo "$info"
field() { dpkg-deb -f "$deb" "$1"; }
check "package name" test "$(field Package)" = kivador-setup
check "package version" test "$(field Version)" = 3.2
check "package section" test "$(field Section)" = utils
check "package maintainer" test "$(field Maintainer)" = "Kivador Software <packages@kivador.com>"
check "package description" test "$(field Description | head -n 1)" = \
    "prepare a folder of web pages for a CD that starts itself"
check "package description has its long text" test "$(field Description | wc -l)" -ge 3
# Dependencies come from the shared libraries the programs link.
for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6webenginecore6 libmount1 libblkid1; do
    check "package depends on $library" grep -Fqx "$library" <<<"$(field Depends | tr ',' '\n' | awk '{print $1}')"
done
contents=$(dpkg-deb -c "$deb")
for command in kvd_gen kvd_view; do
    check "package holds the relative link to $command" \
        grep -Eq "^l.* \./usr/bin/$command -> \.\./$wiz/$command$" <<<"$contents"
done
check "package files belong to root" test -z "$(awk '$2 != "root/root"' <<<"$contents")"

# Debian's own checks: no error, and the hardening shows in every program; fortified functions and
# the stack protector only where the build is optimised (the debug build is -O0).
lintian_out=$(lintian --tag-display-limit 0 --display-info "$deb" 2>&1)
echo "$lintian_out"
check "lintian finds no errors" test -z "$(grep '^E: ' <<<"$lintian_out")"
check "lintian finds PIE, full RELRO and immediate binding" \
    test -z "$(grep -E 'hardening-no-(pie|relro|bindnow)' <<<"$lintian_out")"
if [ "$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")" != Debug ]; then
    check "lintian finds fortified functions and a stack protector" \
        test -z "$(grep -E 'hardening-no-(fortify-functions|stackprotector)' <<<"$lintian_out")"
fi

root=$tmp/root
dpkg-deb -x "$deb" "$root" || fatal "dpkg-deb -x failed"
check "the unpacked tree equals the staged tree" \
    test "$(cd "$root/usr" && find . -mindepth 1 -printf '%y %P\n' | sort)" = \
    "$(cd "$usr" && find . -mindepth 1 -printf '%y %P\n' | sort)"

# The package build strips this system's programs only; the Windows viewer goes in as built.
[ $has_exe = 1 ] && check "the package's kvd.exe is the build's, byte for byte" \
    cmp -s "$root/usr/$wiz/kvd.exe" "$build/bin/kvd.exe"

# ---- The unpacked wizard, run by an unprivileged user ---------------------------------------------
# A build without the Windows viewer gets a stand-in for the preview to copy: the shell knows the
# viewer by its name and the "MZ" that starts every Windows program.
if [ $has_exe = 0 ]; then
    printf 'MZ stand-in for the Windows viewer\n' >"$root/usr/$wiz/kvd.exe"
    chmod 755 "$root/usr/$wiz/kvd.exe"
fi
# The user's own folders: a home with the project folder, and the runtime folder.
home=$tmp/zzz-user
project=$home/project
mkdir -p "$project" "$tmp/runtime"
# The first page moves on to a second one: a window named after that one shows that the viewer
# found the pages in the project folder.
printf '<html><head><meta http-equiv="refresh" content="0; url=second.htm"></head></html>\n' >"$project/index.htm"
printf '<html><body><h1>The second page</h1></body></html>\n' >"$project/second.htm"
chmod 700 "$tmp/runtime"
if [ "$(id -u)" = 0 ]; then
    uid=65534
    chown -R 0:0 "$root"
    chown -R $uid:$uid "$home" "$tmp/runtime"
    as_user=(setpriv --reuid=$uid --regid=$uid --clear-groups --)
else
    # Without root the folder cannot be given to root; taking away write access is what counts.
    uid=$(id -u)
    chmod -R a-w "$root"
    as_user=()
fi
check "the wizard folder is not writable by the user" \
    test -z "$("${as_user[@]}" find "$root/usr/$wiz" -maxdepth 0 -writable)"

# Xvfb picks a free display itself and writes its number to descriptor 3 once it accepts clients,
# so no other server on the machine can be met.
: >"$tmp/displayfd"
Xvfb -ac -nolisten tcp -displayfd 3 -screen 0 1024x768x24 3>"$tmp/displayfd" >"$tmp/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 300); do
    [ -s "$tmp/displayfd" ] && break
    kill -0 $xvfb_pid 2>/dev/null || break
    sleep 0.1
done
display=
n=$(tr -d '\n' <"$tmp/displayfd")
if [ -n "$n" ] && kill -0 $xvfb_pid 2>/dev/null; then display=:$n; fi
[ -n "$display" ] || fatal "no virtual X server could be started: $(cat "$tmp/xvfb.log")"
export DISPLAY=$display

wizard_folder_before=$(ls -la --time-style=+%s "$root/usr/$wiz")
(cd "$home" && exec env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$tmp/runtime" LANG=C.UTF-8 \
    DISPLAY="$display" QT_QPA_PLATFORM=xcb "${as_user[@]}" "$root/usr/bin/kvd_gen") >"$tmp/wizard.log" 2>&1 &
wizard_pid=$!

window=
for _ in $(seq 200); do
    window=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n 1)
    [ -n "$window" ] && break
    kill -0 $wizard_pid 2>/dev/null || break
    sleep 0.1
done
[ -n "$window" ] || fatal "the wizard's window did not appear on $display; its output: $(cat "$tmp/wizard.log"); the X server's: $(cat "$tmp/xvfb.log")"
check "the wizard runs as the unprivileged user" test "$(stat -c %u "/proc/$wizard_pid")" = $uid
# The first scan moves the working folder to the wizard folder.
for _ in $(seq 100); do
    [ "$(readlink "/proc/$wizard_pid/cwd")" = "$root/usr/$wiz" ] && break
    sleep 0.1
done
check "the first scan opened the wizard folder found through the link" \
    test "$(readlink "/proc/$wizard_pid/cwd")" = "$root/usr/$wiz"
sleep 0.5
check "no error box: the main window is the wizard's only window" \
    test "$(xdotool search --onlyvisible --pid $wizard_pid 2>/dev/null | wc -l)" = 1
check "no error box titled after the program" test -z "$(xdotool search --onlyvisible --name '^Kvd_gen$')"
check "the wizard said nothing about access" test -z "$(grep -i 'denied' "$tmp/wizard.log")"
check "the defaults file is untouched" test ! -s "$root/usr/$wiz/kvd.cfg"
import -window root "$screenshot" && echo "screenshot: $screenshot"

# The folder list (at 0,136 under the menu bar): the wizard folder is its last row. Four rows up is
# the test's folder; opened, its last sub-folder is the user's home, whose only sub-folder is the
# project.
geometry=$(xdotool getwindowgeometry "$window")
height=$(sed -n 's/.*Geometry: [0-9]*x\([0-9]*\).*/\1/p' <<<"$geometry")
menu=$((height - 325))
xdotool windowfocus --sync "$window"
xdotool mousemove --window "$window" 76 $((menu + 144)) click 1
xdotool key --delay 80 End Up Up Up Up Return
xdotool key --delay 80 End Return
sleep 0.5
xdotool key --delay 80 End Return
for _ in $(seq 100); do
    [ "$(readlink "/proc/$wizard_pid/cwd")" = "$project" ] && break
    sleep 0.1
done
check "the project folder was opened from the keyboard" test "$(readlink "/proc/$wizard_pid/cwd")" = "$project"

# "Preview Actual" at 320,176, 145 by 25.
xdotool mousemove --window "$window" 392 $((menu + 188)) click 1
for _ in $(seq 100); do
    [ -f "$project/autorun.inf" ] && break
    sleep 0.1
done
check "the preview copied the viewer" cmp -s "$project/kvd.exe" "$root/usr/$wiz/kvd.exe"
check "the copy can be run" test -x "$project/kvd.exe"
check "the copy is the Windows viewer" test "$(head -c 2 "$project/kvd.exe")" = MZ
if [ $has_cd = 1 ]; then
    "$root/usr/$wiz/kvd_cd" check "$project" >"$tmp/check.txt" 2>&1
    check "the previewed folder passes the check's test of the viewer" \
        bash -c "! grep -q viewer-not-windows '$tmp/check.txt' && grep -q . '$tmp/check.txt'"
fi
check "the preview wrote kvd.cfg" test -s "$project/kvd.cfg"
check "the preview wrote autorun.inf" grep -q '^open=KVD\.exe "-" "index\.htm"' "$project/autorun.inf"
check "the user owns what the preview wrote" \
    test "$(stat -c %u "$project/kvd.exe" "$project/kvd.cfg" "$project/autorun.inf" | sort -u)" = $uid
check "the wizard folder is unchanged" test "$(ls -la --time-style=+%s "$root/usr/$wiz")" = "$wizard_folder_before"
# In place of the Windows kvd.exe, kvd_view from the wizard folder runs in the project folder with
# the same tokens, told the kvd.exe it stands in for.
for _ in $(seq 100); do
    for proc in /proc/[0-9]*; do
        [ "$(readlink "$proc/exe" 2>/dev/null)" = "$root/usr/$wiz/kvd_view" ] && viewer_pids+=("${proc#/proc/}")
    done
    [ ${#viewer_pids[@]} -gt 0 ] && break
    sleep 0.1
done
check "the preview started kvd_view" test ${#viewer_pids[@]} = 1
if [ ${#viewer_pids[@]} -gt 0 ]; then
    viewer_proc=/proc/${viewer_pids[0]}
    check "kvd_view runs in the project folder" test "$(readlink "$viewer_proc/cwd")" = "$project"
    check "kvd_view has the preview's tokens" \
        test "$(tr '\0' '\n' <"$viewer_proc/cmdline" | sed -n '2,3p' | tr '\n' ' ')" = "- index.htm "
    check "kvd_view stands in for the project's kvd.exe" \
        grep -Fqx "KVD_VIEW_STANDS_IN_FOR=$project/kvd.exe" <<<"$(tr '\0' '\n' <"$viewer_proc/environ")"
fi
for _ in $(seq 300); do
    [ -n "$(xdotool search --onlyvisible --name '^KVD - second\.htm$' 2>/dev/null)" ] && break
    sleep 0.1
done
check "kvd_view shows the project's pages" test -n "$(xdotool search --onlyvisible --name '^KVD - second\.htm$')"
sleep 1
import -window root "${screenshot%.png}-preview.png" && echo "screenshot: ${screenshot%.png}-preview.png"

# The viewer has shown itself; it is ended here so that the wizard's menu shows unhidden.
for pid in "${viewer_pids[@]}"; do kill "$pid" 2>/dev/null; done
for _ in $(seq 50); do
    alive=0
    for pid in "${viewer_pids[@]}"; do kill -0 "$pid" 2>/dev/null && alive=1; done
    [ $alive = 0 ] && break
    sleep 0.1
done

# Alt+F, then x: File, Exit.
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
xdotool key alt+f
for _ in $(seq 50); do
    [ "$(xdotool search --onlyvisible --pid $wizard_pid 2>/dev/null | wc -l)" = 2 ] && break
    sleep 0.1
done
check "Alt+F opened the File menu" test "$(xdotool search --onlyvisible --pid $wizard_pid 2>/dev/null | wc -l)" = 2
import -window root "${screenshot%.png}-menu.png" && echo "screenshot: ${screenshot%.png}-menu.png"
xdotool key x
for _ in $(seq 100); do
    kill -0 $wizard_pid 2>/dev/null || break
    sleep 0.1
done
if kill -0 $wizard_pid 2>/dev/null; then
    fail "Alt+F, x did not end the wizard"
else
    wait $wizard_pid
    check "the wizard ended cleanly" test $? = 0
    wizard_pid=
fi

echo "wizard output:"
cat "$tmp/wizard.log"
[ $failures = 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "all checks passed"
