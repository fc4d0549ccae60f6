"""Type stubs of svregistration: legacy mainframe sources registered into a workspace."""
import enum
import os
import pathlib
from typing import Callable, Iterator, Optional, Sequence, Union

_Path = Union[str, os.PathLike[str]]
_Progress = Callable[[int, int], object]
_BytesLike = Union[bytes, bytearray, memoryview]

class Error(RuntimeError):
    """An error of the library; str() of it is the description."""
    number: int
    source: str
    description: str
    registration: Registration  # on an error that ended a registration run: what it kept

class Result(enum.IntFlag):
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

class SOSI(enum.Enum):
    """What to_unicode does with shift-out/shift-in bytes."""
    KEEP_ALL = 0
    REMOVE_ALL = 1
    KEEP_IN_LITERALS = 2
    REPLACE_ALL = 3

class CCSID:
    """An EBCDIC code page table with conversions of 80-byte records."""
    def __init__(self) -> None: ...
    @staticmethod
    def import_map(path: _Path, ccsid: int) -> CCSID: ...
    @staticmethod
    def from_icu(converter: str, ccsid: int = 0) -> CCSID: ...
    @staticmethod
    def load(path: _Path, ccsid: int = 0) -> CCSID: ...
    def save(self, path: _Path) -> None: ...
    @property
    def ccsid(self) -> int: ...
    @property
    def file_name(self) -> str: ...
    UNICODE_TEXT: int  # the code page of to_unicode that holds every character
    def to_unicode(self, records: _BytesLike, sosi: SOSI = SOSI.KEEP_ALL,
                   code_page: Optional[int] = None) -> str:
        """Records to lines joined by CR LF, double-byte characters as the locale's ANSI code
        page (or `code_page`) holds them; the GIL is released while it converts."""
    def to_ebcdic(self, text: str) -> bytes:
        """Text to records; the GIL is released while it converts."""

class Extraction:
    """What an extraction came to; true when every selected member was written."""
    ok: bool  # what the library answers
    not_extracted: list[tuple[str, str]]  # (member, reason), in archive order
    unread_headers: str  # why the walk over the members stopped early; "" when it did not
    extracted: int
    selected: int
    def __bool__(self) -> bool: ...

class PasswordRequest:
    archive: str
    member: str  # "" for the member names of an archive whose headers are encrypted
    last_was_wrong: bool

_Password = Union[str, Callable[[PasswordRequest], Optional[str]], None]

class ZIP:
    @staticmethod
    def extract(archive: _Path, output: _Path, member: str = "",
                password: _Password = None) -> Extraction: ...

class RAR:
    @staticmethod
    def extract(archive: _Path, output: _Path, member: str = "",
                password: _Password = None) -> Extraction: ...

class ObjectInfo:
    id: str
    type: str
    name: str
    source: str  # the registered copy, relative to the workspace folder
    original: str

class ObjectTypeInfo:
    code: str
    display_name: str
    source_attribute: str
    handler: str

class LogEntry:
    sequence: int
    time: str  # UTC, ISO 8601 with milliseconds
    title: str
    severity: int  # 0 information, 1 warning, 2 error
    object_id: Optional[str]
    text: str

class FileResult:
    """What one file's registration came to, as svreg register reports it."""
    file: str
    type: str
    name: str
    code: int  # a Result
    result: str  # the result's name ("rOK", ...)
    outcome: str  # "registered", "unchanged", "changed", "name_taken", "refused", "failed"
    id: str  # the object registered, registered before, or holding the name
    original: str  # the original of the object holding the name ("name_taken")
    reason: str  # why it was not registered; "" when it was
    def __bool__(self) -> bool: ...  # registered from its original (now or before)

class Registration(Sequence[FileResult]):
    """One result per file tried, in the order tried, and the files skipped."""
    results: list[FileResult]
    skipped: list[str]  # files no type lists (or that the requested type does not)
    type: str  # the type the run was given; "" for types by extension
    def __len__(self) -> int: ...
    def __getitem__(self, index: int) -> FileResult: ...  # type: ignore[override]
    def __iter__(self) -> Iterator[FileResult]: ...
    def __bool__(self) -> bool: ...  # no file failed
    @property
    def summary(self) -> str: ...  # as svreg register prints it

class ObjectRefresh:
    id: str
    name: str
    original: str
    code: int  # a Result
    outcome: str  # "copied", "unchanged", "settings_changed", "failed"
    reason: str

class Refreshed:
    result: int  # Result.OK combined with the results of the objects refreshed
    copied: int
    objects: list[ObjectRefresh]
    stopped: bool  # an unexpected error ended the run early

class CopyStatus:
    id: str
    name: str
    type: str
    source: str
    original: str
    # "up_to_date", "modified", "original_missing", "original_unknown", "copy_missing",
    # "settings_changed", "unreadable", "untracked"
    state: str
    detail: str

class Workspace:
    """A workspace folder. As a context manager its changes share one batch, committed between
    operations when due and at the block's end (also when it ends by an exception)."""
    @staticmethod
    def create(path: _Path, repository: Optional[str] = None) -> Workspace: ...
    @staticmethod
    def open(path: _Path) -> Workspace: ...
    @property
    def path(self) -> pathlib.Path: ...
    def close(self) -> None: ...
    def objects(self, type: Optional[str] = None) -> list[ObjectInfo]: ...
    def types(self) -> list[ObjectTypeInfo]: ...
    def log(self) -> list[LogEntry]: ...
    def register(self, paths: Union[_Path, Sequence[_Path]], type: Optional[str] = None,
                 encoding: bool = False, name: Optional[str] = None,
                 progress: Optional[_Progress] = None) -> Registration: ...
    def status(self, ids: Union[str, Sequence[str], None] = None) -> list[CopyStatus]: ...
    def refresh(self, id: str, force: bool = False, source: Optional[_Path] = None,
                progress: Optional[_Progress] = None) -> Refreshed: ...
    def unregister(self, ids: Union[str, Sequence[str]]) -> list[str]: ...
    def invalidate(self, ids: Union[str, Sequence[str]], strong: bool = False) -> bool: ...
    def __enter__(self) -> Workspace: ...
    def __exit__(self, *exc: object) -> None: ...
