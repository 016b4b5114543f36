#!/usr/bin/env bash
# Builds the Debian package, checks what it holds, unpacks it into a scratch
# root and runs the installed program there as a normal user: the settings
# must go to that user's configuration folder, not beside the binary, and
# survive a restart. Also checks the desktop files with their validators and
# the maintainer script's handling of setcap.
# Usage: install_test.sh BUILD_FOLDER [CPACK]
set -euo pipefail
build=$1
cpack=${2:-cpack}
id=io.github.scaledb.ScaleDb

scratch=$(mktemp -d /tmp/scaledb-install.XXXXXX)
pid=""
cleanup() {
    [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null
    chmod -R u+w "$scratch" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    [ -f "$scratch/app.log" ] && sed 's/^/  app: /' "$scratch/app.log" >&2
    exit 1
}
step() { echo "-- $*"; }
chmod 755 "$scratch"
# The program may run as another user, who cannot read a suppressions file
# inside a clone that only its owner may enter: it gets a readable copy.
if [[ "${TSAN_OPTIONS:-}" =~ suppressions=([^:]*) ]]; then
    install -m 644 "${BASH_REMATCH[1]}" "$scratch/tsan.supp"
    export TSAN_OPTIONS=${TSAN_OPTIONS/suppressions=${BASH_REMATCH[1]}/suppressions=$scratch/tsan.supp}
fi

step "package"
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/pkg" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; fail "cpack could not build the package"; }
debs=("$scratch"/pkg/scaledb_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one scaledb_*.deb, got: ${debs[*]}"
deb=${debs[0]}

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = scaledb ] || fail "package name is '$(field Package)'"
# Found by the shared-library scan, not written by hand.
field Depends | grep -q 'libqt6widgets6' || fail "Depends lacks Qt Widgets: $(field Depends)"
field Depends | grep -q 'libc6' || fail "Depends lacks libc6: $(field Depends)"
field Recommends | grep -q 'libcap2-bin' || fail "Recommends lacks libcap2-bin: $(field Recommends)"

# Exactly the program, its desktop files, manual page and completion: no
# simulator, test or library.
expected="./usr/bin/scaledb
./usr/share/applications/$id.desktop
./usr/share/bash-completion/completions/scaledb
./usr/share/icons/hicolor/48x48/apps/$id.png
./usr/share/icons/hicolor/scalable/apps/$id.svg
./usr/share/man/man1/scaledb.1
./usr/share/man/pl/man1/scaledb.1
./usr/share/metainfo/$id.metainfo.xml"
actual=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sort)
[ "$actual" = "$expected" ] || fail "package files differ:"$'\n'"$actual"

step "maintainer script"
dpkg-deb -e "$deb" "$scratch/control"
postinst=$scratch/control/postinst
[ -x "$postinst" ] || fail "postinst missing or not executable"
mkdir "$scratch/stub"
# A setcap that records its arguments and succeeds, then one that fails, then none at all.
printf '#!/bin/sh\necho "$@" > "%s/setcap.args"\n' "$scratch" >"$scratch/stub/setcap"
chmod 755 "$scratch/stub/setcap"
out=$(PATH="$scratch/stub:/usr/bin:/bin" "$postinst" configure) || fail "postinst failed with a working setcap"
[ "$(cat "$scratch/setcap.args")" = "cap_net_bind_service=+ep /usr/bin/scaledb" ] ||
    fail "setcap called with: $(cat "$scratch/setcap.args")"
grep -q "granted cap_net_bind_service" <<<"$out" || fail "postinst did not say it granted the capability: $out"
printf '#!/bin/sh\nexit 1\n' >"$scratch/stub/setcap"
out=$(PATH="$scratch/stub:/usr/bin:/bin" "$postinst" configure) || fail "a failing setcap failed the install"
grep -q "could not grant" <<<"$out" || fail "postinst did not report the failed setcap: $out"
mkdir "$scratch/empty"
# sh itself must still be found, so link it alone into an otherwise empty PATH.
ln -s "$(command -v sh)" "$scratch/empty/sh"
out=$(PATH="$scratch/empty" "$postinst" configure) || fail "a missing setcap failed the install"
grep -q "could not grant" <<<"$out" || fail "postinst did not report the missing setcap: $out"

step "desktop files"
root=$scratch/root
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"
png=$root/usr/share/icons/hicolor/48x48/apps/$id.png
[ "$(od -An -tx1 -N8 "$png" | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "48x48 icon is not a PNG"
[ "$(od -An -tu4 --endian=big -j16 -N8 "$png" | xargs)" = "48 48" ] || fail "icon is not 48x48"

# As root every folder is writable, so the program runs as nobody; a normal
# user runs as itself, with the unpacked tree made read-only.
home=$scratch/home
mkdir -p "$home/run" "$home/bin"
chmod 700 "$home/run"
if [ "$(id -u)" -eq 0 ]; then
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    chown -R nobody:nogroup "$home"
else
    as_user=()
    chmod -R a-w "$root"
fi

# Starts the program, waits until it handles SIGTERM (before that the signal
# would simply kill it), ends it with SIGTERM and expects a clean exit.
run_and_close() {  # executable, XDG_CONFIG_HOME
    "${as_user[@]}" env HOME="$home" XDG_CONFIG_HOME="$2" XDG_RUNTIME_DIR="$home/run" \
        QT_QPA_PLATFORM=offscreen "$1" >>"$scratch/app.log" 2>&1 &
    pid=$!
    local i mask
    for i in $(seq 600); do
        kill -0 "$pid" 2>/dev/null || { wait "$pid" || true; pid=""; fail "$1 ended at start"; }
        mask=$(awk '/^SigCgt:/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
        (( (16#${mask:-0} >> 14) & 1 )) && break
        sleep 0.1
    done
    (( (16#${mask:-0} >> 14) & 1 )) || fail "$1 never installed its SIGTERM handler"
    kill -TERM "$pid"
    for i in $(seq 300); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    local rc=0
    kill -0 "$pid" 2>/dev/null && fail "$1 did not close after SIGTERM"
    wait "$pid" || rc=$?
    pid=""
    [ $rc -eq 0 ] || fail "$1 exited with $rc after SIGTERM"
}

step "installed program, first run"
config=$home/.config
settings=$config/scaledb
run_and_close "$root/usr/bin/scaledb" "$config"
[ -f "$settings/config.xml" ] || fail "no config.xml in $settings"
[ -f "$settings/ComPortTest.ini" ] || fail "no ComPortTest.ini in $settings"
grep -q '<TarvikConfig' "$settings/config.xml" || fail "config.xml has no TarvikConfig root"
[ "$(ls -A "$root/usr/bin")" = scaledb ] || fail "files written beside the binary: $(ls -A "$root/usr/bin")"

step "installed program, settings kept across a restart"
grep -qi '^Port *=' "$settings/ComPortTest.ini" || fail "ComPortTest.ini has no Port key"
sed -i 's/^\(Port *= *\).*/\1COM3/I' "$settings/ComPortTest.ini"
grep -q '<Host' "$settings/config.xml" || fail "config.xml has no Host key"
sed -i 's#<Host>[^<]*</Host>\|<Host/>#<Host>10.1.2.3</Host>#' "$settings/config.xml"
run_and_close "$root/usr/bin/scaledb" "$config"
grep -qi '^Port *= *COM3 *$' "$settings/ComPortTest.ini" ||
    fail "Port did not survive: $(grep -i '^Port' "$settings/ComPortTest.ini")"
grep -q '<Host>10.1.2.3</Host>' "$settings/config.xml" ||
    fail "Host did not survive: $(grep -o '<Host[^/]*/Host>\|<Host/>' "$settings/config.xml")"
[ "$(ls -A "$root/usr/bin")" = scaledb ] || fail "files written beside the binary on the second run"

step "a copy in a folder the user may write to keeps its settings beside itself"
cp "$root/usr/bin/scaledb" "$home/bin/scaledb"
[ ${#as_user[@]} -eq 0 ] || chown nobody:nogroup "$home/bin/scaledb"
run_and_close "$home/bin/scaledb" "$home/other-config"
[ -f "$home/bin/config.xml" ] && [ -f "$home/bin/ComPortTest.ini" ] || fail "no settings beside the writable copy"
[ ! -e "$home/other-config/scaledb" ] || fail "the writable copy used the configuration folder"

echo "install test passed"
