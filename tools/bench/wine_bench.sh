# The Wine half of scripts/bench.sh (sourced by it; uses CALLS, LOADS, OUT, BIN, BENCH_VIEW (the
# registry view of the DLL's bitness, 32 or 64), ZUK_ROOT): the DLL with
# zukbench against zuk-reader-sim --pace on COM9, and zukattach's LoadLibrary times of the DLL,
# of an empty DLL and of a DLL that makes only the load's system calls, in fresh processes: first
# on a machine without site keys, then with site keys stored (zukcli keys install; removed again
# at the end).  Writes calls.jsonl and attach.jsonl.
SIM="$ZUK_ROOT/build/bench-native/sim/zuk-reader-sim"
DLL="${ZUK_BENCH_DLL:-$BIN/ZUKcntrl.dll}"  # ZUK_BENCH_DLL: another build of the DLL
mkdir -p "$OUT/cards" "$OUT/install"
base="$ZUK_ROOT/sim/cards/alice.card"
cp "$base" "$OUT/cards/pin.card"
sed 's/^pin = .*/pin =/' "$base" >"$OUT/cards/nopin.card"
for n in 8 64 192 193 256; do
    password="$(head -c "$n" /dev/zero | tr '\0' 'p')"
    sed -e 's/^pin = .*/pin =/' -e "s/^password = .*/password = $password/" "$base" >"$OUT/cards/pw$n.card"
done

CLI="$BIN/zukcli.exe"
# The prefix is the Wine tests' too: the site keys this bench stores never outlive it.
trap 'kill "${simpid:-}" 2>/dev/null || true; wine "$CLI" keys remove </dev/null >/dev/null 2>&1; zuk_wine_stop' EXIT
zuk_wine_start
wine "$CLI" keys remove </dev/null >/dev/null 2>&1 || true
cp "$ZUK_ROOT"/dist/ZukLang* "$OUT/install/"
printf '[Card]\r\nVerifyRetry=3\r\n[Device]\r\nPortName=COM9\r\n[Log]\r\nMode=1\r\n[FeliCa]\r\nSystemCode=88B4\r\n' \
    >"$OUT/install/ZUKcntrl.ini"
install_win="$(winepath -w "$OUT/install" | tr -d '\r')"
cat >"$OUT/machine.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\KORVA\\ZUKLib]
"InstallPath"="${install_win//\\/\\\\}\\\\"
"Mode"=dword:00000100
"Device"=dword:00000001
"Config"=dword:00000003
REG
wine reg delete 'HKLM\SOFTWARE\KORVA\ZUKLib' /f "/reg:$BENCH_VIEW" >/dev/null 2>&1 || true
wine reg import "$(winepath -w "$OUT/machine.reg")" "/reg:$BENCH_VIEW" >/dev/null 2>&1

zuk_log "Wine: $CALLS calls per export against zuk-reader-sim --pace on COM9"
"$SIM" --pace --unprovisioned --card "$OUT/cards/pin.card" --link "$WINEPREFIX/dosdevices/com9" \
    --control-port 0 --log "$OUT/sim.log" >"$OUT/sim.out" 2>&1 &
simpid=$!
control=""
for _ in $(seq 100); do
    control="$(sed -n 's/^CONTROL //p' "$OUT/sim.out")"
    if [ -n "$control" ] && grep -q '^PTY ' "$OUT/sim.out"; then break; fi
    sleep 0.05
done
[ -n "$control" ] || { echo "bench.sh: the simulator did not start" >&2; exit 1; }
ZUK_SIM_CONTROL_PORT="$control" ZUKBENCH_PORT=COM9 ZUKBENCH_DLL="$(winepath -w "$DLL" | tr -d '\r')" \
    ZUKBENCH_CARDS="$OUT/cards" ZUKBENCH_INI="$install_win\\ZUKcntrl.ini" \
    wine "$BIN/zukbench.exe" "$CALLS" </dev/null | tr -d '\r' >"$OUT/calls.jsonl"
kill "$simpid" 2>/dev/null || true
wait "$simpid" 2>/dev/null || true
simpid=""

# ZUK_BENCH_BEFORE_DLL: an earlier build of the DLL loaded in turn with this one and the empty
# DLL, so that its attach time is measured side by side in the same run.
# A load that fails (zukattach's message, if any, in attach-errors.log) is left out and counted,
# rather than ending the run.
attach_loads() {  # keys (true|false) DLL...: LOADS rounds of one load of each DLL in each host
    local keys="$1" host dll us name
    shift
    for _ in $(seq "$LOADS"); do
        for host in gui bare; do
            for dll in "$@"; do
                if ! us="$(wine "$BIN/zukattach.exe" "$host" "$dll" </dev/null 2>>"$OUT/attach-errors.log" |
                           tr -d '\r')" || [ -z "$us" ]; then
                    echo "zukattach $host $(basename "$dll") failed (keys: $keys): left out" |
                        tee -a "$OUT/attach-errors.log" >&2
                    continue
                fi
                name="$(basename "$dll")"
                if [ "$dll" = "${ZUK_BENCH_BEFORE_DLL:-}" ]; then name=before; fi
                printf '{"host": "%s", "dll": "%s", "keys": %s, "us": %s}\n' "$host" "$name" "$keys" "$us" \
                    >>"$OUT/attach.jsonl"
            done
        done
    done
}
zuk_log "Wine: $LOADS loads of each DLL in fresh processes"
: >"$OUT/attach.jsonl"
# Every DLL is loaded from a folder of its own under OUT: where a DLL lies changes its load time
# under Wine by up to a millisecond (the build's bin folder, with its hundreds of files, against a
# small one), which is more than the differences measured here.
attach_copy() {  # NAME DLL: prints the copy's path
    mkdir -p "$OUT/attach/$1"
    cp "$2" "$OUT/attach/$1/"
    echo "$OUT/attach/$1/$(basename "$2")"
}
DLL="$(attach_copy library "$DLL")"
EMPTY="$(attach_copy empty "$BIN/zukempty.dll")"
FLOOR="$(attach_copy floor "$BIN/zukattachfloor.dll")"
dlls=("$DLL" "$EMPTY" "$FLOOR")
if [ -n "${ZUK_BENCH_BEFORE_DLL:-}" ]; then
    ZUK_BENCH_BEFORE_DLL="$(attach_copy before "$ZUK_BENCH_BEFORE_DLL")"
    dlls+=("$ZUK_BENCH_BEFORE_DLL")
fi
attach_loads false "${dlls[@]}"

# The same with site keys stored: the library's load then opens them (MachineGuid, crypt32,
# CryptUnprotectData), and so does the floor DLL, which decides from what is stored as the
# library does.  Measured only when the library's own zukcli says they are in use.
zuk_log "Wine: $LOADS loads of each DLL in fresh processes, site keys stored"
keyfile="$(winepath -w "$OUT" | tr -d '\r')\\site-keys.txt"
rm -f "$OUT/site-keys.txt"
wine "$CLI" keys generate "$keyfile" </dev/null >"$OUT/site-keys.log" 2>&1 || true
wine "$CLI" keys install "$keyfile" </dev/null >>"$OUT/site-keys.log" 2>&1 || true
wine "$CLI" keys status </dev/null 2>&1 | tr -d '\r' >"$OUT/site-keys-status.txt" || true
cat "$OUT/site-keys-status.txt" >>"$OUT/site-keys.log"
# Keys that cannot be stored (or a zukcli whose wording this check no longer finds) end the bench
# with an error rather than leave the rows out unnoticed.
if grep -q "^  $BENCH_VIEW-bit view: the site keys (" "$OUT/site-keys-status.txt"; then
    attach_loads true "$DLL" "$EMPTY" "$FLOOR"
else
    echo "bench.sh: the site keys could not be stored, or zukcli keys status no longer says so" \
        "as this script expects: no attach rows with site keys (see $OUT/site-keys.log)" >&2
    exit 1
fi
wine "$CLI" keys remove </dev/null >>"$OUT/site-keys.log" 2>&1 || true
rm -f "$OUT/site-keys.txt"
