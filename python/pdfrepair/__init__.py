"""Validates and repairs damaged PDF files with the tovalund-pdfrepair library, through ctypes.

    report = pdfrepair.check("scan.pdf")       # the library's report as a dict
    pdfrepair.fix("scan.pdf", "repaired.pdf")  # raises pdfrepair.RepairError on failure

The library keeps process-wide state and serves one thread at a time: every call here holds
one lock.
"""

import ctypes
import ctypes.util
import json
import os
import sys
import threading

__all__ = ["RepairError", "check", "fix", "load"]

if sys.platform == "win32":
    _FILE_NAMES = ("tovalund-pdfrepair.dll",)
else:
    _FILE_NAMES = ("libtovalund-pdfrepair.so.0", "libtovalund-pdfrepair.so")

_lock = threading.RLock()
_library = None


class RepairError(Exception):
    """A file the library could not analyse or repair; the message is its last-error text."""


def _bind(library):
    for name, result, arguments in (
        ("pdfrepair_init", ctypes.c_int, []),
        ("pdfrepair_cleanup", None, []),
        ("pdfrepair_last_error", ctypes.c_char_p, []),
        ("pdfrepair_check", ctypes.c_char_p, [ctypes.c_char_p]),
        ("pdfrepair_fix", ctypes.c_int, [ctypes.c_char_p, ctypes.c_char_p]),
    ):
        function = getattr(library, name)
        function.restype = result
        function.argtypes = arguments
    return library


def _find():
    beside = os.path.dirname(os.path.abspath(__file__))
    for name in _FILE_NAMES:
        path = os.path.join(beside, name)
        if os.path.exists(path):
            return path
    found = ctypes.util.find_library("tovalund-pdfrepair")
    if found is None:
        raise OSError("the tovalund-pdfrepair library was found neither beside the pdfrepair package nor by the "
                      "system's loader: give its path to pdfrepair.load()")
    return found


def load(path=None):
    """Loads the library from path, or when none is given and none is loaded yet, from beside
    this package or where the system's loader finds it. Returns the ctypes library."""
    global _library
    with _lock:
        if path is not None:
            _library = _bind(ctypes.CDLL(os.fspath(path)))
        elif _library is None:
            _library = _bind(ctypes.CDLL(_find()))
        return _library


def _path_bytes(path):
    """The bytes the library hands to the C runtime: on Windows in the ANSI code page."""
    path = os.fspath(path)
    if isinstance(path, bytes):
        return path
    return path.encode("mbcs") if sys.platform == "win32" else os.fsencode(path)


def _last_error(library):
    return library.pdfrepair_last_error().decode("utf-8", "replace")


def _check(path):
    """The library's reply for the file at path, and its last-error text after it."""
    with _lock:
        library = load()
        reply = library.pdfrepair_check(_path_bytes(path))
        return reply.decode("utf-8"), _last_error(library)


def check(path):
    """The library's health report of the file at path, as a dict with the members valid,
    issues, objects, pages and header. A file that cannot be opened gets a report naming
    that; one that cannot be read whole raises RepairError."""
    reply, error = _check(path)
    if not reply:
        raise RepairError(error)
    return json.loads(reply)


def fix(input, output):
    """Writes a repaired PDF 1.4 copy of the file at input to output. Raises RepairError with
    the library's reason when the repair fails, the file at output then being as it was."""
    with _lock:
        library = load()
        library.pdfrepair_init()
        try:
            if not library.pdfrepair_fix(_path_bytes(input), _path_bytes(output)):
                raise RepairError(_last_error(library))
        finally:
            library.pdfrepair_cleanup()
