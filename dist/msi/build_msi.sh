#!/bin/sh
# build_msi.sh OUT.msi VERSION x86|x64 SOURCE_TREE ZUKMSI_DLL BIN32 [BIN64]
# One MSI package from dist/msi/ZUKcntrl.wxs: stages the files it names beside a copy of it (wixl
# 0.101 takes no absolute source paths), runs wixl, then completes what wixl leaves out:
#   - the Upgrade row that removes this version and older ones gets VersionMaxInclusive (a package
#     of the same version but another build replaces the installed one) and MigrateFeatures (an
#     upgrade keeps ZukCard installed where it was);
#   - the options are secure properties, so that they reach the elevated installation when the
#     package is started with its user interface;
#   - the feature ZukCredProv gets its condition (level 1 when CREDPROV=1);
#   - ZukUndo is a rollback action (wixl writes Execute="rollback" as an immediate one): type 3329 =
#     a DLL from the Binary table (1) + rollback (256) + in the script (1024) + no impersonation (2048).
# BIN32 and BIN64 hold ZUKcntrl.dll, ZUKCredProv.dll, zukcli.exe, zukcard.exe, libZUKcntrl.dll.a and ZUKcntrl.lib
# of each build; x64 needs both, x86 the 32-bit one only.  ZUKMSI_DLL is the custom actions'
# library of the package's bitness.
set -eu
if [ "$#" -lt 6 ]; then
    echo "usage: build_msi.sh OUT.msi VERSION x86|x64 SOURCE_TREE ZUKMSI_DLL BIN32 [BIN64]" >&2
    exit 2
fi
out="$(realpath -m "$1")" version="$2" arch="$3" src="$4" actions="$5" bin32="$6" bin64="${7:-}"
stage="$out.files"
rm -rf "$stage"
mkdir -p "$stage/bin32"
stage_build() {  # from to
    for f in ZUKcntrl.dll ZUKCredProv.dll zukcli.exe zukcard.exe libZUKcntrl.dll.a ZUKcntrl.lib; do
        cp "$1/$f" "$2/"
    done
}
stage_build "$bin32" "$stage/bin32"
with64=0
if [ "$arch" = x64 ]; then
    if [ -z "$bin64" ]; then echo "build_msi.sh: x64 needs BIN64" >&2; exit 2; fi
    mkdir -p "$stage/bin64"
    stage_build "$bin64" "$stage/bin64"
    with64=1
fi
cp "$src/dist/ZukLang.csv" "$src/dist/ZukLang_0409.txt" "$src/dist/ZukLang_0411.txt" \
   "$src/dist/ZUKcntrl.ini" "$src/include/ZUKcntrl.h" "$src/LICENSE" "$src/dist/msi/ZUKcntrl.wxs" "$stage/"
mkdir -p "$stage/policy/en-US" "$stage/policy/ja-JP"
cp "$src/dist/policy/ZUKcntrl.admx" "$stage/policy/"
cp "$src/dist/policy/en-US/ZUKcntrl.adml" "$stage/policy/en-US/"
cp "$src/dist/policy/ja-JP/ZUKcntrl.adml" "$stage/policy/ja-JP/"
cp "$actions" "$stage/zukmsi.dll"

rm -f "$out"
(cd "$stage" && wixl -a "$arch" -D Version="$version" -D Arch="$arch" -D With64="$with64" \
                     -o "$out" ZUKcntrl.wxs)
upgrade_code='{6E0F3C1A-5B2D-4C71-9A4E-2F8D0B7C3E51}'
# 769 = msidbUpgradeAttributesMigrateFeatures (1) + VersionMinInclusive (256) + VersionMaxInclusive (512)
msibuild "$out" -q "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'ZUKOLDERFOUND'"
msibuild "$out" -q "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMin\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) VALUES ('$upgrade_code', '0.0.0', '$version', 769, 'ZUKOLDERFOUND')"
secure="ZUKOLDERFOUND;ZUKNEWERFOUND;MODE;DEVICE;CONFIG;FELICA;PORT;SYSTEMCODE;SITEKEYS;REMOVESITEKEYS;INSTALLDIR;ZUKCARD;CREDPROV"
[ "$with64" -eq 1 ] && secure="$secure;INSTALLDIR64"
msibuild "$out" -q "UPDATE \`Property\` SET \`Value\` = '$secure' WHERE \`Property\` = 'SecureCustomProperties'"
msibuild "$out" -q "UPDATE \`CustomAction\` SET \`Type\` = 3329 WHERE \`Action\` = 'ZukUndo'"
# The credential provider's feature is installed when CREDPROV=1 (a feature condition, which wixl
# does not write): level 1 then, its own 200 above the default INSTALLLEVEL otherwise.
msibuild "$out" -q "CREATE TABLE \`Condition\` (\`Feature_\` CHAR(38) NOT NULL, \`Level\` SHORT NOT NULL, \`Condition\` CHAR(255) PRIMARY KEY \`Feature_\`, \`Level\`)" 2>/dev/null || true
msibuild "$out" -q "INSERT INTO \`Condition\` (\`Feature_\`, \`Level\`, \`Condition\`) VALUES ('ZukCredProv', 1, 'CREDPROV = \"1\"')"
rm -rf "$stage"
