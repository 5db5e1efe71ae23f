#!/usr/bin/python3
"""Converts a folder tree of HTML to text files on a Dask cluster.

    dask_convert.py [--scheduler ADDRESS] [--without NAME]... [--lf] SOURCE DEST

Every file under SOURCE whose name ends in .html or .htm (any case) becomes
DEST/<same subfolder>/<name without its last extension>.txt. Names starting
with "." are skipped, files and folders alike; symbolic links to folders are
not followed. Without --scheduler a local cluster is started on this machine.
The workers must see SOURCE and DEST at the same paths (one machine, or a
shared file system) and be able to import the sievetext module.

From Python, convert_tree() does the same, and convert_records() converts an
iterable of (name, html) records, so the pages can come from anywhere (a
database, a web archive, a bag of your own).

Exit status: 0 every page was converted, 1 at least one failed (each failure
is printed to standard error as "dask_convert: PATH: what went wrong").
"""

import argparse
import os
import sys
import time

import dask.bag as db
from dask.distributed import Client, LocalCluster

OPTION_NAMES = (
    "GenerateSpecialChars", "RemoveAllCRLF", "RemoveAllTags", "RemoveBlankLines",
    "RemoveComments", "RemoveFunctions", "RemovePipe", "RemoveScripts", "RemoveSpaces",
    "RemoveStyles", "RemoveTabs",
)


def find_pages(source):
    """The relative paths of the HTML files under `source`, sorted."""
    pages = []
    for folder, folders, files in os.walk(source):
        folders[:] = sorted(f for f in folders if not f.startswith("."))
        for name in files:
            if not name.startswith(".") and name.lower().endswith((".html", ".htm")):
                pages.append(os.path.relpath(os.path.join(folder, name), source))
    return sorted(pages)


def text_name(relative):
    """a/b.html -> a/b.txt; notes -> notes.txt."""
    folder, name = os.path.split(relative)
    stem = name.rsplit(".", 1)[0] if "." in name[1:] else name
    return os.path.join(folder, stem + ".txt")


def _convert_files(pairs, options):
    # Runs on a worker: one task per partition, not per page.
    import sievetext

    failures = []
    for src, dst in pairs:
        try:
            os.makedirs(os.path.dirname(dst) or ".", exist_ok=True)
            sievetext.convert_file(src, dst, **options)
        except (OSError, ValueError, RuntimeError, MemoryError) as error:
            failures.append((src, str(error)))
    return [(len(pairs), failures)]


def _convert_records(records, dest, options):
    import sievetext

    failures = []
    count = 0
    for name, html in records:
        count += 1
        dst = os.path.join(dest, text_name(name))
        try:
            text = sievetext.convert(html, **options)
            os.makedirs(os.path.dirname(dst) or ".", exist_ok=True)
            temporary = "%s.%d.part" % (dst, os.getpid())
            with open(temporary, "w", encoding="utf-8", newline="") as out:
                out.write(text)
            os.replace(temporary, dst)  # whole or not at all
        except (OSError, ValueError, RuntimeError, MemoryError) as error:
            failures.append((name, str(error)))
    return [(count, failures)]


def _check_collisions(pairs):
    seen = {}
    for src, dst in pairs:
        if dst in seen:
            raise Collision("%s and %s would both write %s" % (seen[dst], src, dst))
        seen[dst] = src


def _partitions(client, count):
    workers = max(1, sum(client.nthreads().values()))
    return max(1, min(count, workers * 4))


def _summarise(bag):
    converted = 0
    failures = []
    for count, failed_here in bag.compute():
        converted += count - len(failed_here)
        failures += failed_here
    return converted, failures


class Collision(ValueError):
    """Two pages would be written to the same text file."""


def convert_tree(client, source, dest, **options):
    """Converts the HTML files under `source` into text files under `dest`.
    Returns (pages converted, [(path, error text), ...]). Raises Collision,
    before anything is written, when two pages would make the same file
    (a.html and a.htm)."""
    pairs = [(os.path.join(source, p), os.path.join(dest, text_name(p))) for p in find_pages(source)]
    _check_collisions(pairs)
    if not pairs:
        return 0, []
    bag = db.from_sequence(pairs, npartitions=_partitions(client, len(pairs)))
    return _summarise(bag.map_partitions(_convert_files, options))


def convert_records(client, records, dest, **options):
    """Converts (name, html) records, html as str or bytes, into the text
    files dest/<name without its extension>.txt. Returns and raises what
    convert_tree does."""
    records = list(records)
    _check_collisions([(name, os.path.join(dest, text_name(name))) for name, _ in records])
    if not records:
        return 0, []
    bag = db.from_sequence(records, npartitions=_partitions(client, len(records)))
    return _summarise(bag.map_partitions(_convert_records, dest, options))


def main(argv=None):
    parser = argparse.ArgumentParser(description="Converts a folder tree of HTML to text on Dask.")
    parser.add_argument("source", help="folder holding the HTML files")
    parser.add_argument("dest", help="folder for the text files (created as needed)")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="the cluster's scheduler, e.g. tcp://10.0.0.5:8786 "
                             "(default: a local cluster)")
    parser.add_argument("--workers", type=int, default=None,
                        help="workers of the local cluster (default: one per core)")
    parser.add_argument("--without", action="append", default=[], metavar="NAME",
                        choices=OPTION_NAMES, help="turn an option off (repeatable)")
    parser.add_argument("--lf", action="store_true", help="LF line breaks instead of CR LF")
    args = parser.parse_args(argv)

    options = {name: False for name in args.without}
    options["lf"] = args.lf
    if args.scheduler:
        client = Client(args.scheduler)
        cluster = None
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1,
                               dashboard_address=None)
        client = Client(cluster)
    try:
        began = time.monotonic()
        converted, failures = convert_tree(client, args.source, args.dest, **options)
        seconds = time.monotonic() - began
    except Collision as error:
        print("dask_convert: %s" % error, file=sys.stderr)
        return 1
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    for path, error in failures:
        print("dask_convert: %s: %s" % (path, error), file=sys.stderr)
    rate = converted / seconds if seconds > 0 else 0.0
    print("%d pages converted, %d failed, %.2f s, %.1f pages/s"
          % (converted, len(failures), seconds, rate))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
