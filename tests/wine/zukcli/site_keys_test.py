#!/usr/bin/env python3
"""Site keys under Wine: a key file installed with zukcli identifies the user against a reader
holding the site's keys, whose keys the built-in ones do not open; each kind of stored value the
library cannot use (a damaged blob, another machine's blob made in a second prefix, a record of
another version or length or with a wrong check value) is named by zukcli and makes every reader
call fail without falling back to the built-in keys; no key appears in any output or the trace.

Environment as zukcli_test.py's, and ZUK_PROTECT_RECORD: the test tool that protects a record
for this machine as the stored keys are.
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

from zukcli_test import (BIN, KEY, PREFIX, SAMPLE_CARD, SIM, VIEW, Install, Simulator, key_windows,
                         read_site_key_file, rerun_summary, wine, zukcli, zukcli_json)

PROTECT = os.environ.get("ZUK_PROTECT_RECORD", "")
ERR_SYSTEM = 0x40000
# The raw statuses of the trace's LOW lines for each fault.
UNREADABLE, UNDECRYPTABLE, VERSION, LENGTH, CHECK = 0x10000009, 0x1000000A, 0x1000000B, 0x1000000C, 0x1000000D
WEAK = 0x1000000E
# The registry view the library of the other bitness reads.
OTHER_VIEW = "/reg:64" if VIEW == "/reg:32" else "/reg:32"


def stored_blob(env=None):
    """The SiteKeys value of the library's view (of the prefix env names, else this one)."""
    result = subprocess.run(["wine", "reg", "query", KEY, "/v", "SiteKeys", VIEW], env=env, capture_output=True,
                            timeout=60)
    match = re.search(rb"SiteKeys\s+REG_BINARY\s+([0-9A-Fa-f]+)", result.stdout)
    return bytes.fromhex(match.group(1).decode()) if match else None


def store_blob(blob, view=VIEW):
    result = wine(["reg", "add", KEY, "/v", "SiteKeys", "/t", "REG_BINARY", "/d", blob.hex().upper(), "/f", view])
    assert result.returncode == 0, result


def record(values, version=1, extra=b"", check=None):
    """The stored record of a key file's values (the library's layout): magic, version, the four
    values, the key file's check value over them."""
    body = b"".join(values[n] for n in ("initial", "operational", "reader", "mask"))
    canonical = "ZUKcntrl site keys 1\n" + "".join(
        "%s = %s\n" % (n, values[n].hex().upper()) for n in ("initial", "operational", "reader", "mask"))
    if check is None:
        check = hashlib.sha256(canonical.encode()).digest()[:8]
    return b"ZUKS" + bytes([version]) + body + check + extra


def protected(data):
    result = wine([PROTECT, data.hex().upper()])
    assert result.returncode == 0, result
    return bytes.fromhex(result.stdout.decode().strip())


def blob_from_another_prefix(key_file):
    """A blob installed by zukcli in a fresh Wine prefix: another machine's."""
    other = tempfile.mkdtemp(prefix="zuk-other-prefix-")
    env = dict(os.environ, WINEPREFIX=other)
    try:
        subprocess.run(["wineboot", "-i"], env=env, capture_output=True, timeout=300)
        shutil.copy(key_file, os.path.join(other, "site.keys"))
        windows = subprocess.check_output(["winepath", "-w", os.path.join(other, "site.keys")], env=env,
                                          text=True).strip()
        result = subprocess.run(["wine", os.path.join(BIN, "zukcli.exe"), "keys", "install", windows], env=env,
                                capture_output=True, timeout=120)
        assert result.returncode == 0, result
        blob = stored_blob(env)
        assert blob, "no SiteKeys value in the other prefix"
        return blob
    finally:
        subprocess.run(["wineserver", "-k"], env=env, capture_output=True, timeout=60)
        shutil.rmtree(other, ignore_errors=True)


@unittest.skipUnless(SIM and os.path.exists(SIM), "no zuk-reader-sim")
class SiteKeys(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.install = Install()
        cls.install.write_ini("[Device]\r\nPortName=\\\\.\\COM26\r\n[Log]\r\nMode=1\r\n[FeliCa]\r\nSystemCode=88B4\r\n")
        cls.key_file = os.path.join(cls.install.dir, "site.keys")
        code, out = zukcli("keys", "generate", cls.install.windows + "site.keys")
        assert code == 0, out
        cls.values, check_ok = read_site_key_file(cls.key_file)
        assert check_ok
        cls.secrets = key_windows(cls.values)
        cls.trace = os.path.join(cls.install.dir, "ZUKcntrl.log")

    @classmethod
    def tearDownClass(cls):
        zukcli("keys", "remove")
        cls.install.remove()

    def setUp(self):
        self.install.machine()
        zukcli("keys", "remove")
        if os.path.exists(self.trace):
            os.remove(self.trace)
        self.sim = None

    def tearDown(self):
        if self.sim is not None:
            sys.stderr.write("---- simulator log ----\n" + self.sim.stop())

    def assertNoKeyIn(self, text):
        shown = set(re.findall(r"[0-9A-F]{8}", text.upper()))
        self.assertFalse(self.secrets & shown, text)

    def trace_text(self):
        if not os.path.exists(self.trace):
            return ""
        with open(self.trace, encoding="latin-1") as f:
            return f.read()

    def test_site_keys_identify_the_user_and_the_built_in_keys_do_not_open_that_reader(self):
        code, installed = zukcli("keys", "install", self.install.windows + "site.keys")
        self.assertEqual(code, 0, installed)
        self.assertIn("stored and read back", installed)
        code, document = zukcli_json("keys", "status")
        self.assertEqual(code, 0, document)
        _, checked = zukcli_json("keys", "check", self.install.windows + "site.keys")
        views = document["results"][0]["views"]
        self.assertTrue(views, document)
        for view in views.values():
            # The stored keys are the file's without its issuing table: the keys check that keys
            # check and keys generate show for the file is the one every view shows.
            self.assertEqual(view["source"], "site", document)
            self.assertEqual(view["check"], checked["results"][0]["check"], (document, checked))
        self.assertIn("keys check: " + checked["results"][0]["check"], installed)
        self.assertEqual(document["results"][0]["checkValues"]["operational KA"],
                         checked["results"][0]["checkValues"]["operational KA"])
        code, status = zukcli("status")
        self.assertIn("Site keys: site (keys check %s)" % checked["results"][0]["check"], status)

        self.sim = Simulator(options=["--key-file", self.key_file])
        code, out = zukcli("open", "sense", "name", "verify-pin", "1234", "close")
        self.assertEqual(code, 0, out)
        self.assertIn("text: Alice Example", out)
        for text in (installed, status, out, self.trace_text(), str(document)):
            self.assertNoKeyIn(text)

        code, document = zukcli_json("status")
        self.assertEqual(document["results"][0]["settings"]["Reader keys"]["value"],
                         "accepts the site's operational set (the library's)", document)

        code, out = zukcli("keys", "remove")
        self.assertEqual(code, 0, out)
        code, out = zukcli("open", "close")
        self.assertEqual(code, 1, out)
        self.assertNotIn("ZUKOpen: ZUK_OK", out)
        self.assertIn("ZUKOpen: ZUK_ERR_PORT_OPEN (1280)", out)
        # The trace and zukcli name the cause: the reader holds other keys than the library.
        self.assertIn("ZUKOpen,LOW,0x00000500,0x02136300", self.trace_text())
        code, out = zukcli("trace", self.install.windows + "ZUKcntrl.log")
        self.assertIn("refused the library's authentication with status word 63 00 while opening the link", out)
        self.assertIn("zukcard move-reader", out)
        self.assertIn("zukcli keys install", out)
        # status tries the reader as ZUKOpen does: not healthy, with the remedies.
        code, document = zukcli_json("status")
        status = document["results"][0]
        self.assertEqual((code, status["healthy"]), (1, False), status)
        self.assertEqual(status["settings"]["Reader keys"]["value"], "none accepted", status)
        messages = [f["message"] for f in status["findings"] if f["level"] == "error"]
        self.assertTrue(any("holds other keys than the library" in m and "zukcli keys install" in m
                            and "zukcard move-reader" in m for m in messages), status)

    def test_a_reader_in_use_is_moved_to_the_site_keys_and_then_identifies(self):
        # A site reader that still holds the built-in operational set, as every reader in use does.
        self.sim = Simulator(options=["--key-file", self.key_file,
                                      "--operational-keys", os.environ["ZUK_OPERATIONAL_KEYS"]])
        code, out = zukcli("keys", "install", self.install.windows + "site.keys")
        self.assertEqual(code, 0, out)
        code, out = zukcli("open", "close")
        self.assertEqual(code, 1, out)
        # status finds the reader on the built-in set and says to move it.
        code, document = zukcli_json("status")
        status = document["results"][0]
        self.assertEqual(code, 1, status)
        self.assertEqual(status["settings"]["Reader keys"]["value"], "accepts the built-in operational set", status)
        self.assertTrue(any(f["level"] == "error" and "zukcard move-reader --keys" in f["message"]
                            for f in status["findings"]), status)
        result = wine([os.path.join(BIN, "zukcard.exe"), "--port", "COM26", "move-reader", "--keys",
                       self.install.windows + "site.keys"], timeout=120)
        moved = result.stdout.decode("latin-1")
        self.assertEqual(result.returncode, 0, moved)
        code, out = zukcli("open", "sense", "name", "close")
        self.assertEqual(code, 0, out)
        self.assertIn("text: Alice Example", out)
        self.assertNoKeyIn(moved + out + self.trace_text())
        code, document = zukcli_json("status")
        self.assertEqual(code, 0, document)
        self.assertNoKeyIn(str(document))

    def test_stored_keys_the_library_cannot_use_are_named_and_nothing_falls_back(self):
        # The reader holds the built-in keys: a library falling back to them would open it.
        self.sim = Simulator()
        code, out = zukcli("open", "close")
        self.assertEqual(code, 0, out)
        code, out = zukcli("keys", "install", self.install.windows + "site.keys")
        self.assertEqual(code, 0, out)
        good = stored_blob()
        damaged = bytearray(good)
        damaged[len(damaged) // 2] ^= 0x01
        cases = [
            ("a damaged blob", bytes(damaged), UNDECRYPTABLE, "cannot be decrypted on this machine"),
            ("another machine's blob", blob_from_another_prefix(self.key_file), UNDECRYPTABLE,
             "cannot be decrypted on this machine"),
            ("a record of another version", protected(record(self.values, version=2)), VERSION,
             "another format or version"),
            ("a record too long", protected(record(self.values, extra=b"\0")), LENGTH, "wrong length"),
            ("a wrong check value", protected(record(self.values, check=bytes(8))), CHECK,
             "do not match their check value"),
            # Stored with a right check value, but a mask of zeros: passwords would be kept in the clear.
            ("a record of weak keys", protected(record(dict(self.values, mask=bytes(64)))), WEAK,
             "the stored site keys are weak"),
        ]
        for what, blob, status, text in cases:
            with self.subTest(what):
                store_blob(blob)
                if os.path.exists(self.trace):
                    os.remove(self.trace)
                code, out = zukcli("status")
                self.assertEqual(code, 1, out)
                self.assertIn("Site keys: none", out)
                self.assertIn(text, out)
                code, out = zukcli("keys", "status")
                self.assertEqual(code, 1, out)
                self.assertIn(text, out)
                code, document = zukcli_json("open", "name", "close")
                results = {r["command"]: r.get("result") for r in document["results"]}
                self.assertEqual(results["open"], ERR_SYSTEM, document)
                # No Retry is offered for keys a retry cannot mend.
                self.assertEqual([r.get("prompts") for r in document["results"] if r["command"] == "open"],
                                 [None], document)
                trace = self.trace_text()
                self.assertIn("ZUKOpen,LOW,0x00040000,0x%08x" % status, trace)
                self.assertIn("DllLoad,LOW,0x00040000,0x%08x" % status, trace)
                self.assertNoKeyIn(out + trace)
        store_blob(good)
        code, out = zukcli("status")
        self.assertIn("Site keys: site (keys check", out)

    def test_views_that_hold_different_keys_are_an_error(self):
        code, out = zukcli("keys", "install", self.install.windows + "site.keys")
        self.assertEqual(code, 0, out)
        good = stored_blob()
        for what, change in (
                ("site keys in one view only",
                 lambda: wine(["reg", "delete", KEY, "/v", "SiteKeys", "/f", OTHER_VIEW])),
                ("a weak record in the other view",
                 lambda: store_blob(protected(record(dict(self.values, mask=bytes(64)))), OTHER_VIEW))):
            with self.subTest(what):
                store_blob(good, OTHER_VIEW)
                change()
                code, out = zukcli("keys", "status")
                self.assertEqual(code, 1, out)
                self.assertIn("the registry views hold different keys", out)
                code, out = zukcli("status")
                self.assertEqual(code, 1, out)
                self.assertIn("the libraries of the two bitnesses use different keys", out)
        store_blob(good, OTHER_VIEW)
        code, out = zukcli("keys", "status")
        self.assertEqual(code, 0, out)


if __name__ == "__main__":
    program = unittest.main(argv=[sys.argv[0]] + sys.argv[1:], verbosity=2, exit=False)
    sys.stderr.write(rerun_summary())  # every zukcli run again because Wine hung, counted last
    sys.exit(0 if program.result.wasSuccessful() else 1)
