"""Conversion of big collections on a Dask cluster.

convert_tree() converts every .html/.htm file below a folder into a text file
below another; convert_records() converts (name, html) records, so that the
pages can come from anywhere (a database, a web archive, a bag of your own).
Both work on the given client's cluster, one task per partition; the workers
need this package installed and, for convert_tree(), the folders at the same
paths (one machine, or a shared file system). Options are the keyword
arguments of sievetext.convert().
"""

import os
from typing import Any, Iterable, Iterator, List, Optional, Sequence, Tuple, Union

import dask.bag as db

import sievetext

__all__ = ["Collision", "convert_records", "convert_tree", "find_pages", "text_name"]

# (path or record name, what went wrong)
Failure = Tuple[str, str]


class Collision(ValueError):
    """Two pages would be written to the same text file."""


def find_pages(source: str, unreachable: Optional[List[Failure]] = None) -> List[str]:
    """The relative paths of the HTML files under `source`, sorted. Names
    starting with "." are skipped, files and folders alike; links to folders
    are not followed. Each folder that cannot be read is added to
    `unreachable` as (path, reason), when given."""
    def note(error: OSError) -> None:
        if unreachable is not None:
            unreachable.append((error.filename or source, _reason(error)))

    pages = []
    for folder, folders, files in os.walk(source, onerror=note):
        folders[:] = sorted(f for f in folders if not f.startswith("."))
        for name in files:
            if not name.startswith(".") and name.lower().endswith((".html", ".htm")):
                pages.append(os.path.relpath(os.path.join(folder, name), source))
    return sorted(pages)


def text_name(relative: str) -> str:
    """a/b.html -> a/b.txt; notes -> notes.txt."""
    folder, name = os.path.split(relative)
    stem = name.rsplit(".", 1)[0] if "." in name[1:] else name
    return os.path.join(folder, stem + ".txt")


def _reason(error: BaseException, path: str = "") -> str:
    # The text without the file name, which the report puts first.
    if isinstance(error, OSError) and error.strerror:
        return error.strerror
    text = str(error)
    return text[len(path) + 2:] if path and text.startswith(path + ": ") else text


def _inside(dest: str, name: str) -> Optional[str]:
    """dest/<name as text file>, or None when the name would leave dest (an
    absolute path, "..")."""
    if not name or os.path.isabs(name):
        return None
    parts = os.path.normpath(name).split(os.sep)
    if parts[0] == os.pardir or "\0" in name:
        return None
    return os.path.join(dest, text_name(name))


_OUTSIDE = "the name leads outside the destination folder"


def _convert_files(pairs: Sequence[Tuple[str, str]], options: dict) -> List[Tuple[int, List[Failure]]]:
    # Runs on a worker: one task per partition, not per page.
    failures = []
    for src, dst in pairs:
        try:
            os.makedirs(os.path.dirname(dst) or ".", exist_ok=True)
            sievetext.convert_file(src, dst, **options)
        except (OSError, ValueError, RuntimeError, MemoryError) as error:
            failures.append((src, _reason(error, src)))
    return [(len(pairs), failures)]


def _convert_records(records: Sequence[Tuple[str, Union[str, bytes]]], dest: str,
                     options: dict) -> List[Tuple[int, List[Failure]]]:
    failures = []
    for name, html in records:
        dst = _inside(dest, name)
        if dst is None:
            failures.append((name, _OUTSIDE))
            continue
        try:
            text = sievetext.convert(html, **options)
            os.makedirs(os.path.dirname(dst) or ".", exist_ok=True)
            temporary = "%s.%d.part" % (dst, os.getpid())
            try:
                with open(temporary, "w", encoding="utf-8", newline="") as out:
                    out.write(text)
                os.replace(temporary, dst)  # whole or not at all
            except BaseException:
                if os.path.lexists(temporary):
                    os.unlink(temporary)
                raise
        except (OSError, ValueError, RuntimeError, MemoryError) as error:
            failures.append((name, _reason(error)))
    return [(len(records), failures)]


def _check_collisions(pairs: Iterable[Tuple[str, Optional[str]]]) -> None:
    seen = {}
    for src, dst in pairs:
        if dst is None:
            continue
        if dst in seen:
            raise Collision("%s and %s would both write %s" % (seen[dst], src, dst))
        seen[dst] = src


def _partitions(client: Any, count: int) -> int:
    workers = max(1, sum(client.nthreads().values()))
    return max(1, min(count, workers * 4))


def _summarise(results: Iterator[Tuple[int, List[Failure]]]) -> Tuple[int, List[Failure]]:
    converted = 0
    failures: List[Failure] = []
    for count, failed_here in results:
        converted += count - len(failed_here)
        failures += failed_here
    return converted, failures


def convert_tree(client: Any, source: str, dest: str, **options: Any) -> Tuple[int, List[Failure]]:
    """Converts the HTML files under `source` into text files under `dest`
    (<same subfolder>/<name without its last extension>.txt). Returns (pages
    converted, [(path, reason), ...]); a folder that cannot be read is one of
    the failures. Raises Collision, before anything is written, when two
    pages would make the same file (a.html and a.htm)."""
    sievetext._check("convert_tree", options, sievetext._CONVERT_FILE_KEYWORDS)
    unreachable: List[Failure] = []
    pairs = [(os.path.join(source, p), os.path.join(dest, text_name(p)))
             for p in find_pages(source, unreachable)]
    _check_collisions(pairs)
    if not pairs:
        return 0, unreachable
    bag = db.from_sequence(pairs, npartitions=_partitions(client, len(pairs)))
    converted, failures = _summarise(iter(bag.map_partitions(_convert_files, options).compute()))
    return converted, unreachable + failures


def convert_records(client: Any, records: Iterable[Tuple[str, Union[str, bytes]]], dest: str,
                    **options: Any) -> Tuple[int, List[Failure]]:
    """Converts (name, html) records, html as str or bytes, into the text
    files dest/<name without its extension>.txt. A name that would lead
    outside dest (absolute, or through "..") is a failure of its own record.
    Returns and raises what convert_tree() does."""
    sievetext._check("convert_records", options, sievetext._CONVERT_KEYWORDS)
    records = list(records)
    _check_collisions((name, _inside(dest, name)) for name, _ in records)
    if not records:
        return 0, []
    bag = db.from_sequence(records, npartitions=_partitions(client, len(records)))
    return _summarise(iter(bag.map_partitions(_convert_records, dest, options).compute()))
