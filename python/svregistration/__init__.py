"""Registration of legacy mainframe sources into a workspace.

Workspace opens or creates a workspace and registers, refreshes, unregisters and invalidates
its objects; CCSID converts EBCDIC records with a code page table; ZIP and RAR extract archives.
Every failure of the library raises Error with the library's number, source and description.
The GIL is released while the library works, so other threads go on meanwhile.
"""

import enum as _enum

from ._native import (CCSID, SOSI, CopyStatus, Error, Extraction, FileResult, LogEntry,
                      ObjectInfo, ObjectRefresh, ObjectTypeInfo, PasswordRequest, Refreshed,
                      Registration, Workspace)
from . import _native

__all__ = ["CCSID", "SOSI", "CopyStatus", "Error", "Extraction", "FileResult", "LogEntry",
           "ObjectInfo", "ObjectRefresh", "ObjectTypeInfo", "PasswordRequest", "Refreshed",
           "Registration", "Result", "Workspace", "ZIP", "RAR"]


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


def _summary(registration):
    """What svreg register prints last: "4 files: 3 registered, 1 changed; 1 skipped: no type
    lists .md" (or "COBOL lists no .md" when the run was given a type)."""
    counts = {}
    for result in registration:
        counts[result.outcome] = counts.get(result.outcome, 0) + 1
    order = ["registered", "unchanged", "changed", "name_taken", "refused", "failed"]
    text = f"{len(registration)} file{'' if len(registration) == 1 else 's'}"
    if counts:
        text += ": " + ", ".join(f"{counts[o]} {o}" for o in order if o in counts)
    if registration.skipped:
        extensions = sorted({_extension(f) for f in registration.skipped})
        lists = f"{registration.type} lists no" if registration.type else "no type lists"
        text += f"; {len(registration.skipped)} skipped: {lists} {', '.join(extensions)}"
    return text


def _extension(path):
    name = path.rsplit("/", 1)[-1]
    dot = name.rfind(".")
    return name[dot:] if dot > 0 else "(no extension)"


Registration.summary = property(_summary, doc=_summary.__doc__)
