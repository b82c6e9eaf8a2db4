#!/usr/bin/env python3
"""zukcli under Wine: result names, exit codes, --json, status on healthy and broken settings, and
(with zuk-reader-sim) the reader commands in one process.

Run by CTest inside the prepared Wine prefix (WINEPREFIX set).  Environment:
  ZUKCLI_BIN      folder of zukcli.exe and ZUKcntrl.dll
  ZUK_SOURCE_DIR  the source tree (public header, catalogue, simulated cards)
  ZUK_READER_SIM  zuk-reader-sim (WithReader only)
  ZUK_REG_VIEW    32 or 64: the registry view of the library's bitness
  ZUK_VERSION     the build's version (CMake's project version, "3.1.0")
"""
import hashlib
import json
import os
import re
import struct
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

BIN = os.environ.get("ZUKCLI_BIN", "")
SOURCE = os.environ.get("ZUK_SOURCE_DIR", "")
SIM = os.environ.get("ZUK_READER_SIM", "")
PREFIX = os.environ.get("WINEPREFIX", "")
VERSION = os.environ.get("ZUK_VERSION", "")
# The version as ZUKGetLibVersion reports it: 0x00MMmmpp.
VERSION_NUMBER = (lambda m, n, p: m << 16 | n << 8 | p)(*map(int, VERSION.split("."))) if VERSION else 0
KEY = r"HKLM\SOFTWARE\KORVA\ZUKLib"
VIEW = "/reg:" + os.environ.get("ZUK_REG_VIEW", "32")
GOOD_INI = "[Card]\r\nVerifyRetry=3\r\n[Device]\r\nDeviceName=PR300\r\n[Log]\r\nMode=3\r\n"
# Group Policy's key: one for both registry views, which the library reads in the 64-bit one.
POLICY_KEY = r"HKLM\SOFTWARE\Policies\KORVA\ZUKLib"


# Every command run again because Wine hung or printed nothing (see zukcli and zukcli_json): each is
# printed when it happens and all are listed again at the end of the run, so that a log shows how
# often the machine needed a second try, not only whether the tests passed.
RERUNS = []


def record_rerun(what):
    RERUNS.append(what)
    sys.stderr.write("RERUN %d: %s\n" % (len(RERUNS), what))
    sys.stderr.flush()


def rerun_summary():
    lines = ["zukcli reruns: %d" % len(RERUNS)] + ["  %d. %s" % (i + 1, what) for i, what in enumerate(RERUNS)]
    return "\n".join(lines) + "\n"


def policy(name=None, value=None, kind="REG_DWORD", key=POLICY_KEY):
    """Sets one policy value, or (name None) removes the whole policy key."""
    if name is None:
        wine(["reg", "delete", POLICY_KEY, "/f", "/reg:64"])
        return
    result = wine(["reg", "add", key, "/v", name, "/t", kind, "/d", str(value), "/f", "/reg:64"])
    assert result.returncode == 0, (result.stdout, result.stderr)


def winpath(path):
    return subprocess.check_output(["winepath", "-w", path], text=True).strip()


def wine(args, timeout=60, **kw):
    return subprocess.run(["wine"] + args, capture_output=True, timeout=timeout, **kw)


class Install:
    """A throwaway installation folder with the catalogue, and the machine values that name it."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="zukcli-", dir=BIN)
        for name in os.listdir(os.path.join(SOURCE, "dist")):
            if name.startswith("ZukLang"):
                shutil.copy(os.path.join(SOURCE, "dist", name), self.dir)
        self.windows = winpath(self.dir).rstrip("\\") + "\\"
        self.write_ini(GOOD_INI)

    def remove(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def write_ini(self, text):
        with open(os.path.join(self.dir, "ZUKcntrl.ini"), "w", newline="") as f:
            f.write(text)

    def machine(self, **values):
        """Replaces the machine values: defaults Mode 256, Device 1, Config 0x231, InstallPath
        this folder; a value of None leaves that value out."""
        settings = {"InstallPath": self.windows, "Mode": 256, "Device": 1, "Config": 0x231}
        settings.update(values)
        wine(["reg", "delete", KEY, "/f", VIEW])
        lines = ["Windows Registry Editor Version 5.00", "", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\KORVA\\ZUKLib]"]
        for name, value in settings.items():
            if value is None:
                continue
            if isinstance(value, int):
                lines.append('"%s"=dword:%08x' % (name, value))
            else:
                lines.append('"%s"="%s"' % (name, value.replace("\\", "\\\\")))
        path = os.path.join(self.dir, "machine.reg")
        with open(path, "w", newline="") as f:
            f.write("\r\n".join(lines) + "\r\n")
        # Wine's reg.exe now and then fails an import on a busy machine without saying why: try
        # again before giving up.
        for _ in range(3):
            result = wine(["reg", "import", winpath(path), VIEW])
            if result.returncode == 0:
                break
            sys.stderr.write("reg import failed (%d): %r %r\n" % (result.returncode, result.stdout, result.stderr))
            time.sleep(0.5)
        assert result.returncode == 0, (result.stdout, result.stderr)
        os.remove(path)


# Site key files: the values and their sizes in bytes, in the order of the canonical text.
SITE_KEY_SIZES = [("initial", 24), ("operational", 24), ("reader", 56), ("mask", 64), ("issuer", 88)]
READER_SLOTS = [0, 1, 3, 4, 5, 7, 9]


def site_key_file(values, newline="\n"):
    """A site key file of the values (name -> bytes), with its check value computed here."""
    canonical = "ZUKcntrl site keys 1\n" + "".join(
        "%s = %s\n" % (name, values[name].hex().upper()) for name, _ in SITE_KEY_SIZES if name in values)
    check = hashlib.sha256(canonical.encode()).hexdigest()[:16]
    return (canonical + "check = %s\n" % check).replace("\n", newline)


def read_site_key_file(path):
    """The values of a site key file (name -> bytes), and whether its check value is right."""
    with open(path, encoding="utf-8-sig") as f:
        lines = [line.strip() for line in f.read().splitlines()]
    lines = [line for line in lines if line and not line.startswith("#")]
    assert lines[0] == "ZUKcntrl site keys 1", lines[0]
    values = {}
    for line in lines[1:]:
        name, value = (part.strip() for part in line.split("=", 1))
        assert name not in values, name
        values[name] = bytes.fromhex(value)
    check = values.pop("check")
    return values, site_key_file(values).endswith("check = %s\n" % check.hex())


def key_windows(values):
    """Every run of 4 bytes of the values, as upper-case hexadecimal: none may appear in an output."""
    return {v[i:i + 4].hex().upper() for v in values.values() for i in range(len(v) - 3)}


def zukcli(*args, timeout=60, env=None, encoding="latin-1"):
    """Runs zukcli (answering the library's prompts with Cancel); returns (exit code, stdout)."""
    command = [os.path.join(BIN, "zukcli.exe"), "--cancel-prompts"] + list(args)
    try:
        result = wine(command, timeout=timeout, env=dict(os.environ, **(env or {})))
    except subprocess.TimeoutExpired:
        # Now and then, on a busy machine, Wine starts a program that never runs (as it sometimes
        # prints nothing at all): run it once more before judging; a second hang fails the test.
        record_rerun("zukcli %s did not end within %d s: run again" % (" ".join(args), timeout))
        result = wine(command, timeout=timeout, env=dict(os.environ, **(env or {})))
    if result.stderr:
        sys.stderr.write("zukcli %s: %s\n" % (" ".join(args), result.stderr.decode("latin-1")))
    return result.returncode, result.stdout.decode(encoding).replace("\r\n", "\n")


def zukcli_json(*args, timeout=60, env=None):
    code, out = zukcli("--json", *args, timeout=timeout, env=env, encoding="utf-8")
    # zukcli --json always prints its document; nothing at all means Wine did not start the
    # program (it happens now and then on a busy machine): run it again before judging.
    for _ in range(2):
        if out.strip():
            break
        record_rerun("zukcli --json %s printed nothing (exit code %d): run again" % (" ".join(args), code))
        time.sleep(0.5)
        code, out = zukcli("--json", *args, timeout=timeout, env=env, encoding="utf-8")
    document = json.loads(out)  # fails the test when the output is not JSON
    assert document["exitCode"] == code, (document["exitCode"], code)
    return code, document


class Offline(unittest.TestCase):
    """Commands that need no reader."""

    @classmethod
    def setUpClass(cls):
        cls.install = Install()

    @classmethod
    def tearDownClass(cls):
        cls.install.remove()

    def setUp(self):
        self.install.write_ini(GOOD_INI)
        self.install.machine()

    def test_commands_and_exit_codes(self):
        cases = [
            # (machine values, arguments, exit code, texts in the output)
            ({}, ["version"], 0, ["ZUKGetLibVersion: ZUK_OK (0): success", "release: " + VERSION]),
            ({"Mode": 768}, ["mode"], 0, ["ZUKGetLibMode: ZUK_OK (0)", "mode: 768"]),
            ({"Mode": 512}, ["mode"], 0, ["mode: 0"]),
            ({}, ["limits"], 0, ["maxUserId: 128", "maxPassword: 256"]),
            ({}, ["version", "mode", "limits"], 0, ["ZUKGetLibVersion", "ZUKGetLibMode", "ZUKGetMaxLength"]),
            # Switched off: the retry prompt is answered with Cancel and the code comes back.
            ({"Mode": 0}, ["version"], 1,
             ["prompt answered with Cancel", "ZUKGetLibVersion: ZUK_ERR_DISABLED (4):"]),
            # One failing call among good ones still fails the run.
            ({"Mode": 0}, ["mode", "version"], 1, ["ZUKGetLibMode: ZUK_OK (0)", "ZUK_ERR_DISABLED (4)"]),
            # Without a reader open hands out handle 0, which card commands refuse.
            ({"Device": 0}, ["open", "name", "close"], 1,
             ["ZUKOpen: ZUK_OK (0)", "handle: 0", "ZUKGetUserName: ZUK_ERR_HANDLE (2048)", "ZUKClose: ZUK_OK (0)"]),
            ({}, ["name", "--size", "0", "--handle", "1"], 1, ["ZUKGetUserName: ZUK_ERR_PARAM (65536)"]),
            # Requests the library refuses before any prompt or card.
            ({"Device": 0}, ["account", "--mode", "0x2000"], 1, ["ZUKGetUserAccount: ZUK_ERR_PARAM (65536)"]),
            ({"Device": 0}, ["account", "--account-size", "0"], 1, ["ZUKGetUserAccount: ZUK_ERR_PARAM (65536)"]),
            ({}, ["account", "--handle", "0"], 1, ["ZUKGetUserAccount: ZUK_ERR_HANDLE (2048)"]),
        ]
        for values, args, exit_code, texts in cases:
            with self.subTest(args=args, values=values):
                self.install.machine(**values)
                code, out = zukcli(*args)
                self.assertEqual(code, exit_code, out)
                for text in texts:
                    self.assertIn(text, out)

    def test_command_line_errors_run_nothing(self):
        for args in (["bogus"], ["version", "bogus"], ["name", "--size", "x"], ["name", "--size", "2000000"],
                     ["verify-pin"], ["sense", "--frobnicate"], [], ["keys"], ["keys", "check"],
                     ["keys", "make", "site.keys"], ["keys", "check", "a", "b"]):
            with self.subTest(args=args):
                code, out = zukcli(*args)
                self.assertEqual(code, 2, out)
                self.assertNotIn("ZUKGetLibVersion", out)

    def test_version_option_needs_no_library(self):
        code, out = zukcli("--version", "--dll", r"C:\nowhere\ZUKcntrl.dll")
        self.assertEqual((code, out.splitlines()[0]), (0, "zukcli " + VERSION))

    def test_program_file_carries_the_build_version(self):
        # The version resource of zukcli.exe (what Explorer and installers show) is the build's.
        with open(os.path.join(BIN, "zukcli.exe"), "rb") as f:
            data = f.read()
        at = data.find(struct.pack("<I", 0xFEEF04BD))  # VS_FIXEDFILEINFO's signature
        self.assertGreater(at, 0, "zukcli.exe has no version resource")
        file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<4I", data, at + 8)
        fixed = (file_ms >> 16, file_ms & 0xFFFF, file_ls >> 16, file_ls & 0xFFFF)
        expected = tuple(map(int, VERSION.split("."))) + (0,)
        self.assertEqual(fixed, expected)
        self.assertEqual((product_ms, product_ls), (file_ms, file_ls))
        for name in ("FileVersion", "ProductVersion"):
            # The string table's entry: the name, padding to 4 bytes, then the value (UTF-16).
            key = name.encode("utf-16-le") + b"\0\0"
            start = data.find(key, at)
            self.assertGreater(start, 0, name)
            start += len(key)
            start += (-(start - at)) % 4
            end = data.find(b"\0\0", start)
            end += (end - start) % 2
            self.assertEqual(data[start:end].decode("utf-16-le"), VERSION, name)

    def test_missing_dll_and_missing_export_are_named(self):
        code, out = zukcli("--dll", r"C:\nowhere\ZUKcntrl.dll", "version")
        self.assertEqual(code, 1)
        self.assertIn(r"cannot load C:\nowhere\ZUKcntrl.dll", out)
        code, out = zukcli("--dll", r"C:\windows\system32\version.dll", "version")
        self.assertEqual(code, 1)
        self.assertIn("has no ZUKGetLibVersion", out)
        # The library of the other bitness: named as such, with what this zukcli needs.
        other = os.environ.get("ZUK_OTHER_BITNESS_DLL", "")
        self.assertTrue(os.path.isfile(other), "ZUK_OTHER_BITNESS_DLL must name the other tree's DLL")
        code, out = zukcli("--dll", winpath(other), "version")
        self.assertEqual(code, 1)
        self.assertRegex(out, r"this zukcli is a (32|64)-bit program and needs the \1-bit library")

    def test_every_result_code_of_the_header_has_a_name_and_meaning(self):
        with open(os.path.join(SOURCE, "include", "ZUKcntrl.h")) as f:
            header = dict((name, int(value.strip("()"), 0)) for name, value in
                          re.findall(r"#define\s+(ZUK_OK|ZUK_CANCELLED|ZUK_ERR_\w+)\s+(\S+)", f.read()))
        self.assertGreater(len(header), 20)
        code, document = zukcli_json("codes")
        listed = dict((c["name"], c["code"]) for c in document["results"][0]["codes"])
        self.assertEqual(listed, header)
        self.assertTrue(all(c["meaning"] for c in document["results"][0]["codes"]))

    def test_codes_decodes_result_and_raw_codes(self):
        cases = [
            # (argument, fields expected in the JSON entry)
            ("0x02000013", {"family": "reader link", "result": 1280, "resultName": "ZUK_ERR_PORT_OPEN"}),
            ("0x080400EF", {"family": "card command", "result": 5, "resultName": "ZUK_ERR_NO_CARD"}),
            ("0x02216A82", {"family": "reader link", "result": 1536, "resultName": "ZUK_ERR_LINK_CLOSE"}),
            ("0x080101A6", {"family": "card command", "result": 2560, "resultName": "ZUK_ERR_READER_STATUS"}),
            ("2560", {"kind": "result code", "name": "ZUK_ERR_READER_STATUS"}),
            ("-1", {"kind": "result code", "name": "ZUK_CANCELLED"}),
            ("0x080400ED", {"family": "card command", "result": 2560}),
            # A reader that refused the library's authentication while the link opened.
            ("0x02136300", {"family": "reader link", "result": 1280, "resultName": "ZUK_ERR_PORT_OPEN"}),
        ]
        for argument, expected in cases:
            with self.subTest(argument):
                code, document = zukcli_json("codes", argument)
                self.assertEqual(code, 0)
                entry = document["results"][0]
                self.assertEqual(dict((k, entry[k]) for k in expected), expected)
        code, out = zukcli("codes", "0x080101A6")
        self.assertIn("service does not exist", out)
        # The causes and meanings name what to do: the keys a reader holds, unusable site keys, a
        # reader another process held past OpenWait.
        for argument, texts in (("0x02136300", ("authentication", "zukcard move-reader", "zukcli keys install")),
                                ("0x02116300", ("zukcard move-reader",)),
                                ("0x40000", ("site keys", "zukcli keys status")),
                                ("1792", ("OpenWait",))):
            code, out = zukcli("codes", argument)
            for text in texts:
                self.assertIn(text, out, argument)
        code, out = zukcli("codes", "0x12345678")
        self.assertEqual(code, 1, out)
        self.assertIn("neither a result code", out)
        self.assertEqual(zukcli("codes", "zz")[0], 2)

    def test_trace_is_decoded_and_grouped_into_runs(self):
        path = os.path.join(self.install.dir, "sample.log")
        lines = ["2012/05/14,09:30:05,ZUKOpen,LOW,0x00000500,0x02000013",
                 "2012/05/14,09:30:07,ZUKGetLibVersion,ZUK,0x00000004",
                 "2012/05/14,09:45:00,ZUKSenseCard,NormalEnd",   # a quarter of an hour later: a new run
                 "not a trace line",
                 '2012/05/14,09:45:01,DllLoad,NOTE,ZUK_OPEN_WAIT "abc" is no number: ZUKOpen waits 5000 ms']
        with open(path, "w", newline="") as f:
            f.write("\r\n".join(lines) + "\r\n")
        code, document = zukcli_json("trace", winpath(path))
        self.assertEqual(code, 0)
        entries = document["results"]
        self.assertEqual([(e.get("run"), e.get("export"), e.get("name")) for e in entries],
                         [(1, "ZUKOpen", "ZUK_ERR_PORT_OPEN"), (1, "ZUKGetLibVersion", "ZUK_ERR_DISABLED"),
                          (2, "ZUKSenseCard", "ZUK_OK"), (None, None, None), (2, "DllLoad", None)])
        self.assertEqual(entries[4]["note"], 'ZUK_OPEN_WAIT "abc" is no number: ZUKOpen waits 5000 ms')
        self.assertEqual((entries[0]["raw"], entries[0]["rawFamily"]), ("0x02000013", "reader link"))
        self.assertIn("cannot be opened", entries[0]["rawMeaning"])
        self.assertEqual(entries[3]["problem"], "not a trace line")
        code, out = zukcli("trace", winpath(path))
        self.assertIn("-- run 2, from 2012/05/14 09:45:00", out)
        self.assertIn("09:30:05  ZUKOpen: ZUK_ERR_PORT_OPEN (1280)", out)
        self.assertIn("raw 0x02000013, reader link: the serial port cannot be opened", out)
        # --follow prints lines written after it started.
        follower = subprocess.Popen(["wine", os.path.join(BIN, "zukcli.exe"), "--json", "trace", winpath(path),
                                     "--follow", "--for", "4"], stdout=subprocess.PIPE)
        time.sleep(2)
        with open(path, "a", newline="") as f:
            f.write("2012/05/14,09:45:01,ZUKClose,ZUK,0x00000300\r\n")
        out, _ = follower.communicate(timeout=60)
        objects = [json.loads(line) for line in out.decode("utf-8").splitlines() if line.strip()]
        self.assertEqual(objects[-2].get("name"), "ZUK_ERR_PORT_CLOSE", objects)
        self.assertEqual(objects[-1]["exitCode"], 0)

    def test_trace_lines_are_read_in_their_context(self):
        # An account call whose PIN checks and card search write their own names, and a cancel
        # after the PIN that locked the card: the host got 3, the trace reads -1.
        path = os.path.join(self.install.dir, "account.log")
        lines = ["2012/05/14,10:00:00,ZUKOpen,NormalEnd",
                 "2012/05/14,10:00:01,ZUKSenseCard,NormalEnd",
                 "2012/05/14,10:00:03,ZUKVerifyPIN,LOW,0x00000003,0x10000003",
                 "2012/05/14,10:00:06,ZUKVerifyPIN,LOW,0x00000007,0x10000007",
                 "2012/05/14,10:00:09,ZUKGetUserAccount,ZUK,0xffffffff",
                 "2012/05/14,10:00:20,ZUKGetUserAccount,ZUK,0xffffffff"]
        with open(path, "w", newline="") as f:
            f.write("\r\n".join(lines) + "\r\n")
        code, document = zukcli_json("trace", winpath(path))
        self.assertEqual(code, 0)
        contexts = [e.get("context", "") for e in document["results"]]
        self.assertEqual(contexts[0], "")
        self.assertIn("card search of ZUKGetUserAccount", contexts[1])
        self.assertIn("PIN prompt of ZUKGetUserAccount", contexts[2])
        self.assertIn("most likely received ZUK_ERR_PIN_WRONG (3)", contexts[4])
        self.assertEqual(contexts[5], "")  # a later cancel of its own
        code, out = zukcli("trace", winpath(path))
        self.assertIn("context: the host most likely received ZUK_ERR_PIN_WRONG (3)", out)

    def test_json(self):
        self.install.machine(Device=0)
        code, document = zukcli_json("version", "mode", "limits", "status")
        self.assertEqual(code, 0)
        version, mode, limits, status = document["results"]
        self.assertEqual((version["name"], version["version"], version["release"]), ("ZUK_OK", VERSION_NUMBER, VERSION))
        self.assertEqual(mode["mode"], 256)
        self.assertEqual((limits["maxUserId"], limits["maxPassword"]), (128, 256))
        self.assertTrue(status["healthy"], status)
        # Values are numbers or strings; what they mean stands apart.
        self.assertEqual(status["settings"]["Mode"],
                         {"value": 256, "meaning": "account from a card", "source": "machine"})
        self.assertEqual(status["settings"]["Config"]["value"], 0x231)
        self.assertEqual(status["settings"]["[Log] Mode"]["value"], 3)
        self.install.machine(Mode=0)
        code, document = zukcli_json("version")
        self.assertEqual(code, 1)
        self.assertEqual((document["results"][0]["result"], document["results"][0]["name"]), (4, "ZUK_ERR_DISABLED"))
        self.assertEqual(len(document["results"][0]["prompts"]), 1)

    def test_unattended_mode_shows_no_box_and_traces_as_after_cancel(self):
        log = os.path.join(self.install.dir, "ZUKcntrl.log")
        self.install.machine(Mode=0)
        runs = {}
        for unattended in (False, True):
            self.install.write_ini(GOOD_INI + ("[Prompt]\r\nUnattended=1\r\n" if unattended else ""))
            if os.path.exists(log):
                os.remove(log)
            # zukcli's own canceller watches too: it finds no box to answer in unattended mode.
            code, document = zukcli_json("version", "account")
            self.assertEqual(code, 1)
            results = document["results"]
            self.assertEqual([r["name"] for r in results], ["ZUK_ERR_DISABLED", "ZUK_ERR_DISABLED"])
            self.assertEqual(sum(len(r.get("prompts", [])) for r in results), 0 if unattended else 2, results)
            with open(log) as f:
                runs[unattended] = [line[20:] for line in f.read().splitlines()]
        self.assertEqual(runs[True], runs[False])
        self.assertIn("ZUKGetLibVersion,ZUK,0x00000004", runs[True])
        # Without any canceller the call still returns at once: no box waits for a person.
        result = wine([os.path.join(BIN, "zukcli.exe"), "--unattended", "version"], timeout=30)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"ZUK_ERR_DISABLED (4)", result.stdout)

    def test_an_unusable_open_wait_of_the_process_is_traced_at_load(self):
        log = os.path.join(self.install.dir, "ZUKcntrl.log")
        self.install.machine()
        self.install.write_ini(GOOD_INI.replace("DeviceName=PR300\r\n", "DeviceName=PR300\r\nOpenWait=2500\r\n"))
        for value in ("abc", "1500ms", "4294967297", "1500"):
            with self.subTest(value):
                if os.path.exists(log):
                    os.remove(log)
                code, out = zukcli("version", env={"ZUK_OPEN_WAIT": value})
                self.assertEqual(code, 0, out)
                notes = []
                if os.path.exists(log):
                    with open(log) as f:
                        notes = [line[20:] for line in f.read().splitlines() if ",NOTE," in line]
                if value == "1500":
                    self.assertEqual(notes, [])
                else:
                    self.assertEqual(notes, ['DllLoad,NOTE,ZUK_OPEN_WAIT "%s" is no number of milliseconds (0 to '
                                             '999999999): ZUKOpen waits 2500 ms ([Device] OpenWait)' % value])
                    code, out = zukcli("trace", winpath(log))
                    self.assertIn("DllLoad: note: ZUK_OPEN_WAIT", out)


    def key_file(self, name):
        """A fresh name in the installation folder: (Linux path, Windows path)."""
        path = os.path.join(self.install.dir, name)
        if os.path.exists(path):
            os.remove(path)
        return path, self.install.windows + name

    def test_keys_generate_writes_a_valid_file_of_fresh_random_keys(self):
        generated = []
        for name in ("first.keys", "second.keys"):
            path, windows = self.key_file(name)
            code, out = zukcli("keys", "generate", windows)
            self.assertEqual(code, 0, out)
            self.assertIn("written: a new site key file", out)
            self.assertRegex(out, r"reader slot 9 +[0-9A-F]{6}\n")
            with open(path, "rb") as f:
                raw = f.read()
            self.assertTrue(raw.startswith(b"ZUKcntrl site keys 1\r\n"), raw[:40])
            values, check_ok = read_site_key_file(path)
            self.assertTrue(check_ok, raw)
            self.assertEqual(sorted((n, len(v)) for n, v in values.items()), sorted(SITE_KEY_SIZES))
            # The issuing table carries the reader's keys in the slots the library loads, and
            # fresh keys in its write slots.
            for i, slot in enumerate(READER_SLOTS):
                self.assertEqual(values["issuer"][8 * slot:8 * slot + 8], values["reader"][8 * i:8 * i + 8])
            self.assertFalse(key_windows(values) & set(re.findall(r"[0-9A-F]{8}", out)), out)
            code, checked = zukcli("keys", "check", windows)
            self.assertEqual(code, 0, checked)
            self.assertIn("valid: yes", checked)
            generated.append(values)
        # No value repeats from one run to the next, nor any 8-byte key within a run.
        first, second = generated
        for name, _ in SITE_KEY_SIZES:
            self.assertNotEqual(first[name], second[name], name)
        keys = [v[i:i + 8] for values in generated for n, v in values.items() if n != "issuer"
                for i in range(0, len(v), 8)]
        self.assertEqual(len(keys), len(set(keys)))

    def test_keys_generate_never_overwrites(self):
        path, windows = self.key_file("existing.keys")
        for content in (b"keep me\r\n", site_key_file({n: bytes(range(1, s + 1)) for n, s in SITE_KEY_SIZES[:4]}).encode()):
            with open(path, "wb") as f:
                f.write(content)
            code, out = zukcli("keys", "generate", windows)
            self.assertEqual(code, 1, out)
            self.assertIn("already exists; it is not overwritten", out)
            with open(path, "rb") as f:
                self.assertEqual(f.read(), content)
        code, out = zukcli("keys", "generate", self.install.windows + "no-such-folder\\site.keys")
        self.assertEqual(code, 1, out)
        self.assertIn("cannot create", out)

    def test_keys_check_shows_check_values_and_no_key(self):
        values = {
            "initial": bytes.fromhex("0123456789ABCDEF" "C3A15E0792D44B68" "1F2E3D4C5B6A7988"),
            # KA of the initial set with other parity bits (a key may recur across the sets).
            "operational": bytes.fromhex("0022446688AACCEE") + bytes(range(0x48, 0x58)),
            "reader": bytes(range(0x60, 0x98)),
            "mask": bytes(range(64)),
        }
        issuer = bytearray(range(0xA0, 0xF8))
        for i, slot in enumerate(READER_SLOTS):
            issuer[8 * slot:8 * slot + 8] = values["reader"][8 * i:8 * i + 8]
        for with_issuer, newline in ((False, "\n"), (True, "\r\n")):
            with self.subTest(issuer=with_issuer):
                given = dict(values, **({"issuer": bytes(issuer)} if with_issuer else {}))
                path, windows = self.key_file("site.keys")
                with open(path, "w", newline="") as f:
                    f.write(site_key_file(given, newline))
                code, out = zukcli("keys", "check", windows)
                self.assertEqual(code, 0, out)
                self.assertIn("valid: yes", out)
                # DES of zeros under 0123456789ABCDEF is D5D44FF7...; its parity bits do not count.
                self.assertRegex(out, r"initial KA +D5D44F\n")
                self.assertRegex(out, r"initial KB +8BE8A0\n")
                self.assertRegex(out, r"operational KA +D5D44F\n")
                self.assertRegex(out, r"mask +%s\n" % hashlib.sha256(values["mask"]).hexdigest()[:6].upper())
                self.assertEqual("issuer slot 10" in out, with_issuer, out)
                self.assertFalse(key_windows(given) & set(re.findall(r"[0-9A-F]{8}", out)), out)
                code, document = zukcli_json("keys", "check", windows)
                entry = document["results"][0]
                self.assertEqual((code, entry["valid"], entry["issuer"]), (0, True, with_issuer))
                self.assertEqual(len(entry["checkValues"]), 18 if with_issuer else 14)
                self.assertEqual(entry["checkValues"]["initial KA"], "D5D44F")

    def test_keys_check_refuses_broken_files(self):
        values = {n: bytes((i * 7 + s) % 256 for i in range(s)) for n, s in SITE_KEY_SIZES[:4]}
        good = site_key_file(values)
        digit = good.index("reader = ") + 30
        tampered = good[:digit] + ("1" if good[digit] == "0" else "0") + good[digit + 1:]
        cases = [
            # (file text or None for no file, reason in the output)
            (tampered, "the check value does not match the values"),
            (good.replace("keys 1", "keys 2"), "version 2 of the site key file is not known"),
            (good.replace("mask =", "# mask ="), "no 'mask' value"),
            (good.replace("mask =", "pepper = 00\nmask ="), "unknown name 'pepper'"),
            (good.replace("reader = ", "reader = 00"), "'reader' has 114 hexadecimal digits; it needs 112"),
            ("[Device]\r\nPort=COM3\r\n", "not a site key file"),
            (None, "does not exist"),
            # Right check values, weak keys.
            (good, "'operational' is the initial key set (parity bits aside)"),
            (site_key_file(dict(values, operational=bytes(range(0x40, 0x58)), mask=bytes(64))),
             "line 5: 'mask' is all zero: remembered passwords would be stored in the clear"),
        ]
        for text, reason in cases:
            with self.subTest(reason=reason):
                path, windows = self.key_file("broken.keys")
                if text is not None:
                    with open(path, "w", newline="") as f:
                        f.write(text)
                code, out = zukcli("keys", "check", windows)
                self.assertEqual(code, 1, out)
                self.assertIn(reason, out)
                if text is not None:
                    self.assertIn("valid: no", out)
                self.assertNotIn("initial KA", out)
                self.assertFalse(key_windows(values) & set(re.findall(r"[0-9A-F]{8}", out)), out)


class Status(unittest.TestCase):
    """status on a healthy configuration and on broken ones, each as the library sees it."""

    @classmethod
    def setUpClass(cls):
        cls.install = Install()

    @classmethod
    def tearDownClass(cls):
        cls.install.remove()

    def setUp(self):
        self.install.write_ini(GOOD_INI)

    def test_healthy(self):
        self.install.machine(Device=0)
        code, out = zukcli("status")
        self.assertEqual(code, 0, out)
        self.assertIn("healthy: the library loads", out)
        code, document = zukcli_json("status")
        status = document["results"][0]
        self.assertEqual((code, status["healthy"], status["libraryLoads"], status["findings"]), (0, True, True, []))
        self.assertEqual(status["settings"]["[Log] FileName"]["value"], self.install.windows + "ZUKcntrl.log")

    def test_the_fleet_document_has_every_documented_field(self):
        """The fleet object of status's JSON result has exactly the fields docs/install.md lists
        (its schema table is the one description), and status --compliance ends with the class."""
        text = open(os.path.join(SOURCE, "docs", "install.md"), encoding="utf-8").read()
        table = text.split("<!-- fleet schema -->")[1].split("<!-- end of fleet schema -->")[0]
        documented = re.findall(r"^\| `([A-Za-z0-9_.*]+)` \|", table, re.M)
        self.assertGreater(len(documented), 15)

        def paths(value, prefix=""):
            found = set()
            if isinstance(value, dict):
                for key, inner in value.items():
                    # The libraries' bitnesses and the settings' names are keys of their own.
                    name = "*" if prefix in ("libraries.", "settings.") else key
                    found.add(prefix + name)
                    found |= paths(inner, prefix + name + ".")
            return found

        for machine, ini, compliance in (({"Device": 0}, GOOD_INI, 0), ({"Mode": None}, GOOD_INI, 11)):
            with self.subTest(machine=machine):
                self.install.machine(**machine)
                self.install.write_ini(ini)
                code, document = zukcli_json("status", "--compliance")
                fleet = document["results"][0]["fleet"]
                self.assertEqual((fleet["schema"], fleet["schemaVersion"]), ("zukcli-status", 1))
                self.assertEqual((code, fleet["compliance"]), (compliance, compliance))
                found = paths(fleet)
                if compliance == 0:
                    self.assertEqual(found, set(documented))
                    self.assertEqual(fleet["settings"]["EventLog"], {"value": "1", "source": "default"})
                    self.assertEqual(fleet["settings"]["Device"], {"value": "0", "source": "machine"})
                    # The library of this view is where InstallPath names it (this test's folder
                    # holds no copy: zukcli loads the build's).
                    own = fleet["libraries"][VIEW[-2:]]
                    self.assertEqual((own["path"], own["present"]), (self.install.windows + "ZUKcntrl.dll", False))
                else:
                    self.assertIsNone(fleet["settings"])
                    self.assertFalse(fleet["libraryLoads"])
                self.assertEqual(fleet["revocation"]["state"], "held")
                self.assertIn(fleet["siteKeys"]["state"], ("built-in", "site"))
                code, _ = zukcli("status")
                self.assertEqual(code, 0 if compliance == 0 else 1, "without --compliance: 0 or 1")

    def test_policy_values_win_and_status_names_their_source(self):
        self.install.machine(Device=0, ProtectPasswords=1)
        try:
            policy("Mode", 0)
            policy("Unattended", 1)
            code, out = zukcli("mode", "version")
            self.assertIn("mode: 0", out)
            self.assertIn("ZUKGetLibVersion: ZUK_ERR_DISABLED (4)", out)
            code, document = zukcli_json("status")
            effective = document["results"][0]["effective"]
            self.assertEqual(effective["Mode"], {"value": "0", "source": "policy"})
            self.assertEqual(effective["Unattended"], {"value": "1", "source": "policy"})
            self.assertEqual(effective["Device"], {"value": "0", "source": "machine"})
            self.assertEqual(effective["StrictLink"]["source"], "default")
            self.assertEqual(effective["LogMode"], {"value": "3", "source": "INI"})
            self.assertEqual(effective["ProtectPasswords"], {"value": "1", "source": "machine"})
            self.assertEqual(document["results"][0]["settings"]["ProtectPasswords"]["value"], 1)
            # Every policy value the templates can write: status shows it in force, from policy.
            cases = [("Device", 1, "REG_DWORD", "1"), ("ConfigInputItems", 3, "REG_DWORD", "0x3"),
                     ("ConfigRememberItems", 0x10, "REG_DWORD", "0x10"),
                     ("ConfigRememberStore", 0x100, "REG_DWORD", "0x100"),
                     ("ConfigReuseBlock", 0xF000, "REG_DWORD", "0xf000"),
                     ("ConfigDialogVariant", 0x10000, "REG_DWORD", "0x10000"),
                     ("FeliCa", "IDM", "REG_SZ", "IDM"), ("StrictLink", 1, "REG_DWORD", "1"),
                     ("LogMode", 1, "REG_DWORD", "1"), ("ProtectPasswords", 1, "REG_DWORD", "1"),
                     ("PortName", "COM7", "REG_SZ", "COM7"), ("SystemCode", "88B4,8165", "REG_SZ", "88B4, 8165"),
                     ("PollingInterval", 500, "REG_DWORD", "500"), ("VerifyRetry", 2, "REG_DWORD", "2"),
                     ("OpenWait", 5000, "REG_DWORD", "5000")]
            for name, value, kind, shown in cases:
                policy(name, value, kind=kind)
            code, document = zukcli_json("status")
            effective = document["results"][0]["effective"]
            for name, value, kind, shown in cases:
                self.assertEqual(effective[name], {"value": shown, "source": "policy"}, name)
            # Each value once, the one in force: an INI value a policy overrides is a note.
            self.install.write_ini(GOOD_INI.replace("[Device]\r\n", "[Device]\r\nStrictLink=0\r\n"))
            code, out = zukcli("status")
            self.assertIn("[Device] StrictLink: 1 (policy", out)
            self.assertNotIn("[Device] StrictLink: 0", out)
            self.assertIn("[Device] StrictLink = '0' is not in force: the policy value StrictLink sets 1", out)
            self.assertEqual(out.count("[Device] StrictLink:"), 1, out)
            code, document = zukcli_json("status")
            config = document["results"][0]["settings"]["Config"]
            self.assertEqual(config["value"], 0x1F113, config)
            self.assertIn("policy ConfigRememberItems", config["source"])
            self.install.write_ini(GOOD_INI)
            # A policy value the library cannot use refuses the load, whatever it governs, and
            # status names it exactly (not the current user's key).
            refused = [("Device", 2, "REG_DWORD", "policy value Device is 2 (0x2): not an accepted value"),
                       ("ProtectPasswords", "1", "REG_SZ", 'policy value ProtectPasswords is a REG_SZ'),
                       ("Mode", 256, "REG_QWORD", "policy value Mode is a REG_QWORD of 8 bytes"),
                       ("ConfigInputItems", 0x13, "REG_DWORD", "policy value ConfigInputItems is 19 (0x13)")]
            for name, value, kind, says in refused:
                policy()
                policy(name, value, kind=kind)
                code, document = zukcli_json("status")
                self.assertEqual(code, 1, name)
                status = document["results"][0]
                self.assertFalse(status["libraryLoads"], name)
                messages = [f["message"] for f in status["findings"] if f["level"] == "error"]
                self.assertTrue(any(says in m and "the library refuses to load" in m for m in messages),
                                (name, messages))
                self.assertFalse(any("HKCU" in m for m in messages), messages)
        finally:
            policy()
        code, document = zukcli_json("status")
        self.assertEqual(document["results"][0]["effective"]["Mode"], {"value": "256", "source": "machine"})

    def test_broken(self):
        missing_folder = self.install.windows + "missing\\"
        cases = [
            # (what, machine values, INI text or None for the good one, level, text, library loads)
            ("Device 2", {"Device": 2}, None, "error", "Device is 2, not 0 or 1", False),
            ("no Config", {"Config": None}, None, "error", "Config is missing", False),
            ("no InstallPath", {"InstallPath": None}, None, "error", "InstallPath is missing", False),
            ("Mode as text", {"Mode": "256"}, None, "warning", "not a REG_DWORD", True),
            ("Mode 0", {"Mode": 0}, None, "warning", "switched off", True),
            ("no backslash", {"InstallPath": self.install.windows.rstrip("\\")}, None, "warning",
             "does not end with a backslash", True),
            ("no catalogue", {"InstallPath": missing_folder}, None, "warning", "ZukLang.csv' does not exist", True),
            ("FeliCa idm", {"FeliCa": "idm"}, None, "warning", "not exactly IDM", True),
            ("misspelt key", {}, "[Card]\r\nPolingInterval=500\r\n", "warning", "PolingInterval is not read", True),
            ("unknown section", {}, "[Logs]\r\nMode=3\r\n", "warning", "section [Logs] is not read", True),
            ("not a number", {}, "[Card]\r\nVerifyRetry=three\r\n", "warning", "is not a whole number", True),
            ("reader model", {}, "[Device]\r\nDeviceName=pr300\r\n", "error", "only PR300", True),
            ("port name", {}, "[Device]\r\nPortName=COM12\r\n", "warning", "for COM10 and above", True),
            ("long port name", {}, "[Device]\r\nPortName=" + "C" * 600 + "\r\n", "error", "512 characters", True),
            ("log folder", {}, "[Log]\r\nMode=1\r\nFileName=" + missing_folder + "z.log\r\n", "warning",
             "folder", True),
            ("log mode", {}, "[Log]\r\nMode=2\r\n", "warning", "only 0, 1 and 3", True),
            ("system codes", {}, "[FeliCa]\r\nSystemCode=81 65,12\r\n", "error", "holds no valid code", True),
            # The port is tried as ZUKOpen would: named, or looked up through the driver's entries.
            ("missing port", {}, "[Device]\r\nPortName=\\\\.\\COM77\r\n", "error",
             "'\\\\.\\COM77' cannot be opened: ERROR_", True),
            ("no driver port", {}, None, "error", "no reader port found", True),
        ]
        for what, values, ini, level, text, loads in cases:
            with self.subTest(what):
                self.install.write_ini(ini if ini is not None else GOOD_INI)
                self.install.machine(**values)
                code, document = zukcli_json("status")
                status = document["results"][0]
                self.assertEqual(code, 1)
                self.assertFalse(status["healthy"])
                self.assertEqual(status["libraryLoads"], loads)
                self.assertTrue(any(f["level"] == level and text in f["message"] for f in status["findings"]),
                                status["findings"])
        self.install.machine()


SAMPLE_CARD = os.path.join(SOURCE, "sim", "cards", "alice.card")


class Simulator:
    """zuk-reader-sim with a card (the sample one unless told) on COM26 of the prefix, and its
    control channel; `options` are further command-line options of the simulator."""

    def __init__(self, card_text=None, encoding="utf-8", options=()):
        self.work = tempfile.mkdtemp()
        card = SAMPLE_CARD
        if card_text is not None:
            card = os.path.join(self.work, "card.card")
            with open(card, "w", encoding=encoding) as f:
                f.write(card_text)
        self.process = subprocess.Popen(
            [SIM, "--link", os.path.join(PREFIX, "dosdevices", "com26"), "--control-port", "0",
             "--card", card, "--log", os.path.join(self.work, "sim.log")] + list(options),
            stdout=subprocess.PIPE, text=True)
        port = None
        for _ in range(2):
            line = self.process.stdout.readline()
            if line.startswith("CONTROL "):
                port = int(line.split()[1])
        self.control = socket.create_connection(("127.0.0.1", port), timeout=10)

    def command(self, line, ends=b"\n"):
        """The reply; a reply of several lines (dump) ends with an END line."""
        self.control.sendall((line + "\n").encode())
        reply = b""
        while not reply.endswith(ends):
            reply += self.control.recv(256)
        return reply.decode().strip()

    def stop(self):
        self.control.close()
        self.process.terminate()
        self.process.wait(10)
        self.process.stdout.close()
        with open(os.path.join(self.work, "sim.log")) as f:
            log = f.read()
        shutil.rmtree(self.work, ignore_errors=True)
        return log


@unittest.skipUnless(SIM and os.path.exists(SIM), "no zuk-reader-sim")
class WithReader(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.install = Install()
        cls.install.write_ini("[Device]\r\nPortName=\\\\.\\COM26\r\n[Log]\r\nMode=3\r\n[FeliCa]\r\nSystemCode=88B4\r\n")
        cls.install.machine()

    @classmethod
    def tearDownClass(cls):
        cls.install.remove()

    def setUp(self):
        self.install.machine()
        self.sim = Simulator()

    def tearDown(self):
        # CTest shows this only when the test fails.
        sys.stderr.write("---- simulator log ----\n" + self.sim.stop())

    def test_card_commands_in_one_process(self):
        code, out = zukcli("open", "sense", "name", "user-option", "admin-option", "verify-pin", "1234", "close")
        self.assertEqual(code, 0, out)
        for text in ("ZUKOpen: ZUK_OK (0)", "handle: 1", "present: yes", "text: Alice Example", "text: opt-user",
                     "text: opt-admin", "ZUKVerifyPIN: ZUK_OK (0)", "ZUKClose: ZUK_OK (0)"):
            self.assertIn(text, out)
        self.assertNotIn("1234", out)  # the PIN is never printed

    def test_status_tries_the_port_and_does_not_wait_for_a_busy_reader(self):
        code, document = zukcli_json("status")
        status = document["results"][0]
        self.assertEqual(code, 0, status)
        self.assertEqual(status["settings"]["Port"]["value"], "\\\\.\\COM26")
        self.assertTrue(status["settings"]["Port"]["meaning"].startswith("opens"), status)
        holder = subprocess.Popen(["wine", os.path.join(BIN, "zukcli.exe"), "--cancel-prompts", "open", "sense",
                                   "--watch", "--for", "6", "close"], stdout=subprocess.PIPE)
        time.sleep(3)
        started = time.time()
        code, document = zukcli_json("status", timeout=30)
        self.assertLess(time.time() - started, 20)
        holder.communicate(timeout=60)
        status = document["results"][0]
        self.assertEqual(code, 0, status)
        self.assertTrue(any("in use by another program" in f["message"] for f in status["findings"]), status)

    def lay_card(self, failure_count):
        """The sample card with this PIN failure count (limit 3) laid on the reader."""
        with open(SAMPLE_CARD) as f:
            text = re.sub(r"(?m)^failure_count = .*$", "failure_count = %d" % failure_count, f.read())
        path = os.path.join(self.sim.work, "laid.card")
        with open(path, "w") as f:
            f.write(text)
        self.assertEqual(self.sim.command("card " + path), "OK")

    def test_no_window_of_the_library_waits_for_a_person(self):
        self.install.machine(Config=0x3)
        exe = os.path.join(BIN, "zukcli.exe")
        # --pin gives its PIN once per call: a wrong one is counted once on the card and the call
        # returns 3, whoever answers the wrong-PIN notice (the library unattended, zukcli's
        # canceller, or --pin itself with nothing else answering) and never the same PIN again.
        # A card whose count stands at its limit returns the lock, prompt-free or attended.
        cases = [
            # (zukcli's options, the card's failure count before, the result, the count after)
            (["--unattended"], 0, "ZUK_ERR_PIN_WRONG (3)", 1),
            (["--cancel-prompts"], 0, "ZUK_ERR_PIN_WRONG (3)", 1),
            ([], 0, "ZUK_ERR_PIN_WRONG (3)", 1),
            (["--unattended"], 3, "ZUK_ERR_CARD_LOCKED (6)", 3),
            (["--cancel-prompts"], 3, "ZUK_ERR_CARD_LOCKED (6)", 3),
        ]
        for options, before, result, after in cases:
            with self.subTest(options=options, failures=before):
                self.lay_card(before)
                started = time.time()
                run = wine([exe] + options + ["open", "sense", "account", "--pin", "99999", "close"], timeout=60)
                out = run.stdout.decode("latin-1")
                self.assertEqual(run.returncode, 1, out + run.stderr.decode("latin-1"))
                self.assertIn("ZUKGetUserAccount: " + result, out)
                self.assertIn("ZUKClose: ZUK_OK (0)", out)
                self.assertLess(time.time() - started, 30)
                self.assertTrue(self.sim.command("dump 1", ends=b"END\n").startswith("OK\n03 %02X " % after))
        # No card on the reader: the card wait prompt is cancelled and the call returns.
        self.assertEqual(self.sim.command("remove"), "OK")
        code, out = zukcli("open", "account", "close", timeout=60)
        self.assertEqual(code, 1, out)
        self.assertIn("ZUKGetUserAccount: ZUK_CANCELLED (-1)", out)

    def test_no_wait_open_answers_busy_while_another_process_holds_the_reader(self):
        holder = subprocess.Popen(["wine", os.path.join(BIN, "zukcli.exe"), "--cancel-prompts", "open", "sense",
                                   "--watch", "--for", "8", "close"], stdout=subprocess.PIPE)
        time.sleep(3)
        started = time.time()
        code, out = zukcli("--no-wait", "open", timeout=30)
        self.assertLess(time.time() - started, 10)
        holder.communicate(timeout=60)
        self.assertEqual(code, 1, out)
        self.assertIn("ZUKOpen: ZUK_ERR_BUSY (1792)", out)
        code, out = zukcli("--no-wait", "open", "close")
        self.assertEqual(code, 0, out)

    def test_wrong_pin_and_small_buffer_in_json(self):
        code, document = zukcli_json("open", "sense", "verify-pin", "0000", "name", "--size", "5", "close")
        self.assertEqual(code, 1)
        names = [r["name"] for r in document["results"]]
        self.assertEqual(names, ["ZUK_OK", "ZUK_OK", "ZUK_ERR_PIN_WRONG", "ZUK_ERR_BUFFER", "ZUK_OK"])
        # The card counted the failure: its PIN control block reads limit 3, count 1.
        self.assertTrue(self.sim.command("dump 1", ends=b"END\n").startswith("OK\n03 01 "))

    def test_account_from_a_card_without_pin(self):
        with open(SAMPLE_CARD) as f:
            without_pin = re.sub(r"(?m)^pin = .*$", "pin =", f.read())
        cases = [
            # (machine values, account, password)
            ({"Config": 0x3}, "alice", "s3cret-pass"),          # user ID and password, nothing remembered
            ({"Config": 0x3, "FeliCa": "IDM"}, "012e4c1f930a5507", ""),  # the IDm is the account
        ]
        for values, account, password in cases:
            with self.subTest(values=values):
                self.sim.stop()
                self.sim = Simulator(without_pin)
                self.install.machine(**values)
                code, document = zukcli_json("open", "sense", "account", "--show-password", "close")
                self.assertEqual(code, 0, document)
                result = document["results"][2]
                self.assertEqual((result["account"], result["accountLength"]), (account, len(account)))
                self.assertEqual((result["password"], result["passwordLength"]), (password, len(password)))

    def test_account_through_the_pin_dialog_answered_by_zukcli(self):
        # --pin types the PIN into the library's dialog; --screenshot keeps a PNG picture of it.
        self.install.machine(Config=0x3)
        picture = os.path.join(self.sim.work, "pin.png")
        code, document = zukcli_json("open", "sense", "account", "--show-password", "--pin", "1234",
                                     "--screenshot", "Z:" + picture.replace("/", "\\"), "close")
        self.assertEqual(code, 0, document)
        result = document["results"][2]
        self.assertEqual((result["account"], result["password"]), ("alice", "s3cret-pass"))
        with open(picture, "rb") as f:
            self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")

    def test_json_carries_card_texts_as_utf8(self):
        # A Japanese system's card texts are CP932 bytes; the JSON document holds them as UTF-8.
        with open(SAMPLE_CARD) as f:
            text = f.read().replace("user_name = Alice Example", "user_name = \u5c71\u7530 \u82b1\u5b50")
        self.sim.stop()
        self.sim = Simulator(text.encode("cp932").decode("latin-1"), encoding="latin-1")
        code, document = zukcli_json("open", "sense", "name", "close", env={"LC_ALL": "ja_JP.UTF-8"})
        self.assertEqual(code, 0, document)
        self.assertEqual(document["results"][2]["text"], "\u5c71\u7530 \u82b1\u5b50")

    def test_a_revoked_card_identifies_nobody_until_taken_off_the_list(self):
        self.install.machine(Config=0x3)
        idm = "012E4C1F930A5507"
        exe = os.path.join(BIN, "zukcli.exe")
        self.assertEqual(zukcli("revoke", "012E4C1F930A550")[0], 2)  # not an IDm: nothing runs
        for how in ("machine", "policy"):
            with self.subTest(how):
                if how == "machine":
                    code, out = zukcli("revoke", idm)
                    self.assertEqual(code, 0, out)
                else:
                    policy("1", idm.lower(), kind="REG_SZ", key=POLICY_KEY + r"\RevokedCards")
                    policy("2", "not an IDm", kind="REG_SZ", key=POLICY_KEY + r"\RevokedCards")
                try:
                    code, document = zukcli_json("open", "sense", "name", "verify-pin", "9999", "close")
                    self.assertEqual([r["name"] for r in document["results"]],
                                     ["ZUK_OK", "ZUK_OK", "ZUK_ERR_CARD_LOCKED", "ZUK_ERR_CARD_LOCKED", "ZUK_OK"])
                    self.assertTrue(document["results"][1]["present"])
                    # The failure count was not touched: limit 3, count 0.
                    self.assertTrue(self.sim.command("dump 1", ends=b"END\n").startswith("OK\n03 00 "))
                    # The account call returns the lock: prompt-free at once, attended after its
                    # notice, answered by zukcli, with the card still on the reader.
                    for answering in ("--unattended", "--cancel-prompts"):
                        result = wine([exe, answering, "--timeout", "30", "open", "sense", "account", "close"],
                                      timeout=90)
                        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
                        self.assertIn(b"ZUKGetUserAccount: ZUK_ERR_CARD_LOCKED (6)", result.stdout)
                    code, document = zukcli_json("revoked")
                    entries = document["results"][0]["entries"]
                    self.assertIn((how, True), [(e["list"], e["valid"]) for e in entries])
                    code, document = zukcli_json("status")
                    status = document["results"][0]
                    self.assertEqual(status["settings"]["Revoked cards"]["value"], 1)
                    malformed = [f for f in status["findings"] if f["item"] == "RevokedCards"]
                    self.assertEqual(len(malformed), 1 if how == "policy" else 0, status["findings"])
                finally:
                    if how == "machine":
                        self.assertEqual(zukcli("unrevoke", idm)[0], 0)
                    else:
                        policy()
                code, out = zukcli("open", "sense", "name", "close")
                self.assertEqual(code, 0, out)
                self.assertIn("text: Alice Example", out)

    def test_a_revoked_cards_pairs_are_not_handed_out_again(self):
        # Remembered (Config 0x33: ID and password, remembered until the session ends) and handed
        # over (0x3): after `revoke` with the IDm as zukcard prints it, the name call gives 6 and
        # the account call must not hand out the pair, which is gone from the user's registry.
        idm = "01 2E 4C 1F 93 0A 55 07"
        volatile = r"HKCU\SOFTWARE\KORVA\ZUKLib\Volatile"
        cases = [
            # (Config, mode storing the pair, mode reading it, values of the pair, what reading gives)
            (0x33, "0", "0", ("UserID", "Password", "PairRecord"), "ZUK_ERR_CARD_LOCKED"),
            (0x3, "0x1010000", "0x10000", ("InputUserID", "InputPassword", "InputPairRecord"),
             "ZUK_ERR_ACCOUNT_STORE"),
        ]
        for config, store, read, names, refused in cases:
            with self.subTest(config=config):
                self.install.machine(Config=config)
                wine(["reg", "delete", volatile, "/f"])
                code, document = zukcli_json("open", "sense", "account", "--mode", store, "--pin", "1234", "close")
                self.assertEqual(code, 0, document)
                stored = wine(["reg", "query", volatile]).stdout.decode("latin-1")
                for name in names[:2]:
                    self.assertIn(name, stored)
                code, out = zukcli("revoke", idm)
                self.assertEqual(code, 0, out)
                self.assertIn("IDm: 012E4C1F930A5507", out)
                try:
                    code, document = zukcli_json("--unattended", "open", "sense", "name", "account", "--mode", read,
                                                 "--show-password", "close")
                    self.assertEqual([r["name"] for r in document["results"]],
                                     ["ZUK_OK", "ZUK_OK", "ZUK_ERR_CARD_LOCKED", refused, "ZUK_OK"], document)
                    self.assertNotIn("s3cret-pass", json.dumps(document))
                    stored = wine(["reg", "query", volatile]).stdout.decode("latin-1")
                    for name in names:
                        self.assertNotIn(name, stored)
                finally:
                    self.assertEqual(zukcli("unrevoke", "01:2e:4c:1f:93:0a:55:07")[0], 0)

    def test_a_pair_of_another_password_mask_is_asked_for_again(self):
        # A pair handed over under one mask and picked up under another (site keys installed, or
        # removed) is no pair: 16, never 11 bytes of garbage with ZUK_OK.
        key_file = os.path.join(self.install.dir, "mask.keys")
        if os.path.exists(key_file):
            os.remove(key_file)
        code, out = zukcli("keys", "generate", self.install.windows + "mask.keys")
        self.assertEqual(code, 0, out)
        self.install.machine(Config=0x3)
        try:
            for change in ("install", "remove"):
                with self.subTest(change):
                    if change == "remove":
                        # The pair is handed over under the site's mask, by a reader holding the site's keys.
                        self.sim.stop()
                        self.sim = Simulator(options=["--key-file", key_file])
                    code, document = zukcli_json("open", "sense", "account", "--mode", "0x1010000", "--pin", "1234",
                                                 "close")
                    self.assertEqual(code, 0, document)
                    code, out = zukcli("keys", change, *([self.install.windows + "mask.keys"] if change == "install" else []))
                    self.assertEqual(code, 0, out)
                    code, document = zukcli_json("account", "--handle", "1", "--mode", "0x10000", "--show-password")
                    result = document["results"][0]
                    self.assertEqual(result["name"], "ZUK_ERR_ACCOUNT_STORE", document)
                    self.assertNotIn("password", {k for k, v in result.items() if v}, document)
        finally:
            zukcli("keys", "remove")

    def test_revocation_entries_of_every_string_type_and_the_list_in_status(self):
        idm = "012E4C1F930A5507"
        key = POLICY_KEY + r"\RevokedCards"
        # A refusal says what is wrong in one line, without the usage text.
        result = wine([os.path.join(BIN, "zukcli.exe"), "revoke", "01 2E 4C 1F 93 0A 55"])
        self.assertEqual(result.returncode, 2, result)
        error = result.stderr.decode("latin-1")
        lines = [line for line in error.splitlines() if line.startswith("zukcli")]
        self.assertEqual(len(lines), 1, error)
        self.assertIn("not 16 hexadecimal digits", lines[0])
        self.assertNotIn("usage:", error)
        cases = [
            ("REG_EXPAND_SZ", idm.lower()),
            ("REG_MULTI_SZ", "0000000000000001\\0" + idm),
        ]
        for kind, data in cases:
            with self.subTest(kind):
                try:
                    result = wine(["reg", "add", key, "/v", "entry", "/t", kind, "/d", data, "/f", "/reg:64"])
                    self.assertEqual(result.returncode, 0, result)
                    code, document = zukcli_json("--unattended", "open", "sense", "name", "account", "close")
                    self.assertEqual([r["name"] for r in document["results"]],
                                     ["ZUK_OK", "ZUK_OK", "ZUK_ERR_CARD_LOCKED", "ZUK_ERR_CARD_LOCKED", "ZUK_OK"])
                    code, document = zukcli_json("status")
                    self.assertEqual(document["results"][0]["settings"]["Revoked cards"]["value"], 1 if kind == "REG_EXPAND_SZ" else 2)
                    # A malformed value beside it: status fails and names it.
                    policy("bad", "lost card", kind="REG_MULTI_SZ", key=key)
                    code, out = zukcli("status")
                    self.assertNotEqual(code, 0, out)
                    self.assertIn("policy list value 'bad' (REG_MULTI_SZ)", out)
                finally:
                    policy()
        code, out = zukcli("codes", "6")
        self.assertIn("revoked on this machine", out)

    def test_watch_reports_a_card_taken_away(self):
        watcher = subprocess.Popen(["wine", os.path.join(BIN, "zukcli.exe"), "--cancel-prompts", "--json", "open",
                                    "sense", "--watch", "--for", "4", "--interval", "200", "close"],
                                   stdout=subprocess.PIPE)
        time.sleep(2)
        self.assertEqual(self.sim.command("remove"), "OK")
        out, _ = watcher.communicate(timeout=60)
        # JSON Lines: one object per line, each event with its time stamp, the exit code last.
        objects = [json.loads(line) for line in out.decode("utf-8").splitlines() if line.strip()]
        events = [o for o in objects if o.get("command") == "sense"]
        self.assertEqual([(e["present"], e["event"]) for e in events],
                         [(True, "card present"), (False, "card removed")], objects)
        for e in events:
            self.assertRegex(e["time"], r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}$")
        self.assertEqual(objects[-1]["exitCode"], 0)
        # Text: one line per event, time stamp first.
        watcher = subprocess.Popen(["wine", os.path.join(BIN, "zukcli.exe"), "--cancel-prompts", "open",
                                    "sense", "--watch", "--for", "2", "--interval", "200", "close"],
                                   stdout=subprocess.PIPE)
        out, _ = watcher.communicate(timeout=60)
        self.assertRegex(out.decode("latin-1"), r"(?m)^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}  no card\r?$")


class Reruns(unittest.TestCase):
    """The record of reruns, with Wine replaced by a stand-in (needs no Wine)."""

    def test_a_hung_zukcli_is_recorded_and_counted(self):
        global wine
        real, calls = wine, []

        def stand_in(args, timeout=60, **kw):
            calls.append(args)
            if len(calls) == 1:
                raise subprocess.TimeoutExpired(args, timeout)
            return subprocess.CompletedProcess(args, 0, b"done\r\n", b"")

        before = len(RERUNS)
        wine = stand_in
        try:
            self.assertEqual(zukcli("version", timeout=5), (0, "done\n"))
        finally:
            wine = real
        self.assertEqual(len(calls), 2)
        self.assertEqual(RERUNS[before:], ["zukcli version did not end within 5 s: run again"])
        self.assertIn("zukcli reruns: %d\n" % len(RERUNS), rerun_summary())
        del RERUNS[before:]


if __name__ == "__main__":
    program = unittest.main(verbosity=2, exit=False)
    # The count comes last, where a reader of the log looks.
    sys.stderr.write(rerun_summary())
    sys.exit(0 if program.result.wasSuccessful() else 1)
