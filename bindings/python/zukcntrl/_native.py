"""Loading the library of the interpreter's bitness and declaring its exports (ctypes)."""
import ctypes
import ctypes.util
import os
import struct
import sys
import threading
from ctypes import POINTER, Structure, c_char_p, c_int, c_int32, c_uint32, c_void_p

ACCOUNT_REQUEST_VERSION = 0x10000


class AccountRequest(Structure):
    """The request record of the account calls: seven fields, the buffers pointer-sized."""

    _fields_ = [
        ("Version", c_uint32),
        ("AccountBuffer", c_void_p),
        ("AccountLength", c_int32),
        ("PasswordBuffer", c_void_p),
        ("PasswordLength", c_int32),
        ("Reserved1", c_int32),
        ("Reserved2", c_int32),
    ]


_SIGNATURES = {
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
    "ZUKGetPinTries": [c_int, POINTER(c_int), POINTER(c_int)],
    "ZUKGetUserAccountWithPin": [c_int, POINTER(AccountRequest), c_int, c_char_p, c_int, POINTER(c_int)],
    "ZUKWaitForCard": [c_int, c_int, c_int, POINTER(c_int)],
    "ZUKCancel": [],
}


def candidate_paths(package_folder, is_64bit, install_path):
    """Where a Windows host looks for the library, in order: the x64 or x86 folder beside this
    package (a host that ships both), then the InstallPath of the library installed for this
    bitness (the interpreter reads its own registry view)."""
    paths = [os.path.join(package_folder, "x64" if is_64bit else "x86", "ZUKcntrl.dll")]
    if install_path:
        paths.append(os.path.join(install_path, "ZUKcntrl.dll"))
    return paths


def _install_path():
    try:
        import winreg
        with winreg.OpenKey(winreg.HKEY_LOCAL_MACHINE, r"SOFTWARE\KORVA\ZUKLib") as key:
            value, kind = winreg.QueryValueEx(key, "InstallPath")
            return value if kind == winreg.REG_SZ else None
    except OSError:
        return None


def _find():
    """The library's path: ZUKCNTRL_LIBRARY when set; on Windows the ZUKcntrl.dll of the
    interpreter's bitness; elsewhere libZUKcntrl.so (the library's native test build)."""
    override = os.environ.get("ZUKCNTRL_LIBRARY")
    if override:
        return override
    if sys.platform == "win32":
        here = os.path.dirname(os.path.abspath(__file__))
        for path in candidate_paths(here, struct.calcsize("P") == 8, _install_path()):
            if os.path.isfile(path):
                return path
        return "ZUKcntrl.dll"
    return ctypes.util.find_library("ZUKcntrl") or "libZUKcntrl.so"


_lock = threading.Lock()
_library = None


def library():
    """The loaded library, its exports declared (loaded on first use)."""
    global _library
    with _lock:
        if _library is None:
            path = _find()
            # The exports use __stdcall on 32-bit Windows: WinDLL there.
            loader = ctypes.WinDLL if sys.platform == "win32" else ctypes.CDLL
            dll = loader(path)
            for name, arguments in _SIGNATURES.items():
                # A library older than an export lacks it: calling it then raises AttributeError.
                if not hasattr(dll, name):
                    continue
                function = getattr(dll, name)
                function.argtypes = arguments
                function.restype = c_int
            _library = dll
        return _library


def text_encoding():
    """The card's texts, the PIN and the account are bytes in the system's ANSI code page."""
    return "mbcs" if sys.platform == "win32" else "utf-8"
