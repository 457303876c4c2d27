"""Exceptions: every failure of the library, with its status and its text."""
from typing import Optional

from .status import status_meaning, status_name


class Error(Exception):
    """A call of the library failed.

    ``status`` is the library's status (negative), ``text`` the library's own
    (German) text, empty when it set none, and ``operation`` what was being
    done.  ``str()`` gives an English message with all three.
    """

    def __init__(self, status: Optional[int], text: str, operation: str,
                 detail: Optional[str] = None) -> None:
        self.status = status
        self.text = text
        self.operation = operation
        if detail is None:
            detail = "unknown status" if status is None else status_meaning(status)
        self.detail = detail
        super().__init__(status, text, operation)

    @property
    def name(self) -> str:
        """The header's name of the status, such as ``XVR_ERR_TRANSFER``."""
        return "" if self.status is None else status_name(self.status)

    def __str__(self) -> str:
        message = "%s failed: %s" % (self.operation, self.detail)
        if self.status is not None:
            message += " (%s, %d)" % (self.name, self.status)
        if self.text:
            message += "\n" + self.text.rstrip()
        return message


class Timeout(Error, TimeoutError):
    """A transfer did not complete in time (status -6 without a text).

    ``data`` holds the bytes that arrived before the time ran out.
    """

    def __init__(self, operation: str, data: bytes = b"") -> None:
        super().__init__(-6, "", operation, "timed out")
        self.data = data


class UnknownParameter(Error, KeyError):
    """The driver has no parameter of that name (a ``KeyError`` too, so that
    ``name in device.params`` and ``device.params.get(name)`` work)."""


class BlockFormatError(Error, ValueError):
    """The answer is not an IEEE 488.2 block of the form it announced."""

    def __init__(self, operation: str, detail: str) -> None:
        super().__init__(None, "", operation, detail)


class LibraryNotFound(Error, OSError):
    """The library could not be loaded from any of the places tried (also an
    ``OSError``, as ctypes reports a library it cannot load)."""

    def __init__(self, detail: str) -> None:
        super().__init__(None, "", "loading the QUVXVR library", detail)
