#!/usr/bin/env python3
"""The deployment build exactly as docs/security.md gives it: its command lines, taken from the
document, run in a fresh copy of the source tree with keys of their own (non-default channel keys
and password mask).  Then: every product file is there, the 64-bit DLL carries the new keys and not
the built-in ones, and it identifies the sample card's user against zuk-reader-sim holding the same
keys, where the default build's library cannot even open that reader.

Run by scripts/test.sh inside its prepared 64-bit Wine prefix (WINEPREFIX, DISPLAY set):
  deployment_build_test.py SOURCE_DIR WORK_DIR READER_SIM DEFAULT_WIN64_BIN
"""
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile

SOURCE, WORK, SIM, DEFAULT_BIN = sys.argv[1:5]
PREFIX = os.environ["WINEPREFIX"]
KEY = r"HKLM\SOFTWARE\KORVA\ZUKLib"

# The site's own values: channel keys and mask that differ from the built-in ones; the reader and
# issuer tables as built in, since the simulated card holds those.
INITIAL = "A1B2C3D4E5F60718 293A4B5C6D7E8F90 0F0E0D0C0B0A0908"
OPERATIONAL = "5566778899AABBCC DDEEFF0011223344 0123456789ABCDEF"
MASK = "11" * 64


def cmake_default(name):
    text = open(os.path.join(SOURCE, "cmake", "BuildConstants.cmake")).read()
    return re.search(r"set\(%s\s+\"([^\"]+)\"" % name, text).group(1)


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def documented_lines():
    text = open(os.path.join(SOURCE, "docs", "security.md")).read()
    block = re.search(r"<!-- deployment-build.*?-->\s*```sh\n(.*?)```", text, re.S)
    if not block:
        fail("docs/security.md has no deployment-build block")
    return [line.strip() for line in block.group(1).splitlines() if line.strip()]


def with_values(line):
    values = {"ZUK_INITIAL_KEYS": INITIAL, "ZUK_OPERATIONAL_KEYS": OPERATIONAL,
              "ZUK_READER_KEYS": cmake_default("ZUK_READER_KEYS"),
              "ZUK_ISSUER_KEYS": cmake_default("ZUK_ISSUER_KEYS"), "ZUK_PASSWORD_MASK": MASK}
    for name, value in values.items():
        line = re.sub(r"-D%s=<[^>]*>" % name, "-D%s=%s" % (name, value.replace(" ", "")), line)
    if "<" in line:
        fail("a placeholder the test does not know: " + line)
    return line


def fresh_copy():
    copy = os.path.join(WORK, "source")
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(copy)
    files = subprocess.check_output(["git", "-C", SOURCE, "ls-files", "-co", "--exclude-standard", "-z"])
    for name in files.decode().split("\0"):
        if name and os.path.isfile(os.path.join(SOURCE, name)):
            os.makedirs(os.path.dirname(os.path.join(copy, name)) or copy, exist_ok=True)
            shutil.copy2(os.path.join(SOURCE, name), os.path.join(copy, name))
    return copy


def pieces(hexkeys):
    data = bytes.fromhex(hexkeys.replace(" ", ""))
    return [data[i:i + 4] for i in range(0, len(data), 4)]


def wine(args, timeout=120):
    return subprocess.run(["wine"] + args, capture_output=True, timeout=timeout)


def winpath(path):
    return subprocess.check_output(["winepath", "-w", path], text=True).strip()


def main():
    copy = fresh_copy()
    script = "set -e\n" + "\n".join(with_values(line) for line in documented_lines()) + "\n"
    print("Running the documented deployment build in " + copy)
    result = subprocess.run(["bash", "-c", script], cwd=copy, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            timeout=1800)
    if result.returncode != 0:
        print(result.stdout.decode(errors="replace")[-6000:])
        fail("the documented deployment build failed")
    bin32 = os.path.join(copy, "build", "site-win32", "bin")
    bin64 = os.path.join(copy, "build", "site-win64", "bin")
    version = re.search(r"project\(ZUKcntrl VERSION ([0-9.]+)", open(os.path.join(SOURCE, "CMakeLists.txt")).read()).group(1)
    for folder, names in ((bin32, ["ZUKcntrl.dll", "libZUKcntrl.dll.a", "ZUKcntrl.lib", "zukcli.exe", "zukcard.exe",
                                   "ZUKcntrl-%s-x86-setup.exe" % version]),
                          (bin64, ["ZUKcntrl.dll", "libZUKcntrl.dll.a", "ZUKcntrl.lib", "zukcli.exe", "zukcard.exe",
                                   "ZUKcntrl-%s-setup.exe" % version, "ZUKcntrl-%s-x64-setup.exe" % version])):
        for name in names:
            if not os.path.isfile(os.path.join(folder, name)):
                fail("the deployment build made no " + os.path.join(folder, name))
    for folder in (bin32, bin64):
        dll = open(os.path.join(folder, "ZUKcntrl.dll"), "rb").read()
        if not all(p in dll for p in pieces(OPERATIONAL) + pieces(INITIAL)):
            fail(folder + "/ZUKcntrl.dll does not carry the site's channel keys")
        if any(p in dll for p in pieces(cmake_default("ZUK_OPERATIONAL_KEYS"))[:2]):
            fail(folder + "/ZUKcntrl.dll still carries the built-in operational keys")

    # The site's 64-bit library against a reader holding the site's keys.
    install = tempfile.mkdtemp(prefix="deploy-", dir=WORK)
    for name in os.listdir(os.path.join(SOURCE, "dist")):
        if name.startswith("ZukLang"):
            shutil.copy(os.path.join(SOURCE, "dist", name), install)
    with open(os.path.join(install, "ZUKcntrl.ini"), "w", newline="") as f:
        f.write("[Device]\r\nPortName=\\\\.\\COM41\r\n[FeliCa]\r\nSystemCode=88B4\r\n[Log]\r\nMode=3\r\n")
    wine(["reg", "delete", KEY, "/f", "/reg:64"])
    for name, kind, value in (("InstallPath", "REG_SZ", winpath(install).rstrip("\\") + "\\"),
                              ("Mode", "REG_DWORD", "256"), ("Device", "REG_DWORD", "1"), ("Config", "REG_DWORD", "3")):
        r = wine(["reg", "add", KEY, "/v", name, "/t", kind, "/d", value, "/f", "/reg:64"])
        if r.returncode != 0:
            fail("reg add %s: %r" % (name, r.stderr))
    work = tempfile.mkdtemp(dir=WORK)
    sim = subprocess.Popen([SIM, "--link", os.path.join(PREFIX, "dosdevices", "com41"), "--control-port", "0",
                            "--initial-keys", INITIAL.replace(" ", ""), "--operational-keys", OPERATIONAL.replace(" ", ""),
                            "--card", os.path.join(SOURCE, "sim", "cards", "alice.card"),
                            "--log", os.path.join(work, "sim.log")], stdout=subprocess.PIPE, text=True)
    try:
        for _ in range(2):
            sim.stdout.readline()
        site = wine([os.path.join(bin64, "zukcli.exe"), "--cancel-prompts", "--dll",
                     winpath(os.path.join(bin64, "ZUKcntrl.dll")), "open", "sense", "account", "--pin", "1234",
                     "--show-password", "close"])
        out = site.stdout.decode("latin-1")
        if site.returncode != 0 or "alice" not in out or "s3cret-pass" not in out:
            print(out, site.stderr.decode("latin-1")[-2000:])
            print(open(os.path.join(work, "sim.log")).read()[-3000:])
            fail("the site's library did not identify the user")
        default = wine([os.path.join(DEFAULT_BIN, "zukcli.exe"), "--cancel-prompts", "--dll",
                        winpath(os.path.join(DEFAULT_BIN, "ZUKcntrl.dll")), "open", "close"])
        if default.returncode == 0:
            fail("the built-in keys opened a reader that holds the site's keys")
    finally:
        sim.terminate()
        sim.wait(10)
        wine(["reg", "delete", KEY, "/f", "/reg:64"])
    print("deployment build: built as documented, carries the site's keys, identifies the user")


main()
