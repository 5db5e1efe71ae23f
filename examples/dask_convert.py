#!/usr/bin/python3
"""Converts a folder tree of HTML to text files on a Dask cluster.

    dask_convert.py [--scheduler ADDRESS] [--without NAME]... [--lf] SOURCE DEST

Every file under SOURCE whose name ends in .html or .htm (any case) becomes
DEST/<same subfolder>/<name without its last extension>.txt. Names starting
with "." are skipped, files and folders alike; symbolic links to folders are
not followed. Without --scheduler a local cluster is started on this machine.
The workers must see SOURCE and DEST at the same paths (one machine, or a
shared file system) and have the sievetext package installed.

The work is done by sievetext.dask.convert_tree(); its convert_records()
converts an iterable of (name, html) records the same way.

Exit status: 0 every page was converted, 1 at least one failed or a folder
could not be read (each failure is printed to standard error as
"dask_convert: PATH: what went wrong").
"""

import argparse
import sys
import time

from dask.distributed import Client, LocalCluster

import sievetext
from sievetext.dask import Collision, convert_tree


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
                        choices=sievetext.OPTIONS, help="turn an option off (repeatable)")
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
