#!/usr/bin/env python3
"""zukcard under Wine against zuk-reader-sim with a blank card: a card written from a description is
what the library then reads, read gives the description back, unlock opens a locked card, bad input
and a card taken away part-way are reported, and data is only written over when asked.  Keys: the
DLL carries none of the issuing station's write keys.  SiteKeys: a reader with a site key file's
keys (zukcli keys generate): issuing with --keys, the built-in keys refused, and moving a reader
from the built-in set to the file's (move-reader), refused from a wrong set, with its answer lost,
and a factory reader that needs no move.

Run by CTest inside the prepared Wine prefix.  Environment: that of zukcli_test.py, and
ZUK_ISSUER_KEYS / ZUK_READER_KEYS / ZUK_OPERATIONAL_KEYS (the build's keys in hexadecimal).
"""
import json
import os
import re
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.environ.get("ZUK_SOURCE_DIR", ""), "tests", "wine", "zukcli"))
from zukcli_test import (BIN, SAMPLE_CARD, Install, Simulator, key_windows, read_site_key_file,  # noqa: E402
                         rerun_summary, site_key_file, zukcli, zukcli_json)

INI = "[Device]\r\nPortName=\\\\.\\COM26\r\n[Log]\r\nMode=3\r\n[FeliCa]\r\nSystemCode=88B4\r\n"


def zukcard(*args, timeout=60):
    """Runs zukcard with no terminal on its input; returns (exit code, stdout)."""
    result = subprocess.run(["wine", os.path.join(BIN, "zukcard.exe")] + list(args), capture_output=True,
                            stdin=subprocess.DEVNULL, timeout=timeout)
    if result.stderr:
        sys.stderr.write("zukcard %s: %s\n" % (" ".join(args), result.stderr.decode("latin-1")))
    return result.returncode, result.stdout.decode("latin-1").replace("\r\n", "\n")


def zukcard_json(*args):
    code, out = zukcard("--json", *args)
    document = json.loads(out)
    assert document["exitCode"] == code, (document, code)
    return code, document


def parse(text):
    """A card description as a dictionary (blank lines and comments skipped)."""
    fields = {}
    for line in text.splitlines():
        line = line.strip()
        if line and not line.startswith("#") and "=" in line:
            name, value = line.split("=", 1)
            fields[name.strip()] = value.strip()
    return fields


with open(SAMPLE_CARD) as f:
    ALICE = parse(f.read())


class Keys(unittest.TestCase):
    def test_the_dll_carries_no_issuing_write_key(self):
        table = bytes.fromhex(os.environ["ZUK_ISSUER_KEYS"])
        library = bytes.fromhex(os.environ["ZUK_READER_KEYS"])
        with open(os.path.join(BIN, "ZUKcntrl.dll"), "rb") as f:
            dll = f.read()
        with open(os.path.join(BIN, "zukcard.exe"), "rb") as f:
            tool = f.read()
        # Key bytes may be built into code as 4-byte immediates: look for every 4-byte piece.
        def pieces(data):
            return [data[i:i + 4] for i in range(0, len(data), 4)]
        write_keys = b"".join(table[slot * 8:slot * 8 + 8] for slot in (2, 6, 8, 10))
        # The search finds the library's own keys in the DLL and the write keys in the tool ...
        self.assertTrue(all(p in dll for p in pieces(library)))
        self.assertTrue(all(p in tool for p in pieces(write_keys)))
        # ... and no piece of a write key in the DLL.
        self.assertEqual([p.hex() for p in pieces(write_keys) if p in dll], [])


class Issuing(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.install = Install()
        cls.install.write_ini(INI)

    @classmethod
    def tearDownClass(cls):
        cls.install.remove()

    def setUp(self):
        self.install.write_ini(INI)
        self.install.machine(Config=0x3)
        self.sim = Simulator("# a blank card: every item empty\n")

    def tearDown(self):
        sys.stderr.write("---- simulator log ----\n" + self.sim.stop())

    def dumps(self):
        return [self.sim.command("dump %d" % s, ends=b"END\n") for s in range(5)]

    def write_card(self, fields, name="card.card"):
        path = os.path.join(self.sim.work, name)
        with open(path, "w") as f:
            f.write("".join("%s = %s\n" % item for item in fields.items()))
        return path

    def test_issued_card_identifies_the_user_and_reads_back(self):
        code, out = zukcard("write", SAMPLE_CARD)
        self.assertEqual(code, 0, out)
        for name in ("account", "password", "pin", "pin_control", "user_name", "user_option", "admin_option"):
            self.assertIn(name + ": written and verified", out)
        self.assertNotIn("s3cret", out)
        self.assertEqual(self.sim.command("keytable").split()[-1], "issuer")

        code, document = zukcli_json("open", "sense", "account", "--show-password", "--pin", "1234", "close")
        self.assertEqual(code, 0, document)
        self.assertEqual((document["results"][2]["account"], document["results"][2]["password"]),
                         ("alice", "s3cret-pass"))

        code, out = zukcard("read", "--show-secrets")
        self.assertEqual((code, parse(out)), (0, ALICE), out)
        code, document = zukcard_json("read")
        self.assertEqual(code, 0)
        card = document["card"]
        self.assertEqual((card["account"], card["password"], card["pin"], card["retry_limit"]),
                         ("alice", "***", "***", 3))

    def test_locked_card_is_unlocked(self):
        self.assertEqual(zukcard("write", SAMPLE_CARD)[0], 0)
        code, document = zukcli_json("open", "sense", "verify-pin", "0000", "verify-pin", "0000",
                                     "verify-pin", "0000", "verify-pin", "1234", "close")
        self.assertEqual([r["name"] for r in document["results"]][2:6],
                         ["ZUK_ERR_PIN_WRONG", "ZUK_ERR_PIN_WRONG", "ZUK_ERR_PIN_LOCKED_NOW", "ZUK_ERR_CARD_LOCKED"])
        code, out = zukcard("unlock")
        self.assertEqual(code, 0, out)
        self.assertTrue(self.sim.command("dump 1", ends=b"END\n").startswith("OK\n03 00 "))
        code, out = zukcli("open", "sense", "verify-pin", "1234", "close")
        self.assertEqual(code, 0, out)
        code, out = zukcard("set-limit", "256")
        self.assertEqual(code, 2, out)
        self.assertIn("retry_limit", out)

    def test_bad_values_are_refused_with_nothing_written(self):
        before = self.dumps()
        cases = [
            (dict(ALICE, user_name="N" * 65), "user_name is 65 bytes"),
            (dict(ALICE, pin="1" * 17), "pin is 17 bytes"),
            (dict(ALICE, retry_limit="300"), "retry_limit"),
        ]
        for fields, text in cases:
            with self.subTest(text):
                code, out = zukcard("write", self.write_card(fields))
                self.assertEqual(code, 2, out)
                self.assertIn(text, out)
                self.assertIn("nothing was written", out)
        code, out = zukcard("set-pin", "1" * 17)
        self.assertEqual(code, 2, out)
        self.assertEqual(self.dumps(), before)

    def test_descriptions_with_any_line_ends_and_refused_text(self):
        # CR-only line ends are three lines, not one account holding the PIN and the password.
        path = os.path.join(self.sim.work, "cr.card")
        with open(path, "wb") as f:
            f.write(b"\xef\xbb\xbfaccount = bob\rpin = 8642\rpassword = hunter2\r")
        code, out = zukcard("write", path)
        self.assertEqual(code, 0, out)
        code, out = zukcard("read", "--show-secrets")
        self.assertEqual((parse(out)["account"], parse(out)["pin"], parse(out)["password"]),
                         ("bob", "8642", "hunter2"), out)
        before = self.dumps()
        for text, error in ((b"account = bob\naccount = eve\n", b"account is given twice"),
                            (b"account = b\x1bob\n", b"control character")):
            with open(path, "wb") as f:
                f.write(text)
            code, out = zukcard("write", path)
            self.assertEqual(code, 2, out)
            self.assertIn(error.decode(), out)
        self.assertEqual(self.dumps(), before)

    def test_a_failed_status_flag_write_is_named(self):
        self.assertEqual(self.sim.command("card-fault write 01A5 1"), "OK")
        code, out = zukcard("write", SAMPLE_CARD)
        self.assertEqual(code, 1, out)
        self.assertNotIn("unknown result", out)
        self.assertIn("ZUK_ERR_READER_STATUS", out)

    def test_card_taken_away_is_reported_and_completed_by_a_second_run(self):
        self.assertEqual(self.sim.command("card-fault remove-at-write 2"), "OK")  # gone at the password
        code, document = zukcard_json("write", SAMPLE_CARD)
        self.assertEqual(code, 1)
        states = [(i["name"], i["verified"]) for i in document["items"]]
        self.assertEqual(states[:2], [("account", True), ("password", False)])
        self.assertEqual(document["items"][1]["resultName"], "ZUK_ERR_NO_CARD")
        self.assertTrue(all(not verified for _, verified in states[1:]))
        self.assertIn("not done: password, pin, user_name, user_option, admin_option, pin_control",
                      document["messages"][-1])
        self.assertEqual(self.sim.command("place"), "OK")
        code, out = zukcard("write", SAMPLE_CARD)  # what the first run wrote is not data lost
        self.assertEqual(code, 0, out)
        self.assertEqual(parse(zukcard("read", "--show-secrets")[1]), ALICE)

    def test_data_is_written_over_only_when_asked(self):
        self.assertEqual(zukcard("write", SAMPLE_CARD)[0], 0)
        bob = self.write_card(dict(ALICE, account="bob", user_name="Bob"))
        before = self.dumps()
        code, out = zukcard("write", bob)
        self.assertEqual(code, 1, out)
        self.assertIn("would be lost (account, user_name)", out)
        code, out = zukcard("erase")
        self.assertEqual(code, 1, out)
        self.assertEqual(self.dumps(), before)
        self.assertEqual(zukcard("write", "--force", bob)[0], 0)
        self.assertEqual(parse(zukcard("read")[1])["account"], "bob")
        code, out = zukcard("erase", "--force")
        self.assertEqual(code, 0, out)
        for dump in self.dumps():
            self.assertEqual(set(dump.split("\n")[1:-1]), {" ".join(["00"] * 16)})

    def test_reader_held_and_port_choice(self):
        watcher = subprocess.Popen(["wine", os.path.join(BIN, "zukcli.exe"), "--cancel-prompts", "open", "sense",
                                    "--watch", "--for", "8", "--interval", "500", "close"],
                                   stdout=subprocess.DEVNULL)
        for _ in range(10):  # until the watcher has opened the reader
            code, out = zukcard("--no-wait", "read")
            if code == 3:
                break
            time.sleep(0.5)
        self.assertEqual(code, 3, out)
        self.assertIn("another program holds the reader", out)
        code, out = zukcard("read")  # waits for the watcher to close the reader
        watcher.wait(60)
        self.assertEqual(code, 0, out)
        self.install.write_ini(INI.replace("COM26", "COM27"))
        code, out = zukcard("read")
        self.assertEqual(code, 1, out)
        self.assertIn("cannot open the reader on \\\\.\\COM27", out)
        code, out = zukcard("--port", "COM26", "read")
        self.assertEqual(code, 0, out)



class SiteKeys(unittest.TestCase):
    """A site key file from zukcli keys generate: the simulated reader started with it (its sets,
    its tables, the cards' keys) and zukcard given it."""

    @classmethod
    def setUpClass(cls):
        cls.install = Install()
        cls.install.write_ini(INI)
        cls.install.machine(Config=0x3)
        cls.files, cls.values, cls.check = {}, {}, {}
        for name in ("site", "other"):
            path = os.path.join(cls.install.dir, name + ".keys")
            code, out = zukcli("keys", "generate", cls.install.windows + name + ".keys")
            assert code == 0, out
            cls.files[name] = (path, cls.install.windows + name + ".keys")
            cls.values[name], _ = read_site_key_file(path)
            code, document = zukcli_json("keys", "check", cls.files[name][1])
            cls.check[name] = document["results"][0]["checkValues"]["operational KA"]

    @classmethod
    def tearDownClass(cls):
        cls.install.remove()

    def setUp(self):
        self.sim = None
        self.outputs = []

    def tearDown(self):
        if self.sim is not None:
            sys.stderr.write("---- simulator log ----\n" + self.sim.stop())
        # No output ever shows a piece of a key of either file.
        shown = set(re.findall(r"[0-9A-F]{8}", "\n".join(self.outputs).upper()))
        for values in self.values.values():
            self.assertFalse(key_windows(values) & shown)

    def start(self, *options):
        self.sim = Simulator("# a blank card\n", options=("--key-file", self.files["site"][0]) + options)

    def run_card(self, *args):
        code, out = zukcard(*args)
        self.outputs.append(out)
        return code, out

    def run_json(self, *args):
        code, document = zukcard_json(*args)
        self.outputs.append(json.dumps(document))
        return code, document

    def status(self):
        """The simulator's status as a dictionary (held-kcv: the check value of the set it holds)."""
        reply = self.sim.command("status")
        state = re.search(r" keystate ((?:[0-9A-F]{2} ){2}[0-9A-F]{2})", reply)
        words = reply.replace(state.group(0), "").split()[1:]
        return dict(zip(words[0::2], words[1::2]), keystate=state.group(1))

    def test_a_site_reader_issues_with_the_file_and_refuses_the_built_in_keys(self):
        self.start()
        self.assertEqual(self.status()["held-kcv"], self.check["site"])
        site = self.files["site"][1]
        code, out = self.run_card("--keys", site, "write", SAMPLE_CARD)
        self.assertEqual(code, 0, out)
        self.assertEqual(self.sim.command("keytable").split()[-1], "issuer")
        code, out = self.run_card("--keys", site, "read", "--show-secrets")
        self.assertEqual((code, parse(out)), (0, ALICE), out)

        code, out = self.run_card("read")
        self.assertEqual(code, 1, out)
        self.assertIn("does not hold the built-in key set: give --keys with the site key file", out)

        # A file that cannot be used stops zukcard before it opens the reader.
        without_issuer = os.path.join(self.install.dir, "no-issuer.keys")
        with open(without_issuer, "w") as f:
            f.write(site_key_file({n: v for n, v in self.values["site"].items() if n != "issuer"}))
        broken = os.path.join(self.install.dir, "broken.keys")
        with open(broken, "w") as f:
            f.write("ZUKcntrl site keys 2\n")
        frames = self.status()["frames"]
        for name, reason in (("no-issuer.keys", "carries no issuing table"),
                             ("broken.keys", "version 2 of the site key file is not known"),
                             ("missing.keys", "does not exist")):
            with self.subTest(name):
                code, out = self.run_card("--keys", self.install.windows + name, "read")
                self.assertEqual(code, 2, out)
                self.assertIn(reason, out)
                self.assertIn("nothing was done", out)
        self.assertEqual(self.status()["frames"], frames)

    def test_a_blank_card_of_the_vendor_refuses_the_files_issuing_table(self):
        # The site's reader and table, over a blank card that holds the vendor's (built-in) keys.
        self.start()
        self.assertEqual(self.sim.command("card %s built-in" % os.path.join(self.sim.work, "card.card")), "OK")
        before = self.sim.command("dump 0", ends=b"END\n")
        code, out = self.run_card("--keys", self.files["site"][1], "write", SAMPLE_CARD)
        self.assertEqual(code, 1, out)
        self.assertIn("account: not written: the card refused the write key", out)
        self.assertIn("the card does not hold the write keys of the issuing table of", out)
        self.assertIn("Running the command again will not change that", out)
        self.assertIn("blank card from the vendor holds the vendor's issuing keys", out)
        self.assertNotIn("Run the same command again", out)
        self.assertEqual(self.sim.command("dump 0", ends=b"END\n"), before)
        code, document = self.run_json("--keys", self.files["site"][1], "write", SAMPLE_CARD)
        self.assertEqual(code, 1, document)
        self.assertEqual(document["items"][0]["state"], "not written: the card refused the write key", document)

    def test_a_reader_is_moved_from_the_built_in_set_to_the_files(self):
        self.start("--operational-keys", os.environ["ZUK_OPERATIONAL_KEYS"])
        built_in = self.status()["held-kcv"]
        self.assertNotEqual(built_in, self.check["site"])
        site, other = self.files["site"][1], self.files["other"][1]
        code, out = self.run_card("--keys", site, "read")
        self.assertEqual(code, 1, out)
        self.assertIn("does not hold the key set of %s: give --keys" % site, out)
        self.assertIn("move-reader --keys " + site, out)

        # From the wrong old set: refused, the set the reader holds is named, nothing changes.
        code, out = self.run_card("move-reader", "--keys", site, "--from", other)
        self.assertEqual(code, 1, out)
        self.assertIn("does not hold the set of " + other, out)
        self.assertIn("It holds the built-in set: run again without --from", out)
        self.assertEqual(self.status()["held-kcv"], built_in)

        code, document = self.run_json("move-reader", "--keys", site)
        self.assertEqual((code, document["outcome"], document["holds"]), (0, "moved", site), document)
        self.assertIn("now holds the set of " + site, document["messages"][0])
        self.assertEqual(self.status()["held-kcv"], self.check["site"])

        code, out = self.run_card("--keys", site, "write", SAMPLE_CARD)
        self.assertEqual(code, 0, out)
        self.assertEqual(parse(self.run_card("--keys", site, "read", "--show-secrets")[1]), ALICE)
        code, out = self.run_card("read")
        self.assertEqual(code, 1, out)
        self.assertIn("does not hold the built-in key set", out)

        code, document = self.run_json("move-reader", "--keys", site)
        self.assertEqual((code, document["outcome"]), (0, "not-needed"), document)
        code, document = self.run_json("move-reader", "--keys", other)  # from the built-in set
        self.assertEqual((code, document["outcome"], document["holds"]), (1, "refused", None), document)
        self.assertIn("run again with --from and the site key file the reader was last moved to",
                      document["messages"][0])
        self.assertEqual(self.status()["held-kcv"], self.check["site"])

    def test_a_move_whose_answer_is_lost_says_which_set_the_reader_holds(self):
        site = self.files["site"][1]
        for how, code, outcome, text, held in (
                ("acted", 0, "moved-answer-lost", "now holds the set of " + site, "site"),
                ("ignored", 1, "not-moved", "still holds the built-in set", None)):
            with self.subTest(how):
                self.start("--operational-keys", os.environ["ZUK_OPERATIONAL_KEYS"])
                built_in = self.status()["held-kcv"]
                self.assertEqual(self.sim.command("drop 85 %s" % how), "OK")
                got, document = self.run_json("move-reader", "--keys", site)
                self.assertEqual((got, document["outcome"]), (code, outcome), document)
                self.assertIn("both sets were tried", document["messages"][0])
                self.assertIn(text, document["messages"][0])
                self.assertEqual(self.status()["held-kcv"], self.check[held] if held else built_in)
                sys.stderr.write("---- simulator log ----\n" + self.sim.stop())
                self.sim = None

    def test_a_factory_reader_needs_no_move(self):
        self.start("--unprovisioned")
        before = self.status()
        code, out = self.run_card("move-reader", "--keys", self.files["site"][1])
        self.assertEqual(code, 0, out)
        self.assertIn("is a factory reader", out)
        after = self.status()
        self.assertEqual((after["keystate"], after["held-kcv"]), (before["keystate"], before["held-kcv"]))

    def test_command_lines_that_cannot_move(self):
        site = self.files["site"][1]
        for args, reason in ((["move-reader"], "move-reader needs --keys"),
                             (["--from", site, "read"], "--from is for move-reader only")):
            result = subprocess.run(["wine", os.path.join(BIN, "zukcard.exe")] + args, capture_output=True,
                                    stdin=subprocess.DEVNULL, timeout=60)
            self.assertEqual(result.returncode, 2, result.stderr)
            self.assertIn(reason, result.stderr.decode("latin-1"))
        code, out = self.run_card("move-reader", "--keys", site, "--from", site)
        self.assertEqual(code, 2, out)
        self.assertIn("one operational set: there is nothing to move", out)


if __name__ == "__main__":
    program = unittest.main(verbosity=2, exit=False)
    sys.stderr.write(rerun_summary())  # every zukcli run again because Wine hung, counted last
    sys.exit(0 if program.result.wasSuccessful() else 1)
