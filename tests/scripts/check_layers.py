#!/usr/bin/env python3
"""The layers call only downward.  A unit is a file's path without its extension (a header and its
source are one unit; a source without a header of its own name belongs to the first header of its
folder that it includes).  An edge is an #include "..." of another unit.  Fails when

  - units include each other around a loop (in the library, or among zukcli's files), or
  - a layer includes one that is not below it:

      api        -> card, settings, link, status, platform, resources, include
      card       -> link, settings, status, platform, include
      card/issue -> card, link, settings, status, platform, include   (the issuing station, never the DLL)
      settings   -> platform, include
      link       -> status, platform
      status     -> include                                  (the table of every internal status)
      platform   -> include                                  (the public result codes)
      sim        -> link, settings, platform, include, and card/issue/card_description only: the
                    simulator reads the same card description files the issuing station writes

  check_layers.py [ROOT]"""
import os
import re
import sys

ROOT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
BELOW = {
    "api": {"card", "settings", "link", "status", "platform", "resources", "include"},
    "card": {"link", "settings", "status", "platform", "include"},
    "card/issue": {"card", "link", "settings", "status", "platform", "include"},
    "settings": {"platform", "include"},
    "link": {"status", "platform"},
    "status": {"include"},
    "platform": {"include"},
    "sim": {"link", "settings", "platform", "include"},
}
# Single units a layer may include although their layer is not below it, each with its reason.
ALLOWED = {
    # The simulated reader's cards are read from the same card description files that the issuing
    # station (card/issue) writes, so the simulator shares their reader rather than keeping its own.
    ("sim", "card/issue/card_description"),
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def layer(unit):
    if unit.startswith("card/issue/"):
        return "card/issue"
    if unit == "ZUKcntrl":
        return "include"
    return unit.split("/")[0]


def units_of(folders):
    """unit -> set of included units, over the .h/.cpp files of the folders."""
    paths = []
    for folder in folders:
        for base, _, files in os.walk(os.path.join(ROOT, folder)):
            paths += [os.path.relpath(os.path.join(base, f), ROOT)
                      for f in files if f.endswith((".h", ".cpp"))]
    headers = {os.path.splitext(p)[0] for p in paths if p.endswith(".h")}
    edges = {}
    for path in sorted(paths):
        with open(os.path.join(ROOT, path), errors="replace") as f:
            text = f.read()
        unit = os.path.splitext(path)[0]
        if path.endswith(".cpp") and unit not in headers:
            own = [os.path.splitext(t)[0] for t in INCLUDE.findall(text)
                   if os.path.dirname(t) == os.path.dirname(path)]
            if own:
                unit = own[0]
        targets = edges.setdefault(unit, set())
        for target in INCLUDE.findall(text):
            t = os.path.splitext(target)[0]
            if t != unit:
                targets.add(t)
    return edges


def cycles(edges):
    """Strongly connected components of more than one unit (Tarjan)."""
    index, low, stack, on, found, counter = {}, {}, [], set(), [], [0]

    def visit(v):
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on.add(v)
        for w in edges.get(v, ()):
            if w not in edges:
                continue
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            component = []
            while True:
                w = stack.pop()
                on.discard(w)
                component.append(w)
                if w == v:
                    break
            if len(component) > 1:
                found.append(sorted(component))

    sys.setrecursionlimit(10000)
    for unit in sorted(edges):
        if unit not in index:
            visit(unit)
    return found


problems = []
library = units_of(["api", "settings", "card", "link", "status", "platform", "sim"])
for component in cycles(library):
    problems.append("include cycle: " + " <-> ".join(component))
for unit, targets in sorted(library.items()):
    for target in sorted(targets):
        if target.split("/")[0] not in BELOW and layer(target) != "include":
            continue  # outside the library (build constants and the like)
        if (layer(unit), target) in ALLOWED:
            continue
        if layer(target) != layer(unit) and layer(target) not in BELOW[layer(unit)]:
            problems.append("%s includes %s: %s is not below %s"
                            % (unit, target, layer(target), layer(unit)))
for component in cycles(units_of(["tools/zukcli"])):
    problems.append("include cycle in zukcli: " + " <-> ".join(component))

for p in problems:
    print(p)
if problems:
    sys.exit(1)
print("the layers include only downward; no include cycle (%d library units)" % len(library))
