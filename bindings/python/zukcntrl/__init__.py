"""zukcntrl - the ZUKcntrl user-identification library from Python (ctypes, no compiler needed).

    import zukcntrl
    with zukcntrl.open_reader() as reader:
        if reader.wait_for_card(present=True, timeout=30):
            account = reader.account_with_pin("1234")

Each failed call raises the exception of its result's family (PinError, CardError, ReaderError,
ConfigurationError, UsageError, Cancelled; all ZukError) with the result's name and code.
The library loaded is ZUKCNTRL_LIBRARY when set, else the ZUKcntrl.dll of the interpreter's
bitness on Windows (beside the package in x64/ or x86/, or where it is installed), else
libZUKcntrl.so."""
from .results import (CardError, Cancelled, ConfigurationError, PinError, ReaderError, Result, UsageError,
                      ZukError)
from .reader import (Account, AccountMode, Cancellation, LibraryMode, MaxLengths, PinTries, Reader, Version,
                     cancel, max_lengths, mode, open_reader, raw_version, version)

__all__ = [
    "Account", "AccountMode", "Cancellation", "Cancelled", "CardError", "ConfigurationError", "LibraryMode",
    "MaxLengths", "PinError", "PinTries", "Reader", "ReaderError", "Result", "UsageError", "Version",
    "ZukError", "cancel", "max_lengths", "mode", "open_reader", "raw_version", "version",
]
