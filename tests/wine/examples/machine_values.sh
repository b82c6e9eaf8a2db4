# The library's machine values for the example tests, in the registry view of the library's
# bitness (ZUK_REG_VIEW).  Sourced by the run_*.sh scripts.
zuk_key='HKLM\SOFTWARE\KORVA\ZUKLib'
zuk_view="/reg:${ZUK_REG_VIEW:-32}"

# zuk_forget_machine_values: none left.
zuk_forget_machine_values() { wine reg delete "$zuk_key" /f "$zuk_view" >/dev/null 2>&1; }

# zuk_set_value NAME DWORD: one value.
zuk_set_value() { wine reg add "$zuk_key" /v "$1" /t REG_DWORD /d "$2" /f "$zuk_view" >/dev/null 2>&1; }

# zuk_machine_values INSTALL_PATH MODE DEVICE CONFIG: exactly these values; exits the script when
# they cannot be written.
zuk_machine_values() {
    zuk_forget_machine_values
    wine reg add "$zuk_key" /v InstallPath /t REG_SZ /d "$1" /f "$zuk_view" >/dev/null 2>&1 &&
        zuk_set_value Mode "$2" && zuk_set_value Device "$3" && zuk_set_value Config "$4" ||
        { echo "cannot write $zuk_key"; exit 1; }
}
