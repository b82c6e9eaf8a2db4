"""The own-PIN-pad example of docs/examples, run against the native shared build of the library
and its simulated reader, through one of the bindings:

    own_pin_pad_test.py python  RUNNER EXAMPLE.py          (RUNNER: run_with_scene.py)
    own_pin_pad_test.py csharp  RUNNER.exe EXAMPLE.exe     (RUNNER: RunWithScene.exe, under mono)

Each case lays a card (or none), types PINs on the example's standard input and checks what it
says and its exit code."""
import os
import re
import subprocess
import sys
import tempfile
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
ALICE = os.path.join(ROOT, "sim", "cards", "alice.card")

# name, Mode, card values (None: no card), PINs typed, idle seconds, exit code, lines said in order
CASES = [
    ("right PIN", 256, {}, ["1234"], 30, 0, ["ZUKcntrl 3.1.0", "PIN tries left: 3 of 3", "Welcome, alice"]),
    ("wrong, then right", 256, {}, ["0000", "1234"], 30, 0, ["Wrong PIN: 2 tries left", "Welcome, alice"]),
    ("three wrong lock the card", 256, {}, ["1111", "2222", "3333"], 30, 3,
     ["Wrong PIN: 2 tries left", "Wrong PIN: 1 tries left", "Wrong PIN: the card is now locked"]),
    ("locked card", 256, {"failure_count": "3"}, ["1234"], 30, 3,
     ["PIN tries left: 0 of 3", "This card is locked: see your administrator"]),
    ("no card: the idle timer cancels the wait", 256, None, [], 0.5, 2,
     ["Lay your card on the reader", "Cancelled: back to the welcome screen"]),
    ("library switched off", 0, {}, [], 30, 0, ["ZUKcntrl is switched off: use the host's own log-on"]),
]


def card_file(values, folder):
    if values is None:
        return "none"
    with open(ALICE, encoding="utf-8") as f:
        text = f.read()
    for name, value in values.items():
        text = re.sub(r"(?m)^%s\s*=.*$" % name, "%s = %s" % (name, value), text)
    path = os.path.join(folder, "card.card")
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    return path


def main(argv):
    flavour, runner, example = argv[1], argv[2], argv[3]
    failed = 0
    for name, mode, values, pins, idle, code, said in CASES:
        with tempfile.TemporaryDirectory() as folder:
            arguments = [str(mode), card_file(values, folder), example, str(idle)]
            if flavour == "python":
                command = [sys.executable, runner] + arguments
            else:
                command = ["mono", runner] + arguments
            started = time.monotonic()
            run = subprocess.run(command, input="".join(p + "\n" for p in pins), capture_output=True, text=True,
                                 timeout=60)
            elapsed = time.monotonic() - started
        output = run.stdout
        position, missing = 0, []
        for line in said:
            found = output.find(line, position)
            if found < 0:
                missing.append(line)
            else:
                position = found + len(line)
        problems = []
        if run.returncode != code:
            problems.append("exit code %d, expected %d" % (run.returncode, code))
        if missing:
            problems.append("did not say, in order: %s" % missing)
        if idle < 30 and elapsed > idle + 10:
            problems.append("the idle cancel took %.1f s" % elapsed)
        if problems:
            failed += 1
            print("FAIL %s: %s\n--- output:\n%s--- errors:\n%s" % (name, "; ".join(problems), output, run.stderr))
        else:
            print("PASS %s (%.2f s)" % (name, elapsed))
    print("%d passed, %d failed" % (len(CASES) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
