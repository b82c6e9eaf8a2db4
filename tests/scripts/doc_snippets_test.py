#!/usr/bin/env python3
"""Every code sample of docs/integration.md in C, C# or Python is an excerpt of an example file in
docs/examples/ (which the tests build and run): each of its lines stands in one of those files
(blanks at the ends of lines and "..." lines, which mark an omission, aside).  A sample edited in
the document alone, or an example changed without its sample, fails here."""
import os
import re
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
DOC = os.path.join(ROOT, "docs", "integration.md")
EXAMPLES = os.path.join(ROOT, "docs", "examples")


def main():
    lines = set()
    for name in os.listdir(EXAMPLES):
        with open(os.path.join(EXAMPLES, name), encoding="utf-8") as f:
            lines.update(line.strip() for line in f)
    text = open(DOC, encoding="utf-8").read()
    failures = 0
    blocks = re.findall(r"```(c|csharp|python)\n(.*?)```", text, re.S)
    for language, block in blocks:
        for line in block.splitlines():
            stripped = line.strip()
            if not stripped or stripped == "...":
                continue
            if stripped not in lines:
                print("FAIL: a %s line of docs/integration.md is in no example: %s" % (language, stripped))
                failures += 1
    print("%d code samples checked, %d lines not in an example" % (len(blocks), failures))
    return 1 if failures else 0


sys.exit(main())
