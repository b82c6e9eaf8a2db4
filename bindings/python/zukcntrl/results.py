"""The library's result codes (named as ZUKcntrl.h names them, less the ZUK_ prefix) and one
exception class per family of results, each carrying the result's name and code."""
import enum


class Result(enum.IntEnum):
    OK = 0
    CANCELLED = -1
    ERR_INCOMPLETE = 1
    ERR_NO_DATA = 2
    ERR_PIN_WRONG = 3
    ERR_DISABLED = 4
    ERR_NO_CARD = 5
    ERR_CARD_LOCKED = 6
    ERR_PIN_LOCKED_NOW = 7
    ERR_ACCOUNT_STORE = 16
    ERR_VERSION = 48
    ERR_ALREADY_OPEN = 256
    ERR_NOT_OPEN = 512
    ERR_PORT_CLOSE = 768
    ERR_PORT_OPEN = 1280
    ERR_LINK_CLOSE = 1536
    ERR_BUSY = 1792
    ERR_HANDLE = 2048
    ERR_PORT_IO = 2304
    ERR_READER_STATUS = 2560
    ERR_PARAM = 0x10000
    ERR_BUFFER = 0x20000
    ERR_SYSTEM = 0x40000
    ERR_CARD_IO = 0x1000000
    ERR_UNEXPECTED = 0x7F000000


class ZukError(Exception):
    """A call of the library failed.  code: the result as returned; result: the Result, or None for
    a code the binding does not know; name: the result's header name (ZUK_ERR_PIN_WRONG)."""

    def __init__(self, operation, code, tries_left=-1):
        self.operation = operation
        self.code = code
        try:
            self.result = Result(code)
            self.name = "ZUK_" + self.result.name
        except ValueError:
            self.result = None
            self.name = "unknown result"
        self.tries_left = tries_left
        super().__init__("%s failed: %s (%d)" % (operation, self.name, code))


class PinError(ZukError):
    """The PIN did not open the card: ZUK_ERR_PIN_WRONG, ZUK_ERR_PIN_LOCKED_NOW (this try locked it)
    or ZUK_ERR_CARD_LOCKED.  tries_left: the tries the card has left (0 once locked, -1 unknown)."""


class CardError(ZukError):
    """No card, or nothing usable on it: ZUK_ERR_NO_CARD, ZUK_ERR_NO_DATA, ZUK_ERR_INCOMPLETE,
    ZUK_ERR_CARD_IO."""


class ReaderError(ZukError):
    """The reader, its port or the reader session: ZUK_ERR_PORT_*, ZUK_ERR_LINK_CLOSE,
    ZUK_ERR_READER_STATUS, ZUK_ERR_ALREADY_OPEN, ZUK_ERR_NOT_OPEN, ZUK_ERR_HANDLE, ZUK_ERR_BUSY."""


class ConfigurationError(ZukError):
    """The library's set-up on this machine: ZUK_ERR_DISABLED, ZUK_ERR_ACCOUNT_STORE, ZUK_ERR_SYSTEM,
    ZUK_ERR_UNEXPECTED, and codes the binding does not know."""


class UsageError(ZukError, ValueError):
    """The caller's arguments: ZUK_ERR_PARAM, ZUK_ERR_BUFFER, ZUK_ERR_VERSION."""


class Cancelled(ZukError):
    """ZUK_CANCELLED: a cancel ended a waiting call, or the user pressed Cancel in the library's
    own prompt."""


_FAMILIES = {
    Result.CANCELLED: Cancelled,
    Result.ERR_PIN_WRONG: PinError, Result.ERR_PIN_LOCKED_NOW: PinError, Result.ERR_CARD_LOCKED: PinError,
    Result.ERR_NO_CARD: CardError, Result.ERR_NO_DATA: CardError, Result.ERR_INCOMPLETE: CardError,
    Result.ERR_CARD_IO: CardError,
    Result.ERR_ALREADY_OPEN: ReaderError, Result.ERR_NOT_OPEN: ReaderError, Result.ERR_PORT_CLOSE: ReaderError,
    Result.ERR_PORT_OPEN: ReaderError, Result.ERR_LINK_CLOSE: ReaderError, Result.ERR_BUSY: ReaderError,
    Result.ERR_HANDLE: ReaderError, Result.ERR_PORT_IO: ReaderError, Result.ERR_READER_STATUS: ReaderError,
    Result.ERR_PARAM: UsageError, Result.ERR_BUFFER: UsageError, Result.ERR_VERSION: UsageError,
}


def error_for(operation, code, tries_left=-1):
    """The exception of a failed call's code (never for OK)."""
    family = _FAMILIES.get(code, ConfigurationError)
    return family(operation, code, tries_left)


def check(operation, code, tries_left=-1):
    if code != Result.OK:
        raise error_for(operation, code, tries_left)
