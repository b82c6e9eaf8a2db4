#!/usr/bin/env python3
"""The layering check's rules on small trees: each case is one include from one file, and whether
check_layers.py must accept it."""
import os
import subprocess
import sys
import tempfile

CHECK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_layers.py")

# (the including file, what it includes, accepted)
CASES = [
    ("sim/sim_card.h", "card/issue/card_description.h", True),   # the shared card description files
    ("sim/sim_reader.cpp", "link/des.h", True),
    ("sim/sim_key_file.cpp", "settings/key_strength.h", True),
    ("sim/sim_fake_port.h", "platform/fake/fake_serial.h", True),
    ("sim/sim_card.h", "card/issue/issue_plan.h", False),         # only the description reader
    ("sim/sim_card.h", "card/session.h", False),
    ("sim/sim_reader.cpp", "api/frame.h", False),
    ("card/session.h", "sim/sim_card.h", False),                  # nothing of the library uses sim
    ("card/session.h", "card/issue/card_description.h", False),  # the exception is the simulator's
]


def run(source, target):
    with tempfile.TemporaryDirectory() as root:
        for path, text in ((target, "// included\n"), (source, '#include "%s"\n' % target)):
            os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
            with open(os.path.join(root, path), "w") as f:
                f.write(text)
        done = subprocess.run([sys.executable, CHECK, root], capture_output=True, text=True)
        return done.returncode == 0, done.stdout


failures = 0
for source, target, accepted in CASES:
    ok, output = run(source, target)
    if ok != accepted:
        failures += 1
        print("FAIL: %s including %s: %s, expected %s\n%s" % (source, target, "accepted" if ok else "refused",
                                                             "accepted" if accepted else "refused", output))
print("%d of %d cases as expected" % (len(CASES) - failures, len(CASES)))
sys.exit(1 if failures else 0)
