"""Registration of legacy mainframe sources into a workspace.

Workspace opens or creates a workspace and registers, refreshes, unregisters and invalidates
its objects; CCSID converts EBCDIC records with a code page table; ZIP and RAR extract archives.
Every failure of the library raises Error with the library's number, source and description.
The GIL is released while the library works, so other threads go on meanwhile.
"""

import enum as _enum

from ._native import (CCSID, SOSI, Error, Extraction, LogEntry, ObjectInfo, ObjectTypeInfo,
                      PasswordRequest, Refreshed, Workspace)
from . import _native

__all__ = ["CCSID", "SOSI", "Error", "Extraction", "LogEntry", "ObjectInfo", "ObjectTypeInfo",
           "PasswordRequest", "Refreshed", "Result", "Workspace", "ZIP", "RAR"]


class Result(_enum.IntFlag):
    """Results of registration and refresh (a refresh combines OK with those of its objects)."""
    NO_REFRESH_NEEDED = 0
    OK = 1
    SOURCE_FILE_IS_MISSED = 2
    ERROR_ON_CREATE_SOURCE_DIRECTORY = 4
    FILE_ALREADY_EXISTS = 8
    OBJECT_ALREADY_EXISTS = 16
    ERROR_ON_CREATE_OBJECT = 32
    ERROR_ON_SET_SOURCE_ATTR = 64
    ERROR_ON_SET_ORIGINAL_SOURCE_ATTR = 128
    UNEXPECTED_REGISTRATION_ERROR = 256
    ORIGINAL_SOURCE_UNKNOWN = 512


def _password_callback(password):
    """A str answers the first question only; a callable is given each PasswordRequest; None
    refuses them."""
    if password is None or callable(password):
        return password
    answers = [str(password)]
    return lambda request: answers.pop() if answers else None


class ZIP:
    """Extraction of zip archives."""

    @staticmethod
    def extract(archive, output, member="", password=None):
        """Extracts the members that `member` selects (a name or a pattern with * ? [...];
        everything when empty) into `output`. `password`: a str, or a callable given the prompt
        given a PasswordRequest (archive, member, last_was_wrong) that answers a str (None or ""
        refuses). Returns an Extraction; raises Error 53 for a
        missing archive and 321 for a file that is not a zip archive."""
        return _native.extract_zip(archive, output, member, _password_callback(password))


class RAR:
    """Extraction of RAR archives (RAR 4 and 5, encrypted ones with their password)."""

    @staticmethod
    def extract(archive, output, member="", password=None):
        """Extracts the members whose stored paths begin with `member` (letter case ignored,
        \\ and / alike; everything when empty) into `output`. `password` as for ZIP.extract.
        Returns an Extraction; raises Error 53 for a missing archive and 321 for a file that is
        not a RAR archive."""
        return _native.extract_rar(archive, output, member, _password_callback(password))
