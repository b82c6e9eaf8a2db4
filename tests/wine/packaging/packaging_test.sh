#!/bin/sh
# packaging_test.sh debug OBJCOPY BIN
#   ZUKcntrl.dll and zukcli.exe carry no debug sections and no symbols, name NAME.debug in their
#   .gnu_debuglink section, NAME.debug holds the debug sections, and the version resource carries
#   the copyright.
# packaging_test.sh contents OBJDUMP BIN
#   ZUKcntrl.dll is a DLL of the tree's machine (MACHINE: i386 or x86-64) exporting exactly the
#   fifteen functions under their plain names; it, zukcli.exe and zukcard.exe import system DLLs only;
#   the MSI packages' msi/zukmsi.dll (of the same machine) exports its five custom actions under
#   their plain names and imports system DLLs only.
# packaging_test.sh sign SIGN_SCRIPT BIN WORKDIR
#   A self-signed certificate made on the fly signs copies of ZUKcntrl.dll, zukcli.exe and the
#   installers (setup programs and MSI packages) through the build's signing script; osslsigncode verify accepts each against that
#   certificate, finds no time stamp, and finds no signature on the unsigned build outputs.
set -u
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

case "$1" in
debug)
    objdump="$(echo "$2" | sed 's/objcopy$/objdump/')"
    bin="$3"
    for f in ZUKcntrl.dll zukcli.exe; do
        sections="$("$objdump" -h "$bin/$f")" || { fail "$f cannot be read"; continue; }
        if echo "$sections" | grep -q '\.debug_'; then fail "$f still has debug sections"; else ok "$f has no debug sections"; fi
        if "$objdump" -t "$bin/$f" | grep -q '^\[ *[0-9]'; then fail "$f still has symbols"; else ok "$f has no symbols"; fi
        if "$objdump" -s -j .gnu_debuglink "$bin/$f" 2>/dev/null | grep -q "$(echo "$f.debug" | cut -c1-12)"; then
            ok "$f links to $f.debug"
        else
            fail "$f has no debug link to $f.debug"
        fi
        if strings -el "$bin/$f" | grep -q '^Copyright (c) 2026 KORVA. MIT License.$'; then
            ok "$f names its copyright and licence in its version resource"
        else
            fail "$f has no LegalCopyright"
        fi
        if [ -f "$bin/$f.debug" ] && "$objdump" -h "$bin/$f.debug" | grep -q '\.debug_info'; then
            ok "$f.debug holds the debug information"
        else
            fail "$f.debug is missing or holds no .debug_info"
        fi
    done
    ;;
sign)
    sign="$2"
    bin="$3"
    work="$(mktemp -d "$4/sign.XXXXXX")"
    trap 'rm -rf "$work"' EXIT
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=ZUKcntrl test signing" \
        -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1 || { echo "FAIL: openssl"; exit 1; }
    files=""
    setups="$(cd "$bin" && ls ZUKcntrl-*-setup.exe 2>/dev/null)"
    [ -n "$setups" ] || fail "no installer was built"
    msis="$(cd "$bin" && ls ZUKcntrl-*.msi 2>/dev/null)"
    [ -n "$msis" ] || fail "no MSI package was built"
    setups="$setups $msis"
    for f in ZUKcntrl.dll zukcli.exe $setups; do
        [ -f "$bin/$f" ] || { fail "$f was not built"; continue; }
        if osslsigncode verify -in "$bin/$f" >/dev/null 2>&1; then
            fail "the unsigned build's $f carries a signature"
        fi
        cp "$bin/$f" "$work/$f"
        files="$files $work/$f"
    done
    # shellcheck disable=SC2086
    sh "$sign" "$work/cert.pem" "$work/key.pem" $files || fail "the signing script failed"
    for f in $files; do
        name="$(basename "$f")"
        out="$(osslsigncode verify -CAfile "$work/cert.pem" -in "$f" 2>&1)"
        if [ $? -eq 0 ] && echo "$out" | grep -q '^Signature verification: ok'; then
            ok "$name is signed and verifies"
        else
            echo "$out"
            fail "$name does not verify"
        fi
        if echo "$out" | grep -q 'Timestamp is not available'; then ok "$name has no time stamp"; else fail "$name has a time stamp"; fi
    done
    ;;
contents)
    objdump="$2"
    bin="$3"
    machine="$4"
    if "$objdump" -f "$bin/ZUKcntrl.dll" | grep -q "file format pei-$machine\$"; then
        ok "ZUKcntrl.dll is a pei-$machine DLL"
    else
        fail "ZUKcntrl.dll is not a pei-$machine DLL"
    fi
    exports="$("$objdump" -p "$bin/ZUKcntrl.dll" | sed -n 's/^\s*\[ *[0-9]*\] \(ZUK[A-Za-z@0-9]*\)$/\1/p' | sort | tr '\n' ' ')"
    expected="ZUKCancel ZUKClose ZUKGetAdminOption ZUKGetLibMode ZUKGetLibVersion ZUKGetMaxLength ZUKGetPinTries ZUKGetUserAccount ZUKGetUserAccountWithPin ZUKGetUserName ZUKGetUserOption ZUKOpen ZUKSenseCard ZUKVerifyPIN ZUKWaitForCard "
    if [ "$exports" = "$expected" ]; then
        ok "ZUKcntrl.dll exports the fifteen functions under their plain names"
    else
        fail "ZUKcntrl.dll exports '$exports'"
    fi
    if "$objdump" -f "$bin/msi/zukmsi.dll" | grep -q "file format pei-$machine\$"; then
        ok "msi/zukmsi.dll is a pei-$machine DLL"
    else
        fail "msi/zukmsi.dll is not a pei-$machine DLL"
    fi
    exports="$("$objdump" -p "$bin/msi/zukmsi.dll" | sed -n 's/^\s*\[ *[0-9]*\] \(Zuk[A-Za-z@0-9]*\)$/\1/p' | sort | tr '\n' ' ')"
    if [ "$exports" = "ZukApply ZukCheck ZukPrepare ZukRemove ZukSiteKeys ZukUndo " ]; then
        ok "msi/zukmsi.dll exports the six custom actions under their plain names"
    else
        fail "msi/zukmsi.dll exports '$exports'"
    fi
    for f in ZUKcntrl.dll zukcli.exe zukcard.exe msi/zukmsi.dll; do
        # VERSION.DLL: the file version API (zukcli's status reads both libraries' versions).
        system='KERNEL32.DLL|USER32.DLL|GDI32.DLL|ADVAPI32.DLL|MSVCRT.DLL|WS2_32.DLL|VERSION.DLL'
        [ "$f" = msi/zukmsi.dll ] && system="$system|MSI.DLL"  # Windows Installer's own API
        others="$("$objdump" -p "$bin/$f" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' |
                  grep -v -x -E "$system")"
        if [ -z "$others" ]; then ok "$f imports system DLLs only"; else fail "$f imports $others"; fi
    done
    ;;
*)
    echo "usage: packaging_test.sh debug OBJCOPY BIN | contents OBJDUMP BIN MACHINE | sign SIGN_SCRIPT BIN WORKDIR"
    exit 2
    ;;
esac
if [ "$failures" -ne 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "all checks passed"
