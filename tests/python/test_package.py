"""The package around the compiled module: its keywords, its version, paths
with NUL bytes, and Ctrl-C during a long conversion."""

import os
import signal
import subprocess
import sys
import textwrap
import time

import pytest
import sievetext


def test_an_unknown_keyword_is_named_with_the_valid_ones():
    for call in (lambda: sievetext.convert("x", RemoveScript=False),
                 lambda: sievetext.convert_file("a", "b", RemoveScript=False)):
        with pytest.raises(TypeError) as raised:
            call()
        message = str(raised.value)
        assert "'RemoveScript'" in message
        assert "RemoveScripts" in message and "lf" in message
        assert len(message.splitlines()) == 1 and len(message) < 400, message


def test_version_is_the_programs(program):
    shown = subprocess.run([program, "--version"], capture_output=True, text=True, check=True)
    assert shown.stdout.split()[-1] == sievetext.__version__


def test_a_path_with_a_nul_byte_is_refused_for_either_path(tmp_path):
    page = tmp_path / "page.html"
    page.write_bytes(b"<p>text</p>")
    victim = tmp_path / "victim.txt"
    victim.write_bytes(b"old")
    for src, dst in ((page, str(victim) + "\0.bak"), (str(page) + "\0.x", victim),
                     (page, os.fsencode(victim) + b"\0.bak")):
        with pytest.raises(ValueError):
            sievetext.convert_file(src, dst)
    assert victim.read_bytes() == b"old"
    assert sorted(p.name for p in tmp_path.iterdir()) == ["page.html", "victim.txt"]


# Converts a long document again and again, after saying so, until
# KeyboardInterrupt, then prints the moment it was raised. Looping keeps the
# signal inside a conversion however fast the machine is.
INTERRUPTED = textwrap.dedent("""
    import sys, time
    import sievetext
    what, src, dst = sys.argv[1:]
    html = open(src, "rb").read()
    print("started", flush=True)
    try:
        while True:
            if what == "file":
                sievetext.convert_file(src, dst)
            else:
                sievetext.convert(html)
    except KeyboardInterrupt:
        print("interrupted %.6f" % time.monotonic(), flush=True)
        sys.exit(0)
""")


@pytest.mark.parametrize("what", ["file", "text"])
def test_ctrl_c_stops_a_long_conversion_at_once(what, tmp_path):
    src = tmp_path / "long.html"
    # Entities and tags in every line keep every pass busy.
    src.write_bytes(b"<p>caf&eacute; &amp; <b>tea</b> {x} | y</p>\r\n" * (1 << 20))
    dst = tmp_path / "out.txt"
    dst.write_bytes(b"old")
    child = subprocess.Popen([sys.executable, "-c", INTERRUPTED, what, str(src), str(dst)],
                             stdout=subprocess.PIPE, text=True, env=os.environ.copy())
    assert child.stdout.readline() == "started\n"
    time.sleep(0.3)
    sent = time.monotonic()
    child.send_signal(signal.SIGINT)
    said = child.stdout.readline().split()
    child.wait(timeout=60)
    assert said[:1] == ["interrupted"], "the conversion was not interrupted: %s" % said
    # Generous: the call returns at its next step, well within a second.
    assert float(said[1]) - sent < 1.0
    # The output is what it was before the interrupted call: the old bytes or
    # a whole earlier result, never part of one, and nothing else is left.
    written = dst.read_bytes()
    if written != b"old":
        sievetext.convert_file(src, tmp_path / "whole.txt")
        assert written == (tmp_path / "whole.txt").read_bytes()
        (tmp_path / "whole.txt").unlink()
    assert sorted(p.name for p in tmp_path.iterdir()) == ["long.html", "out.txt"]
