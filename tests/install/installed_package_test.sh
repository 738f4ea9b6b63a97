#!/usr/bin/env bash
# The Debian package, installed into a throwaway root with dpkg-deb -x.
#
#   installed_package_test.sh build|contents|window WORK BUILD SOURCE VERSION APP_ID PROGRAMS MANUALS
#
# PROGRAMS and MANUALS: the programs and manual pages the build installs, comma-separated.
#
# build     packs the build tree with CPack into WORK and unpacks the package into WORK/root;
# contents  checks the package's fields and file list, the icons, and runs the installed
#           simulator's --help from a folder outside the source and build trees;
# window    runs the installed tool on a virtual X server until its main window is shown. The
#           tool runs in a network namespace of its own: start-up binds UDP port 50001, which
#           another test may hold. It sends nothing unless Search is pressed.
#
# Exits 77 (skipped) with the reason when a program it needs is missing.
set -euo pipefail

MODE=$1 VERSION=$5 APP_ID=$6 PROGRAMS=$7 MANUALS=$8
WORK=$(realpath -m "$2") BUILD=$(realpath -m "$3") SOURCE=$(realpath -m "$4")
PACKAGE=quorin-config-tool
CAPTION="DAVRO2xM ConfigTool Rev 1.7"
ROOT="$WORK/root"
WINDOW_WAIT_S=20  # start-up on a loaded machine
POLL_S=0.2

skip() {
    echo "SKIPPED: $*"
    exit 77
}
fail() {
    echo "FAILED: $*" >&2
    exit 1
}
need() {
    for program in "$@"; do
        command -v "$program" >/dev/null || skip "$program is not installed"
    done
}

build_package() {
    need cpack dpkg-deb
    rm -rf "$WORK"
    mkdir -p "$WORK"
    cpack --config "$BUILD/CPackConfig.cmake" -B "$WORK/package" >"$WORK/cpack.log" 2>&1 ||
        { cat "$WORK/cpack.log"; fail "cpack"; }
    dpkg-deb -x "$WORK/package/${PACKAGE}_${VERSION}_"*.deb "$ROOT"
    echo "unpacked $(ls "$WORK/package/"*.deb) into $ROOT"
}

deb() {
    find "$WORK/package" -maxdepth 1 -name "${PACKAGE}_${VERSION}_*.deb" 2>/dev/null | head -n 1
}

# Width and height of a PNG file, from its header: "W H".
png_size() {
    od -An -tu1 -j16 -N8 "$1" |
        awk '{ printf "%d %d\n", $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }'
}

check_contents() {
    need dpkg-deb
    local package
    package=$(deb)
    [ -n "$package" ] || fail "no package in $WORK/package"

    [ "$(dpkg-deb -f "$package" Package)" = "$PACKAGE" ] || fail "package name"
    [ "$(dpkg-deb -f "$package" Version)" = "$VERSION" ] || fail "version is not $VERSION"
    local depends
    depends=$(dpkg-deb -f "$package" Depends)
    for wanted in fonts-nanum qt6-qpa-plugins libqt6widgets6 libqt6network6 libc6; do
        [[ ", $depends," == *", $wanted"[\ ,]* ]] || fail "Depends lacks $wanted: $depends"
    done

    # Exactly these files: the programs with their manual pages and the desktop files, nothing
    # from tests or tools.
    local name
    for name in QuorinConfigTool quorin-board-sim quorinctl; do
        [[ ",$PROGRAMS," == *",$name,"* ]] || fail "the build does not install $name: $PROGRAMS"
    done
    local files=() size
    for name in ${PROGRAMS//,/ }; do files+=("usr/bin/$name"); done
    for name in ${MANUALS//,/ }; do files+=("usr/share/man/man1/$name"); done
    for size in 16 22 24 32 48 64 128 256; do
        files+=("usr/share/icons/hicolor/${size}x${size}/apps/$APP_ID.png")
    done
    files+=("usr/share/applications/$APP_ID.desktop" "usr/share/metainfo/$APP_ID.metainfo.xml"
        "usr/share/doc/$PACKAGE/copyright" "usr/share/doc/$PACKAGE/changelog.gz"
        "usr/share/bash-completion/completions/quorinctl")
    local expected actual
    expected=$(printf '%s\n' "${files[@]}" | sort)
    actual=$(cd "$ROOT" && find . -type f | sed 's|^\./||' | sort)
    [ "$actual" = "$expected" ] || { diff <(echo "$expected") <(echo "$actual") || true; fail "file list"; }

    for size in 16 22 24 32 48 64 128 256; do
        [ "$(png_size "$ROOT/usr/share/icons/hicolor/${size}x${size}/apps/$APP_ID.png")" = "$size $size" ] ||
            fail "icon of ${size}x${size} has another size"
    done
    grep -qx "Icon=$APP_ID" "$ROOT/usr/share/applications/$APP_ID.desktop" || fail "desktop icon"
    grep -q "<release version=\"$VERSION\"" "$ROOT/usr/share/metainfo/$APP_ID.metainfo.xml" ||
        fail "metainfo release"

    # The programs carry no path into the source or build tree (resources are compiled in).
    for program in "$ROOT"/usr/bin/*; do
        ! grep -qF -e "$SOURCE" -e "$BUILD" "$program" || fail "$program names $SOURCE or $BUILD"
    done

    local help
    help=$(cd "$WORK" && env -i PATH=/usr/bin:/bin HOME="$WORK" timeout 10 \
        "$ROOT/usr/bin/quorin-board-sim" --help) || fail "quorin-board-sim --help"
    [[ "$help" == *"Usage: "*"--boards"* ]] || fail "quorin-board-sim --help printed: $help"
    local version
    version=$(cd "$WORK" && env -i PATH=/usr/bin:/bin HOME="$WORK" timeout 10 \
        "$ROOT/usr/bin/quorinctl" --version) || fail "quorinctl --version"
    [ "$version" = "quorinctl $VERSION" ] || fail "quorinctl --version printed: $version"
    # The completion bash-completion loads on demand for quorinctl completes its commands.
    local completed
    completed=$(bash --norc --noprofile -c 'source "$1" && COMP_WORDS=(quorinctl se) &&
        COMP_CWORD=1 && _quorinctl && echo "${COMPREPLY[*]}"' _ \
        "$ROOT/usr/share/bash-completion/completions/quorinctl") || fail "completion does not load"
    [ "$completed" = "search set" ] || fail "completion of 'quorinctl se' gave: $completed"
    echo "package $(basename "$package"): fields, files, icons the simulator's --help, quorinctl --version and its completion as expected"
}

# Runs the tool in a network namespace of its own, when one can be made here.
namespace_prefix() {
    if [ "$(id -u)" -eq 0 ] && unshare --net true 2>/dev/null; then
        echo "unshare --net"
    elif unshare --map-root-user --net true 2>/dev/null; then
        echo "unshare --map-root-user --net"
    fi
}

PIDS=()
stop_started() {
    local pid
    for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
}

check_window() {
    need Xvfb xwininfo xprop unshare timeout
    [ -x "$ROOT/usr/bin/QuorinConfigTool" ] || fail "the package is not unpacked in $ROOT"
    local ns
    ns=$(namespace_prefix)
    [ -n "$ns" ] || skip "no private network namespace can be made here (needs root or user namespaces)"
    trap stop_started EXIT

    # A virtual X server on the first free display; it writes the display's number once ready.
    local display_file="$WORK/display"
    rm -f "$display_file"
    timeout 60 Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 \
        3>"$display_file" 2>"$WORK/xvfb.log" &
    PIDS+=("$!")
    local waited=0
    until [ -s "$display_file" ]; do
        sleep "$POLL_S"
        waited=$((waited + 1))
        [ $waited -lt 50 ] || { cat "$WORK/xvfb.log"; fail "Xvfb did not start"; }
    done
    local display
    display=":$(head -n 1 "$display_file")"

    # The installed tool, with nothing of the build's environment, from a folder of its own.
    # shellcheck disable=SC2086 # $ns is a command prefix
    (cd "$WORK" && exec env -i PATH=/usr/bin:/bin HOME="$WORK" DISPLAY="$display" \
        QT_QPA_PLATFORM=xcb timeout 60 $ns "$ROOT/usr/bin/QuorinConfigTool") \
        >"$WORK/tool.log" 2>&1 &
    local tool=$!
    PIDS+=("$tool")

    local deadline=$((SECONDS + WINDOW_WAIT_S))
    until xwininfo -display "$display" -name "$CAPTION" 2>/dev/null | grep -q "Map State: IsViewable"; do
        kill -0 "$tool" 2>/dev/null || { cat "$WORK/tool.log"; fail "the tool ended before its window was shown"; }
        [ $SECONDS -lt $deadline ] || { cat "$WORK/tool.log"; fail "no window \"$CAPTION\" within ${WINDOW_WAIT_S} s"; }
        sleep "$POLL_S"
    done

    # The window's class matches the desktop entry's StartupWMClass, and it carries its icon.
    local properties
    properties=$(xprop -display "$display" -name "$CAPTION" WM_CLASS _NET_WM_ICON | head -c 2000)
    [[ "$properties" == *'WM_CLASS(STRING) = "QuorinConfigTool", "QuorinConfigTool"'* ]] ||
        fail "window class: $properties"
    [[ "$properties" == *"_NET_WM_ICON(CARDINAL) = "* ]] || fail "the window has no icon"
    grep -qx "StartupWMClass=QuorinConfigTool" "$ROOT/usr/share/applications/$APP_ID.desktop" ||
        fail "desktop entry's StartupWMClass"
    echo "the installed tool showed \"$CAPTION\" on $display (network namespace: $ns)"
}

case "$MODE" in
    build) build_package ;;
    contents) check_contents ;;
    window) check_window ;;
    *) fail "unknown mode $MODE" ;;
esac
