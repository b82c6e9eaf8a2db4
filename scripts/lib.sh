# Shared steps of scripts/test.sh and scripts/demo.sh: install what is missing, build both trees,
# prepare a private Wine prefix with its own display.  Sourced, not run.

ZUK_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ZUK_JOBS="${ZUK_JOBS:-2}"

zuk_log() { printf '\n==> %s\n' "$*"; }

# Debian packages the builds and tests need; installed only when one is missing.
ZUK_PACKAGES=(cmake g++ make googletest libgtest-dev g++-mingw-w64-i686 wine wine32:i386 xvfb x11-apps
              imagemagick fonts-ipafont-gothic llvm-14 clang python3-cryptography-vectors libssl-dev
              python3 nsis mono-mcs gnuplot-nox)

zuk_install_packages() {
    local missing=()
    for pkg in "${ZUK_PACKAGES[@]}"; do
        dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
    done
    if [ "${#missing[@]}" -eq 0 ]; then return 0; fi
    zuk_log "Installing Debian packages: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

zuk_build_native() {  # [asan]
    local dir="$ZUK_ROOT/build/native" extra=()
    if [ "${1:-}" = asan ]; then
        dir="$ZUK_ROOT/build/native-asan"
        extra=(-DZUK_SANITIZE=ON)
    fi
    zuk_log "Building the native tree in ${dir#"$ZUK_ROOT"/}"
    cmake -S "$ZUK_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Debug "${extra[@]}" >/dev/null
    cmake --build "$dir" -j "$ZUK_JOBS"
}

zuk_build_win32() {
    local dir="$ZUK_ROOT/build/win32"
    zuk_log "Building ZUKcntrl.dll and the Windows programs in build/win32"
    cmake -S "$ZUK_ROOT" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$ZUK_ROOT/cmake/mingw-i686.cmake" \
          -DCMAKE_BUILD_TYPE=Release -DZUK_NATIVE_BUILD_DIR="$ZUK_ROOT/build/native" >/dev/null
    cmake --build "$dir" -j "$ZUK_JOBS"
}

# Starts a private Xvfb display (unless ZUK_USE_DISPLAY=1 keeps the caller's) and a private 32-bit
# Wine prefix with a warm, persistent wineserver.  zuk_wine_stop undoes both.
zuk_wine_start() {
    export WINEPREFIX="${WINEPREFIX_OVERRIDE:-$ZUK_ROOT/build/wine}"
    export WINEARCH=win32
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    if [ "${ZUK_USE_DISPLAY:-0}" != 1 ] || [ -z "${DISPLAY:-}" ]; then
        local n=91
        while [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ]; do n=$((n + 1)); done
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        ZUK_XVFB_PID=$!
        export DISPLAY=":$n"
        for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${n}" ] && break; sleep 0.1; done
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        zuk_log "Creating the Wine prefix ${WINEPREFIX#"$ZUK_ROOT"/}"
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w
    fi
    # No crash dialog (it would hang a test), quick modal closes without a window manager, and
    # Japanese fonts for the Japanese catalogue.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    local font
    for font in "MS UI Gothic" "MS PGothic" "ＭＳ Ｐゴシック"; do
        wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" /t REG_SZ /d IPAPGothic /f >/dev/null 2>&1
    done
    for font in "MS Gothic" "ＭＳ ゴシック"; do
        wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" /t REG_SZ /d IPAGothic /f >/dev/null 2>&1
    done
    wineserver -w
    # The persistent server keeps its output out of the test log (it reports a pseudo-terminal
    # that closes under it at length) and must not hold a caller's pipe open.
    wineserver -p >"$WINEPREFIX/wineserver.log" 2>&1 </dev/null
    wine wineboot </dev/null >/dev/null 2>&1 || true
}

zuk_wine_stop() {
    if [ -n "${WINEPREFIX:-}" ]; then wineserver -k >/dev/null 2>&1 || true; fi
    if [ -n "${ZUK_XVFB_PID:-}" ]; then kill "$ZUK_XVFB_PID" >/dev/null 2>&1 || true; fi
}
