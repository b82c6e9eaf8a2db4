# Shared steps of scripts/test.sh and scripts/demo.sh: install what is missing, build both trees,
# prepare a private Wine prefix with its own display.  Sourced, not run.

ZUK_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ZUK_JOBS="${ZUK_JOBS:-2}"

zuk_log() { printf '\n==> %s\n' "$*"; }

# Debian packages the builds and tests need; installed only when one is missing.
ZUK_PACKAGES=(cmake g++ make googletest libgtest-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64
              wine wine32:i386 wine64 xvfb x11-apps clang-format
              imagemagick fonts-ipafont-gothic llvm-14 clang python3-cryptography-vectors libssl-dev
              python3 python3-pip python3-setuptools python3-wheel nsis msitools wixl mono-mcs mono-runtime
              osslsigncode openssl gnuplot-nox locales)

# Locales the Wine tests start programs under.  Wine takes its system locale from LC_ALL at every
# start and quietly falls back to English for one that glibc does not have, so each must be
# generated: a fresh Debian machine has only C, C.UTF-8 and POSIX.
ZUK_LOCALES=(ja_JP.UTF-8 es_MX.UTF-8)

zuk_install_packages() {
    local missing=()
    for pkg in "${ZUK_PACKAGES[@]}"; do
        dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        zuk_log "Installing Debian packages: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        if ! dpkg --print-foreign-architectures | grep -qx i386; then
            $sudo dpkg --add-architecture i386
        fi
        $sudo apt-get update -q
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
    fi
    zuk_generate_locales
}

# Whether glibc has locale $1 ("ja_JP.UTF-8"; `locale -a` spells it "ja_JP.utf8").
zuk_has_locale() {
    local want have
    want="$(printf '%s' "$1" | tr 'A-Z' 'a-z' | tr -d -)"
    have="$(locale -a 2>/dev/null | tr 'A-Z' 'a-z' | tr -d -)"
    grep -qxF "$want" <<<"$have"
}

# Generates the locales of ZUK_LOCALES that are missing.  Each is also enabled in /etc/locale.gen,
# so that a later locale-gen (a package upgrade runs one) keeps it.
zuk_generate_locales() {
    local missing=() loc
    for loc in "${ZUK_LOCALES[@]}"; do
        zuk_has_locale "$loc" || missing+=("$loc")
    done
    if [ "${#missing[@]}" -eq 0 ]; then return 0; fi
    zuk_log "Generating locales: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    for loc in "${missing[@]}"; do
        local line="$loc ${loc#*.}"
        if grep -qE "^# *${line//./\\.}\$" /etc/locale.gen; then
            $sudo sed -i -E "s/^# *(${line//./\\.})\$/\\1/" /etc/locale.gen
        elif ! grep -qxF "$line" /etc/locale.gen; then
            printf '%s\n' "$line" | $sudo tee -a /etc/locale.gen >/dev/null
        fi
    done
    $sudo locale-gen >/dev/null
    for loc in "${missing[@]}"; do
        if ! zuk_has_locale "$loc"; then
            echo "error: locale $loc could not be generated" >&2
            return 1
        fi
    done
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

# The 32-bit library and its programs (build/win32), then the 64-bit ones (build/win64), whose
# installers carry both libraries.  Each tree knows the other: its tests load the other bitness's
# library, which must fail cleanly.
zuk_build_windows() {  # win32|win64
    local tree="$1" toolchain=mingw-i686 bits=32 other=win64
    if [ "$tree" = win64 ]; then toolchain=mingw-x86_64 bits=64 other=win32; fi
    local dir="$ZUK_ROOT/build/$tree"
    zuk_log "Building the ${bits}-bit ZUKcntrl.dll and the Windows programs in build/$tree"
    cmake -S "$ZUK_ROOT" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$ZUK_ROOT/cmake/$toolchain.cmake" \
          -DCMAKE_BUILD_TYPE=Release -DZUK_NATIVE_BUILD_DIR="$ZUK_ROOT/build/native" \
          -DZUK_${other^^}_BUILD_DIR="$ZUK_ROOT/build/$other" >/dev/null
    cmake --build "$dir" -j "$ZUK_JOBS"
}
zuk_build_win32() { zuk_build_windows win32; }
zuk_build_win64() { zuk_build_windows win64; }

# Whether this machine executes 32-bit x86 programs.  Some virtual machines have no 32-bit user
# mode ("Exec format error" for every i386 program, Wine's 32-bit loader and server included):
# there Wine runs 64-bit Windows programs only, and the 32-bit library is built but cannot run.
zuk_runs_32bit() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }

# Where the machine cannot run Wine's 32-bit loader, "wine" (and "wine-stable", which Debian's
# wineboot calls) must start the 64-bit loader directly: Debian's wrapper picks the 32-bit one
# whenever it is installed.
zuk_wine_loader() {
    if zuk_runs_32bit; then return 0; fi
    local shim="$ZUK_ROOT/build/wine-loader"
    mkdir -p "$shim"
    local name
    for name in wine wine-stable; do
        printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$shim/$name"
        chmod +x "$shim/$name"
    done
    case ":$PATH:" in *":$shim:"*) ;; *) export PATH="$shim:$PATH" ;; esac
    export WINELOADER=/usr/lib/wine/wine64
}

# Starts a private Xvfb display (unless ZUK_USE_DISPLAY=1 keeps the caller's) and a private 64-bit
# Wine prefix with a warm, persistent wineserver.  The prefix runs 64-bit programs and, where the
# machine executes 32-bit code, 32-bit ones under WOW64 with the 32-bit registry view, as 64-bit
# Windows does.  zuk_wine_stop undoes both.
zuk_wine_start() {
    export WINEPREFIX="${WINEPREFIX_OVERRIDE:-$ZUK_ROOT/build/wine64}"
    export WINEARCH=win64
    zuk_wine_loader
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
