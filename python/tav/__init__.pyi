# Types of the package tav (the module is compiled; see its docstrings).
import os
from typing import List, NamedTuple, Optional, Tuple, Union

__version__: str

_Bytes = Union[bytes, bytearray, memoryview, str]
_Path = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

class Message:
    @property
    def kind(self) -> str: ...
    @property
    def text(self) -> str: ...
    @property
    def position(self) -> Optional[int]: ...
    @property
    def byte(self) -> Optional[int]: ...

class Result:
    @property
    def ok(self) -> bool: ...
    @property
    def status(self) -> str: ...
    @property
    def data(self) -> bytes: ...
    @property
    def xml(self) -> str: ...
    @property
    def file_name(self) -> str: ...
    @property
    def messages(self) -> List[Message]: ...
    @property
    def identifier(self) -> int: ...
    @property
    def number(self) -> str: ...

class FileReport(NamedTuple):
    written: int
    failed: int
    blank_lines: int
    problems: List[Tuple[int, Result]]

def convert(line: _Bytes, *, remove_mensural: bool = ...,
            remove_measure_rests: bool = ...) -> Result: ...
def convert_fields(identifier: _Bytes, number: _Bytes, clef: _Bytes, time: _Bytes,
                   time2: _Bytes, music: _Bytes, *, remove_mensural: bool = ...,
                   remove_measure_rests: bool = ...) -> Result: ...
def convert_file(path: _Path, out_dir: _Path, *, remove_mensural: bool = ...,
                 remove_measure_rests: bool = ...) -> FileReport: ...
