"""The Dask example on a real scheduler and two workers on 127.0.0.1."""

import json
import os
import signal
import subprocess
import sys
import time

import pytest

from pages import page_tree

EXAMPLE = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "dask_convert.py")
PAGES = 500
START_SECONDS = 90


def _start(arguments, log):
    # A session of its own, so that stopping it stops its children too.
    return subprocess.Popen(arguments, stdout=log, stderr=subprocess.STDOUT,
                            start_new_session=True, env=os.environ.copy())


def _stop(process):
    if process.poll() is None:
        os.killpg(process.pid, signal.SIGTERM)
        try:
            process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait(timeout=15)


@pytest.fixture
def cluster(tmp_path):
    """The scheduler's address, with two single-thread workers attached."""
    scheduler_file = tmp_path / "scheduler.json"
    log = open(tmp_path / "cluster.log", "wb")
    dask = ["/usr/bin/dask"]
    processes = [_start(dask + ["scheduler", "--host", "127.0.0.1", "--port", "0",
                                "--no-dashboard", "--scheduler-file", str(scheduler_file)], log)]
    try:
        deadline = time.monotonic() + START_SECONDS
        while not scheduler_file.exists() or not scheduler_file.read_text().strip():
            assert processes[0].poll() is None, "the scheduler ended: see %s" % log.name
            assert time.monotonic() < deadline, "no scheduler after %d s" % START_SECONDS
            time.sleep(0.2)
        address = json.loads(scheduler_file.read_text())["address"]
        for _ in range(2):
            processes.append(_start(dask + ["worker", address, "--host", "127.0.0.1",
                                            "--nthreads", "1",
                                            "--no-dashboard", "--no-nanny"], log))

        from dask.distributed import Client
        with Client(address, timeout=START_SECONDS) as client:
            client.wait_for_workers(2, timeout=START_SECONDS)
        yield address
    finally:
        for process in reversed(processes):
            _stop(process)
        log.close()


def test_example_on_two_workers_matches_the_command(cluster, command, tmp_path):
    source = tmp_path / "pages"
    dest = tmp_path / "text"
    pages, generated = page_tree(str(source), PAGES)
    print("%d pages, %d of them generated" % (len(pages), generated))

    result = subprocess.run([sys.executable, EXAMPLE, "--scheduler", cluster,
                             str(source), str(dest)],
                            capture_output=True, text=True, timeout=600)
    assert result.returncode == 0, result.stderr
    assert result.stdout.startswith("%d pages converted, 0 failed" % PAGES), result.stdout

    scratch = tmp_path / "scratch"
    scratch.mkdir()
    written = sorted(os.path.relpath(os.path.join(d, f), dest)
                     for d, _, files in os.walk(dest) for f in files)
    assert written == sorted(os.path.splitext(p)[0] + ".txt" for p in pages)
    for page in pages:
        with open(source / page, "rb") as html:
            expected = command.convert(html.read(), str(scratch))
        with open(dest / (os.path.splitext(page)[0] + ".txt"), "rb") as text:
            assert text.read() == expected, page
