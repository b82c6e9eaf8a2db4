"""Runs a Python program (an example of docs/examples) unchanged in a process whose library is
the native shared build, after setting its scene: run_with_scene.py MODE CARD|none SCRIPT [ARG...]
(MODE: the machine value Mode; CARD: a card description file laid on the simulated reader)."""
import runpy
import sys

import scene


def main(argv):
    mode, card, script = int(argv[1]), argv[2], argv[3]
    scene.set_up(mode=mode)
    if card != "none":
        with open(card, encoding="utf-8") as f:
            scene.lay_card(f.read())
    sys.argv = [script] + argv[4:]
    runpy.run_path(script, run_name="__main__")


if __name__ == "__main__":
    main(sys.argv)
