#!/bin/sh
# msi_tables_test.sh PACKAGE.msi x86|x64 VERSION WORKDIR
# The tables of an MSI package as built (no Wine: it checks the x86 package where 32-bit code
# cannot run too): its platform, each component in its library's registry view and folder, the
# searches that read each view's values back, the upgrade rows build_msi.sh completes, the secure
# options, the ZukCard feature above the install level, the custom actions in their places, and
# the files of each folder and the custom actions' DLL of the right machine.
set -u
package="$(realpath "$1")" arch="$2" version="$3"
work="$(mktemp -d "$4/tables.XXXXXX")"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { printf "FAIL: %s\n" "$*"; failures=$((failures + 1)); }
check() {  # description command...
    what="$1"; shift
    if "$@"; then printf "ok: %s\n" "$what"; else fail "$what"; fi
}
table() {  # name: the rows of a table, tab-separated, without its three header lines
    msiinfo export "$package" "$1" | tr -d '\r' | tail -n +4
}
row() {  # table columns-regex: a row of the table matches
    table "$1" | grep -qE "$2"
}
no_row() { ! row "$@"; }
tab="$(printf '\t')"

if [ "$arch" = x64 ]; then
    check "a 64-bit package (x64 template)" sh -c "msiinfo suminfo '$package' | grep -q '^Template: x64;1033'"
    bits_list="32 64"
else
    check "a 32-bit package (Intel template)" sh -c "msiinfo suminfo '$package' | grep -q '^Template: Intel;1033'"
    check "no 64-bit folder" no_row Directory "^ProgramFiles64Folder$tab"
    check "no 64-bit component" no_row Component "^[A-Za-z]+64$tab"
    bits_list="32"
fi
check "ProductVersion is $version" row Property "^ProductVersion${tab}$version\$"
check "the fixed UpgradeCode" row Property "^UpgradeCode${tab}\\{6E0F3C1A-5B2D-4C71-9A4E-2F8D0B7C3E51\\}\$"

for bits in $bits_list; do
    if [ "$bits" = 64 ]; then win64=256 programs=ProgramFiles64Folder folder=INSTALLDIR64 search=18
    else win64=0 programs=ProgramFilesFolder folder=INSTALLDIR search=2; fi
    for component in Library Catalogue Settings Header ImportLibraries IssuingTool; do
        check "$component$bits is a component of the $bits-bit view" \
            sh -c "msiinfo export '$package' Component | tr -d '\r' |
                   awk -F '\t' '\$1 == \"$component$bits\" { found = 1; ok = (int(\$4 / 256) % 2 == $win64 / 256) }
                                END { exit !(found && ok) }'"
    done
    check "Values$bits writes the $bits-bit view, its InstallPath the key path" \
        row Component "^Values$bits$tab[^$tab]*$tab$folder$tab$((win64 + 4))$tab"
    check "$folder is Program Files\\KORVA\\ZUKcntrl of the $bits-bit programs" \
        sh -c "msiinfo export '$package' Directory | tr -d '\r' | grep -qx '$folder${tab}KorvaFolder$bits${tab}ZUKcntrl' &&
               msiinfo export '$package' Directory | tr -d '\r' | grep -qx 'KorvaFolder$bits$tab$programs${tab}KORVA'"
    for value in Mode Device Config; do
        upper="$(echo "$value" | tr a-z A-Z)"
        check "$value of the $bits-bit view is written from ZUK$upper$bits, as a number" \
            row Registry "${tab}2${tab}SOFTWARE\\\\KORVA\\\\ZUKLib\\\\${tab}$value${tab}#\\[ZUK$upper$bits\\]${tab}Values$bits\$"
    done
    check "InstallPath of the $bits-bit view names $folder" \
        row Registry "${tab}InstallPath${tab}\\[$folder\\]${tab}Values$bits\$"
    for value in Dir Mode Device Config FeliCa; do
        check "the $bits-bit view's $value is read back before the upgrade" \
            row RegLocator "^Old$value$bits${tab}2${tab}SOFTWARE\\\\KORVA\\\\ZUKLib$tab[A-Za-z]+$tab$search\$"
    done
done

check "a package of this version or older is removed, its features migrated (769)" \
    row Upgrade "^\\{6E0F3C1A-5B2D-4C71-9A4E-2F8D0B7C3E51\\}${tab}0\\.0\\.0${tab}$version$tab${tab}769$tab${tab}ZUKOLDERFOUND\$"
check "a newer package is detected only" \
    row Upgrade "^\\{6E0F3C1A-5B2D-4C71-9A4E-2F8D0B7C3E51\\}$tab$version$tab$tab${tab}2$tab${tab}ZUKNEWERFOUND\$"
secure="$(table Property | sed -n "s/^SecureCustomProperties$tab//p")"
for name in ZUKOLDERFOUND ZUKNEWERFOUND MODE DEVICE CONFIG FELICA PORT SYSTEMCODE SITEKEYS REMOVESITEKEYS \
            INSTALLDIR ZUKCARD; do
    check "$name is a secure property" sh -c "echo ';$secure;' | grep -q ';$name;'"
done
check "ZukCard is above the default install level, ZUKcntrl at it" \
    sh -c "msiinfo export '$package' Feature | tr -d '\r' | grep -qE '^ZukCard$tab.*${tab}100${tab}[^$tab]*${tab}0\$' &&
           msiinfo export '$package' Feature | tr -d '\r' | grep -qE '^ZUKcntrl$tab.*${tab}1${tab}[^$tab]*${tab}0\$' &&
           ! msiinfo export '$package' Property | tr -d '\r' | grep -q '^INSTALLLEVEL$tab'"

# Custom actions: type 1 (a DLL from the Binary table) + 2048 (no impersonation, which wixl sets on
# immediate ones too, where it means nothing); the deferred ones + 1024 (in the script), ZukRemove
# + 64 (its result ignored: a removal does not stop at a log file it cannot delete), ZukUndo + 256 (a
# rollback action).
for entry in ZukCheck:2049 ZukPrepare:2049 ZukApply:3073 ZukSiteKeys:3073 ZukRemove:3137 ZukUndo:3329; do
    name="${entry%:*}" type="${entry#*:}"
    check "$name is a custom action of type $type" row CustomAction "^$name$tab$type${tab}ZukActions$tab$name"
done
# Each action runs after the one before it in the sequence.
sequence() { table InstallExecuteSequence | awk -F '\t' -v a="$1" '$1 == a { print $3 }'; }
previous=""
for action in FindRelatedProducts AppSearch ZukCheck ZukCardLevel CostFinalize ZukPrepare InstallValidate \
              RemoveExistingProducts InstallInitialize RemoveFiles ZukRemove ZukUndo InstallFiles WriteRegistryValues \
              ZukApply ZukSiteKeys InstallFinalize; do
    number="$(sequence "$action")"
    if [ -z "$number" ]; then
        fail "$action is not in the InstallExecuteSequence"
    elif [ -n "$previous" ]; then
        check "$action ($number) comes after $previous ($previous_number)" [ "$number" -gt "$previous_number" ]
    fi
    previous="$action" previous_number="${number:-0}"
done
check "ZukSiteKeys runs only when SITEKEYS is given, never on removal" \
    sh -c "msiinfo export '$package' InstallExecuteSequence | tr -d '\r' |
           grep -qx 'ZukSiteKeys${tab}SITEKEYS AND NOT (REMOVE ~= \"ALL\")${tab}[0-9]*'"
check "ZukCheck checks the options before the user interface goes on too" \
    sh -c "msiinfo export '$package' InstallUISequence | tr -d '\r' | grep -qx 'ZukCheck$tab${tab}60'"

# The payload: each folder's library of its machine, and the custom actions of the package's.
mkdir -p "$work/files"
(cd "$work/files" && msiextract "$package" >/dev/null) || fail "msiextract"
msiinfo extract "$package" Binary.ZukActions >"$work/zukmsi.dll"
machine=i386
[ "$arch" = x64 ] && machine=x86-64
check "zukmsi.dll in the package is a pei-$machine DLL" \
    sh -c "objdump -f '$work/zukmsi.dll' | grep -q 'file format pei-$machine\$'"
# msiextract puts the 32-bit programs' folder under "Program Files", the 64-bit one's elsewhere.
dir32="$work/files/Program Files/KORVA/ZUKcntrl"
dir64="$(find "$work/files" -type d -path '*KORVA/ZUKcntrl' ! -path '*/Program Files/*' | head -1)"
for bits in $bits_list; do
    if [ "$bits" = 64 ]; then dir="$dir64" machine=x86-64; else dir="$dir32" machine=i386; fi
    for f in ZUKcntrl.dll zukcli.exe zukcard.exe; do
        check "the $bits-bit folder's $f is pei-$machine" \
            sh -c "objdump -f '$dir/$f' 2>/dev/null | grep -q 'file format pei-$machine\$'"
    done
    for f in LICENSE ZUKcntrl.ini ZukLang.csv ZukLang_0409.txt ZukLang_0411.txt include/ZUKcntrl.h \
             lib/libZUKcntrl.dll.a lib/ZUKcntrl.lib; do
        check "the $bits-bit folder holds $f" [ -f "$dir/$f" ]
    done
done
# The Group Policy templates: one copy, in the 32-bit library's folder, in components of the 32-bit view.
for f in ZUKcntrl.admx en-US/ZUKcntrl.adml ja-JP/ZUKcntrl.adml; do
    check "the 32-bit folder holds PolicyDefinitions/$f" [ -f "$dir32/PolicyDefinitions/$f" ]
done
if [ "$arch" = x64 ]; then
    check "the 64-bit folder holds no PolicyDefinitions" [ ! -e "$dir64/PolicyDefinitions" ]
fi
for component in PolicyTemplates PolicyTextsEnUs PolicyTextsJaJp; do
    check "$component is a component of the 32-bit view, in the ZUKcntrl feature" \
        sh -c "msiinfo export '$package' Component | tr -d '\r' |
               awk -F '\t' '\$1 == \"$component\" { found = 1; ok = (int(\$4 / 256) % 2 == 0) } END { exit !(found && ok) }' &&
               msiinfo export '$package' FeatureComponents | tr -d '\r' | grep -qx 'ZUKcntrl$tab$component'"
done
if [ "$arch" = x86 ]; then
    check "the package holds one library folder" [ -z "$dir64" ]
fi

if [ "$failures" -ne 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "all checks passed"
