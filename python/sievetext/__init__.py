"""Turns HTML documents into plain text, byte for byte as the sievetext command does.

Every clean-up option is a keyword argument of convert() and convert_file(),
on unless set to False: RemoveComments, RemoveScripts, RemoveStyles,
RemoveFunctions, RemovePipe, RemoveTabs, GenerateSpecialChars, RemoveAllTags,
RemoveAllCRLF, RemoveSpaces, RemoveBlankLines. lf=True writes LF line breaks
instead of CR LF. Conversions release the interpreter lock, so threads convert
in parallel. sievetext.dask converts big collections on a Dask cluster.
"""

import re

from . import _sievetext
from ._sievetext import OPTIONS, __version__

__all__ = ["OPTIONS", "__version__", "convert", "convert_file"]


def _keywords(function):
    """The keyword names of a compiled function, read from the signature that
    heads its docstring: "convert(html: object, *, RemoveComments: bool = True, ...)"."""
    signature = function.__doc__.split("\n", 1)[0]
    keywords = signature[signature.index("*,") + 2:]
    return tuple(re.findall(r"(?:^|, )(\w+):", keywords.strip()))


_CONVERT_KEYWORDS = _keywords(_sievetext.convert)
_CONVERT_FILE_KEYWORDS = _keywords(_sievetext.convert_file)


def _check(function, options, known):
    for name in options:
        if name not in known:
            raise TypeError("%s() got an unknown option %r; the options are %s"
                            % (function, name, ", ".join(known)))


def convert(html, **options):
    _check("convert", options, _CONVERT_KEYWORDS)
    return _sievetext.convert(html, **options)


def convert_file(src, dst, **options):
    _check("convert_file", options, _CONVERT_FILE_KEYWORDS)
    _sievetext.convert_file(src, dst, **options)


convert.__doc__ = _sievetext.convert.__doc__
convert_file.__doc__ = _sievetext.convert_file.__doc__
