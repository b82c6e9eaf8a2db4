"""The scene of the binding's tests, set through the test controls of the native shared build
(libZUKcntrl.so, bindings/native/zuk_test_controls.h): the machine values, the card on the
simulated reader, the reader plugged or not, the library's own PIN prompt answered."""
import ctypes
import os
import re

from zukcntrl import _native

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", ".."))
ALICE = os.path.join(ROOT, "sim", "cards", "alice.card")

# Mode 256 (card), the reader, ID and password read from the card, nothing remembered: each account
# call goes to the card.
CARD_MODE, READER, CARD_ACCOUNT = 256, 1, 0x3


def _controls():
    dll = _native.library()
    dll.ZukTestSetUp.argtypes = [ctypes.c_uint, ctypes.c_uint, ctypes.c_uint, ctypes.c_char_p]
    dll.ZukTestLayCard.argtypes = [ctypes.c_char_p]
    dll.ZukTestPlugReader.argtypes = [ctypes.c_int]
    dll.ZukTestAnswerPinPrompt.argtypes = [ctypes.c_char_p]
    return dll


def card(**values):
    """The sample card's description with some of its values replaced (failure_count=2, ...)."""
    with open(ALICE, encoding="utf-8") as f:
        text = f.read()
    for name, value in values.items():
        text, count = re.subn(r"(?m)^%s\s*=.*$" % name, "%s = %s" % (name, value), text)
        assert count == 1, name
    return text


def set_up(mode=CARD_MODE, device=READER, config=CARD_ACCOUNT, extra_ini=""):
    """A fresh library and reader with no card; raises when the library refuses the values."""
    if _controls().ZukTestSetUp(mode, device, config, extra_ini.encode()) != 1:
        raise RuntimeError("the library refused the machine values")


def lay_card(description=None):
    if _controls().ZukTestLayCard((description or card()).encode()) != 0:
        raise ValueError("not a card description")


def take_card():
    _controls().ZukTestTakeCard()


def plug_reader(plugged):
    _controls().ZukTestPlugReader(1 if plugged else 0)


def answer_pin_prompt(pin):
    _controls().ZukTestAnswerPinPrompt(pin.encode())


def windows_shown():
    return _controls().ZukTestWindowsShown()
