"""Turns HTML documents into plain text, byte for byte as the sievetext command does."""

import os
from typing import Final, Union

_Html = Union[str, bytes, bytearray, memoryview]
_Path = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]

OPTIONS: Final[tuple[str, ...]]
"""The eleven option names, alphabetical."""

__version__: Final[str]
"""The version of the sievetext program this package converts as."""

def convert(
    html: _Html,
    *,
    RemoveComments: bool = True,
    RemoveScripts: bool = True,
    RemoveStyles: bool = True,
    RemoveFunctions: bool = True,
    RemovePipe: bool = True,
    RemoveTabs: bool = True,
    GenerateSpecialChars: bool = True,
    RemoveAllTags: bool = True,
    RemoveAllCRLF: bool = True,
    RemoveSpaces: bool = True,
    RemoveBlankLines: bool = True,
    lf: bool = False,
) -> str:
    """Converts one whole document and returns its text.

    bytes are read as a file is (a UTF-8 or UTF-16 byte-order mark chooses the
    encoding, then a charset the page declares in its first 1024 bytes, such as
    <meta charset="koi8-r">; otherwise, and for a declared UTF-8, ISO-8859-1,
    US-ASCII or Windows-1252, well-formed UTF-8 as UTF-8 and any other byte as
    Windows-1252); a str is read as its UTF-8 encoding, whatever charset the
    page declares. Line breaks are CR LF unless lf is true. Releases the
    interpreter lock while converting.

    Raises TypeError for an unknown option, UnicodeEncodeError for a str holding
    a lone surrogate, MemoryError when the document does not fit in memory.
    Ctrl-C (KeyboardInterrupt) stops a long conversion at once.
    """

def convert_file(
    src: _Path,
    dst: _Path,
    *,
    RemoveComments: bool = True,
    RemoveScripts: bool = True,
    RemoveStyles: bool = True,
    RemoveFunctions: bool = True,
    RemovePipe: bool = True,
    RemoveTabs: bool = True,
    GenerateSpecialChars: bool = True,
    RemoveAllTags: bool = True,
    RemoveAllCRLF: bool = True,
    RemoveSpaces: bool = True,
    RemoveBlankLines: bool = True,
    lf: bool = False,
) -> None:
    """Converts the file src into the file dst (UTF-8, no byte-order mark).

    dst is replaced whole and atomically; after a failure, or Ctrl-C
    (KeyboardInterrupt) during the conversion, it is exactly as it was.
    Raises FileNotFoundError when src is not a normal file (missing, a folder
    or a hidden file), ValueError when src is empty or a path is '' or holds a
    NUL byte, OSError when reading or writing fails, TypeError for an unknown
    option.
    """
