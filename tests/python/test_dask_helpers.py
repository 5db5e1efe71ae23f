"""sievetext.dask without a cluster: the bags run on Dask's local scheduler."""

import os

import pytest
import sievetext.dask as sd


class LocalClient:
    """What the helpers ask of a client: how many threads the workers have."""

    def nthreads(self):
        return {"local": 2}


def test_records_named_outside_dest_fail_each_with_its_reason(tmp_path):
    dest = tmp_path / "dest"
    outside = tmp_path / "x.txt"
    records = [("../x.html", b"<b>a</b>"), (str(tmp_path / "y.html"), b"b"),
               ("sub/../../x.html", "c"), ("", "d"), ("good/page.html", "<p>fine</p>"),
               ("sub/../inside.html", "e")]
    converted, failures = sd.convert_records(LocalClient(), records, str(dest))
    assert converted == 2
    assert sorted(name for name, _ in failures) == sorted(
        ["../x.html", str(tmp_path / "y.html"), "sub/../../x.html", ""])
    for _, reason in failures:
        assert reason == "the name leads outside the destination folder"
    assert not outside.exists() and not (tmp_path / "y.txt").exists()
    assert (dest / "good" / "page.txt").read_text() == "fine"
    assert (dest / "inside.txt").read_text() == "e"


def test_unreadable_folders_are_counted_as_failures(tmp_path, monkeypatch):
    source = tmp_path / "site"
    (source / "open").mkdir(parents=True)
    (source / "closed").mkdir()
    (source / "open" / "a.html").write_text("<p>a</p>")
    (source / "closed" / "b.html").write_text("<p>b</p>")
    # Root reads every folder, so the refusal is the system's answer faked.
    real = os.scandir

    def scandir(path="."):
        if os.path.basename(os.fspath(path)) == "closed":
            raise PermissionError(13, "Permission denied", os.fspath(path))
        return real(path)

    monkeypatch.setattr(os, "scandir", scandir)
    converted, failures = sd.convert_tree(LocalClient(), str(source), str(tmp_path / "text"))
    assert converted == 1
    assert failures == [(str(source / "closed"), "Permission denied")]


def test_failures_name_the_path_once(tmp_path):
    source = tmp_path / "site"
    source.mkdir()
    (source / "empty.html").write_bytes(b"")
    converted, failures = sd.convert_tree(LocalClient(), str(source), str(tmp_path / "text"))
    assert converted == 0
    assert len(failures) == 1
    path, reason = failures[0]
    assert path == str(source / "empty.html") and path not in reason


def test_unknown_options_are_refused_before_any_work(tmp_path):
    with pytest.raises(TypeError):
        sd.convert_records(LocalClient(), [("a.html", "x")], str(tmp_path), Bogus=True)
    assert list(tmp_path.iterdir()) == []
