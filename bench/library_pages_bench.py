#!/usr/bin/python3
"""Pages per second of the Python module (one thread, two threads), of the
Dask example on a local cluster of two single-thread workers, and of the
sievetext command (one process per page, and `-d` batches when the command
has them), all on the same pages in one run.

Usage: PYTHONPATH=BUILD/python /usr/bin/python3 bench/library_pages_bench.py \
           BUILD/bin/sievetext [PAGES] [ROUNDS]
PAGES (default 500) come from /usr/share/doc, topped up with generated pages
when the machine has fewer; the module figures convert them ROUNDS times
(default 5) and keep the best round.
"""

import os
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "python"))
sys.path.insert(0, os.path.join(HERE, "..", "examples"))

import sievetext  # noqa: E402
from pages import Command, page_tree  # noqa: E402


def best_rate(count, rounds, work):
    best = float("inf")
    for _ in range(rounds):
        began = time.perf_counter()
        work()
        best = min(best, time.perf_counter() - began)
    return count / best


def main():
    program = os.path.abspath(sys.argv[1])
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 500
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    with tempfile.TemporaryDirectory(prefix="sievetext-pages-bench-") as work:
        source = os.path.join(work, "pages")
        relative, generated = page_tree(source, count)
        paths = [os.path.join(source, r) for r in relative]
        documents = [open(p, "rb").read() for p in paths]
        megabytes = sum(map(len, documents)) / 1e6
        print("%d pages (%d generated), %.1f MB" % (count, generated, megabytes))

        one = best_rate(count, rounds, lambda: [sievetext.convert(d) for d in documents])
        print("module, 1 thread:   %8.1f pages/s" % one)
        with ThreadPoolExecutor(2) as pool:
            def two_threads():
                halves = [documents[0::2], documents[1::2]]
                list(pool.map(lambda part: [sievetext.convert(d) for d in part], halves))
            two = best_rate(count, rounds, two_threads)
        print("module, 2 threads:  %8.1f pages/s (%.2fx one thread)" % (two, two / one))

        import dask_convert
        from dask.distributed import Client, LocalCluster
        with LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None) as cluster, \
                Client(cluster) as client:
            client.wait_for_workers(2)
            dask_convert.convert_tree(client, source, os.path.join(work, "warm"))
            out = os.path.join(work, "dask")
            rate = best_rate(count, rounds,
                             lambda: dask_convert.convert_tree(client, source, out))
        print("dask, 2 workers:    %8.1f pages/s (%.2fx the module in one thread)" % (rate, rate / one))

        command = Command(program, os.path.join(work, "config"))
        out = os.path.join(work, "cli")
        os.makedirs(out)

        def per_process():
            for index, path in enumerate(paths):
                command.convert_file(path, os.path.join(out, "%d.txt" % index))
        rate = best_rate(count, 1, per_process)
        print("sievetext, 1 process per page: %8.1f pages/s" % rate)

        env = dict(os.environ, XDG_CONFIG_HOME=command.home, HOME=command.home)
        batch = [program, "-d", os.path.join(work, "batch"), "-r", source]
        probe = subprocess.run(batch, env=env, capture_output=True)
        if probe.returncode == 0:
            rate = best_rate(count, rounds, lambda: subprocess.run(batch, env=env, check=True))
            print("sievetext -d -r (all cores): %8.1f pages/s" % rate)
        else:
            print("sievetext -d: not available in this build")


if __name__ == "__main__":
    main()
