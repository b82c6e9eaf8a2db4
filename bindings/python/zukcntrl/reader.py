"""The open reader and the calls made with it; the library's own facts; cancelling a wait."""
import collections
import ctypes
import enum
import threading
import time
from ctypes import byref, c_int, c_void_p

from . import _native
from .results import Cancelled, Result, check, error_for


class AccountMode(enum.IntEnum):
    """The request modes of the account calls (ZUK_ACCOUNT_MODE_*)."""
    INTERACTIVE = 0x0
    INTERACTIVE_HANDOVER = 0x1010000  # also keep the pair for a later pick-up
    PICKUP = 0x10000                  # return the pair a hand-over call left


class LibraryMode(enum.IntEnum):
    OFF = 0
    CARD = 256
    CARD_OR_TYPED = 768


Version = collections.namedtuple("Version", "major minor patch")
MaxLengths = collections.namedtuple("MaxLengths", "id_length password_length")
# The largest user ID and password the library hands out (ZUKGetMaxLength's answer): the buffers of
# the host-driven account call, which makes no other call (an export of the library's own flow
# that met another call in progress would show its busy box).
_HOST_DRIVEN_LENGTHS = MaxLengths(128, 256)
PinTries = collections.namedtuple("PinTries", "left limit")
Account = collections.namedtuple("Account", "user_id password tries_left")
Account.__doc__ = ("The user's account and password; tries_left: the PIN tries the card has left "
                   "after the call (-1 when not known, or when the library's own prompt took the PIN).")


def raw_version():
    version = c_int(0)
    check("ZUKGetLibVersion", _native.library().ZUKGetLibVersion(byref(version)))
    return version.value


def version():
    """The library's version, Version(3, 1, 0)."""
    v = raw_version()
    return Version((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF)


def mode():
    """LibraryMode.OFF when the library is switched off: the host then uses its own log-on."""
    value = c_int(0)
    check("ZUKGetLibMode", _native.library().ZUKGetLibMode(byref(value), 0))
    try:
        return LibraryMode(value.value)
    except ValueError:
        return value.value


def max_lengths():
    """The largest user ID and password the library hands out, in bytes."""
    id_length, password_length = c_int(0), c_int(0)
    check("ZUKGetMaxLength", _native.library().ZUKGetMaxLength(byref(id_length), byref(password_length)))
    return MaxLengths(id_length.value, password_length.value)


def cancel():
    """Ends the call of this process that waits (for a card, for the reader another process holds,
    for another call, between a reader's retries) with Cancelled.  Any thread; does nothing when no
    call waits.  A Cancellation given to a call also covers a cancel that comes just before the call
    begins to wait."""
    _native.library().ZUKCancel()


class Cancellation:
    """A cancel that any thread may give to the calls it was passed to (cancellation=...).  Once
    cancelled, a call it is passed to raises Cancelled at once, and a call under way is ended: the
    library's cancel is called at once and again every 5 ms until the call returns."""

    def __init__(self):
        self._lock = threading.Lock()
        self._cancelled = False
        self._active = 0

    @property
    def cancelled(self):
        return self._cancelled

    def cancel(self):
        with self._lock:
            if self._cancelled:
                return
            self._cancelled = True
            active = self._active > 0
        if active:
            cancel()
            threading.Thread(target=self._repeat, name="zukcntrl-cancel", daemon=True).start()

    def _repeat(self):
        while True:
            time.sleep(0.005)
            with self._lock:
                if self._active == 0:
                    return
            cancel()

    def run(self, operation, call):
        with self._lock:
            if self._cancelled:
                raise Cancelled(operation, Result.CANCELLED)
            self._active += 1
        try:
            return call()
        finally:
            with self._lock:
                self._active -= 1


def _run(operation, call, cancellation):
    return call() if cancellation is None else cancellation.run(operation, call)


class Reader:
    """The open reader; close it with close(), or use it as a context manager.  The library asks for
    the close from the thread that opened it.  A reader the host forgets is closed when collected."""

    def __init__(self, cancellation=None):
        self._handle = None
        handle = c_int(-1)
        dll = _native.library()
        check("ZUKOpen", _run("ZUKOpen", lambda: dll.ZUKOpen(byref(handle)), cancellation))
        self._handle = handle.value

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def __del__(self):
        if getattr(self, "_handle", None) is not None:
            try:
                _native.library().ZUKClose(self._handle)
            except Exception:  # noqa: BLE001 - an interpreter shutting down may have lost ctypes
                pass

    @property
    def closed(self):
        return self._handle is None

    @property
    def has_reader(self):
        """Whether the library runs with a reader (handle 1) or without one (0: typed credentials)."""
        return self._open_handle() == 1

    def close(self):
        """Closes the reader (again: nothing); raises when the library reports a failure to close."""
        if self._handle is None:
            return
        handle, self._handle = self._handle, None
        check("ZUKClose", _native.library().ZUKClose(handle))

    def _open_handle(self):
        if self._handle is None:
            raise ValueError("the reader is closed")
        return self._handle

    def sense_card(self):
        present = c_int(0)
        check("ZUKSenseCard", _native.library().ZUKSenseCard(self._open_handle(), byref(present)))
        return present.value != 0

    def verify_pin(self, pin):
        data = _pin_bytes(pin)
        check("ZUKVerifyPIN", _native.library().ZUKVerifyPIN(self._open_handle(), len(data), data))

    def user_name(self):
        return self._text("ZUKGetUserName")

    def user_option(self):
        return self._text("ZUKGetUserOption")

    def admin_option(self):
        return self._text("ZUKGetAdminOption")

    def pin_tries(self):
        left, limit = c_int(0), c_int(0)
        check("ZUKGetPinTries", _native.library().ZUKGetPinTries(self._open_handle(), byref(left), byref(limit)))
        return PinTries(left.value, limit.value)

    def account(self, mode=AccountMode.INTERACTIVE, window=None, cancellation=None):
        """The account through the library's own prompts (card wait, PIN prompt, typed
        credentials); window: their parent (a window handle as an int, or None)."""
        handle = self._open_handle()
        dll = _native.library()
        return self._account("ZUKGetUserAccount", max_lengths(), cancellation,
                             lambda request, tries: dll.ZUKGetUserAccount(handle, request, int(mode),
                                                                          c_void_p(window)))

    def account_with_pin(self, pin, mode=AccountMode.INTERACTIVE, cancellation=None):
        """The account with the PIN the host collected, without any window of the library's.  A
        wrong PIN raises PinError (ZUK_ERR_PIN_WRONG, or ZUK_ERR_PIN_LOCKED_NOW when it locked the
        card) with tries_left; no card raises CardError (ZUK_ERR_NO_CARD)."""
        handle = self._open_handle()
        data = _pin_bytes(pin)
        dll = _native.library()
        return self._account("ZUKGetUserAccountWithPin", _HOST_DRIVEN_LENGTHS, cancellation,
                             lambda request, tries: dll.ZUKGetUserAccountWithPin(handle, request, int(mode), data,
                                                                                 len(data), tries))

    def wait_for_card(self, present=True, timeout=None, cancellation=None):
        """Waits until a card is laid (present True) or taken away (False): True when that happened,
        False when timeout (seconds; None: no bound) passed first.  Raises Cancelled when a cancel
        ended the wait."""
        handle = self._open_handle()
        ms = -1 if timeout is None else max(0, min(0x7FFFFFFF, int(timeout * 1000)))
        state = c_int(0)
        dll = _native.library()
        check("ZUKWaitForCard",
              _run("ZUKWaitForCard", lambda: dll.ZUKWaitForCard(handle, 1 if present else 0, ms, byref(state)),
                   cancellation))
        return (state.value != 0) == bool(present)

    def _text(self, operation):
        buffer = ctypes.create_string_buffer(1024)
        length = c_int(len(buffer))
        check(operation, getattr(_native.library(), operation)(self._open_handle(), buffer, byref(length)))
        return buffer.raw[:max(0, min(length.value, len(buffer)))].decode(_native.text_encoding())

    def _account(self, operation, lengths, cancellation, call):
        account = ctypes.create_string_buffer(lengths.id_length)
        password = ctypes.create_string_buffer(lengths.password_length)
        request = _native.AccountRequest(_native.ACCOUNT_REQUEST_VERSION,
                                         ctypes.cast(account, c_void_p), lengths.id_length,
                                         ctypes.cast(password, c_void_p), lengths.password_length, 0, 0)
        tries = c_int(-1)
        try:
            code = _run(operation, lambda: call(byref(request), byref(tries)), cancellation)
            if code != Result.OK:
                raise error_for(operation, code, tries.value)
            encoding = _native.text_encoding()
            user_id = account.raw[:max(0, min(request.AccountLength, lengths.id_length))].decode(encoding)
            secret = password.raw[:max(0, min(request.PasswordLength, lengths.password_length))].decode(encoding)
            return Account(user_id, secret, tries.value)
        finally:
            ctypes.memset(account, 0, lengths.id_length)
            ctypes.memset(password, 0, lengths.password_length)


def _pin_bytes(pin):
    if isinstance(pin, (bytes, bytearray)):
        return bytes(pin)
    return str(pin).encode(_native.text_encoding())


def open_reader(cancellation=None):
    """Opens the reader (waiting, cancellably, while another process holds it): a Reader, to use
    in a with statement."""
    return Reader(cancellation)
