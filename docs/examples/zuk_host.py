"""zuk_host.py - ZUKcntrl.dll from Python through ctypes.

Needs the ZUKcntrl.dll of the interpreter's bitness (a 32-bit Python the 32-bit library, a 64-bit
Python the 64-bit one):
    py -3-32 zuk_host.py            version, mode and buffer sizes
    py -3-32 zuk_host.py identify   asks the library who the user is
"""
import ctypes
import sys
from ctypes import POINTER, Structure, byref, c_char_p, c_int, c_int32, c_uint32, c_void_p, create_string_buffer

ZUK_OK = 0
ZUK_CANCELLED = -1
ZUK_ACCOUNT_REQUEST_VERSION = 0x10000
ZUK_ACCOUNT_MODE_INTERACTIVE = 0x0


class AccountRequest(Structure):
    """The request record of ZUKGetUserAccount: seven fields, the buffers pointer-sized."""

    _fields_ = [
        ("Version", c_uint32),
        ("AccountBuffer", c_void_p),
        ("AccountLength", c_int32),   # in: buffer size; out: text length
        ("PasswordBuffer", c_void_p),
        ("PasswordLength", c_int32),  # in: buffer size; out: text length (0: none)
        ("Reserved1", c_int32),
        ("Reserved2", c_int32),
    ]


def load(path="ZUKcntrl.dll"):
    """Loads the DLL (WinDLL: the exports use __stdcall) and declares its exports."""
    dll = ctypes.WinDLL(path)
    signatures = {
        "ZUKOpen": [POINTER(c_int)],
        "ZUKClose": [c_int],
        "ZUKSenseCard": [c_int, POINTER(c_int)],
        "ZUKVerifyPIN": [c_int, c_int, c_char_p],
        "ZUKGetUserName": [c_int, c_char_p, POINTER(c_int)],
        "ZUKGetUserOption": [c_int, c_char_p, POINTER(c_int)],
        "ZUKGetAdminOption": [c_int, c_char_p, POINTER(c_int)],
        "ZUKGetMaxLength": [POINTER(c_int), POINTER(c_int)],
        "ZUKGetLibMode": [POINTER(c_int), c_int],
        "ZUKGetLibVersion": [POINTER(c_int)],
        "ZUKGetUserAccount": [c_int, POINTER(AccountRequest), c_int, c_void_p],
    }
    for name, arguments in signatures.items():
        function = getattr(dll, name)
        function.argtypes = arguments
        function.restype = c_int
    return dll


def identify(dll):
    """The user's account, or None; texts are in the system's ANSI code page ('mbcs')."""
    handle = c_int(0)
    result = dll.ZUKOpen(byref(handle))
    if result != ZUK_OK:
        raise OSError("ZUKOpen failed: %d" % result)
    try:
        max_id, max_password = c_int(0), c_int(0)
        dll.ZUKGetMaxLength(byref(max_id), byref(max_password))
        account = create_string_buffer(max_id.value)
        password = create_string_buffer(max_password.value)
        request = AccountRequest(ZUK_ACCOUNT_REQUEST_VERSION, ctypes.cast(account, c_void_p), max_id.value,
                                 ctypes.cast(password, c_void_p), max_password.value, 0, 0)
        result = dll.ZUKGetUserAccount(handle, byref(request), ZUK_ACCOUNT_MODE_INTERACTIVE, None)
        ctypes.memset(password, 0, max_password.value)  # the password is not needed here
        if result == ZUK_CANCELLED:
            return None
        if result != ZUK_OK:
            raise OSError("ZUKGetUserAccount failed: %d" % result)
        return account.raw[:request.AccountLength].decode("mbcs")
    finally:
        dll.ZUKClose(handle)


def main():
    dll = load()
    version, mode = c_int(0), c_int(0)
    # The mode first: with the library switched off (0) every other call prompts.
    if dll.ZUKGetLibMode(byref(mode), 0) != ZUK_OK or mode.value == 0:
        print("switched off: the host uses its own log-on")
        return 0
    if dll.ZUKGetLibVersion(byref(version)) != ZUK_OK:
        print("ZUKGetLibVersion failed")
        return 1
    v = version.value
    print("ZUKcntrl %d.%d.%d, mode %d" % ((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF, mode.value))
    if len(sys.argv) > 1 and sys.argv[1] == "identify":
        print("user:", identify(dll))
    return 0


if __name__ == "__main__":
    sys.exit(main())
