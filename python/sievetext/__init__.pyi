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
    layout: bool = False,
) -> str:
    """Converts one whole document and returns its text.

    bytes are read as a file is (a UTF-8 or UTF-16 byte-order mark chooses the
    encoding, then a charset the page declares in its first 1024 bytes, such as
    <meta charset="koi8-r">; otherwise, and for a declared UTF-8, ISO-8859-1,
    US-ASCII or Windows-1252, well-formed UTF-8 as UTF-8 and any other byte as
    Windows-1252); a str is read as its UTF-8 encoding, whatever charset the
    page declares. Line breaks are CR LF unless lf is true. Releases the
    interpreter lock while converting.

    layout=True is the reading mode: the page's visible text laid out as a
    browser lays it out (blocks, list items and table rows on lines of their
    own, an empty line around paragraphs, cells separated by tabs, white space
    collapsed except in preformatted text, every character reference decoded,
    nothing from head, scripts, styles, comments or attributes). The page's
    own <style> elements and style attributes apply as far as they change
    the text (display, visibility, white-space, text-transform, float,
    position, content-visibility; media queries as for an 800x600 screen).
    On top of it RemoveAllCRLF (on by default) still joins the lines with
    spaces, so pass RemoveAllCRLF=False to keep them; RemoveBlankLines drops empty
    lines, RemoveSpaces collapses spaces, RemoveTabs and RemovePipe make tabs
    and '|' spaces, and GenerateSpecialChars=False leaves references as
    written; the other five options do nothing in this mode. For the layout
    alone: convert(html, layout=True, **{name: False for name in OPTIONS},
    GenerateSpecialChars=True).

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
    layout: bool = False,
) -> None:
    """Converts the file src into the file dst (UTF-8, no byte-order mark).

    dst is replaced whole and atomically; after a failure, or Ctrl-C
    (KeyboardInterrupt) during the conversion, it is exactly as it was.
    layout=True converts in the reading mode (see convert), in one streaming
    pass, with the style sheets the page links or imports by a relative path
    read from beside src (never a URL, an absolute path, a device or a FIFO;
    regular files of up to 1 MiB, at most 64; a missing one is skipped). Raises FileNotFoundError when src is not a normal file (missing, a
    folder or a hidden file), ValueError when src is empty or a path is '' or
    holds a NUL byte, or when src and dst are the same file, OSError when
    reading or writing fails, TypeError for an unknown option.
    """
