"""The Python module against the sievetext command, byte for byte."""

import errno
import os
import threading

import pytest
import sievetext

from pages import OPTION_NAMES, generated_page, real_pages

SAMPLES = [
    b"<html><head><style>p{x}</style><script>a|b</script></head>\r\n<body>"
    b"<!-- note -->caf&eacute; &amp;&lt;\t|x|\r\n\r\n  two   spaces\r\n \r\nend</body></html>",
    b"caf\xc3\xa9 and caf\xe9 <b>{brace}</b>\n\nline\nmsnavigation\n",
    b"\xef\xbb\xbf<p>marked UTF-8 \xe2\x82\xac</p>",
    "<p>UTF-16 \u20ac</p>\r\n\r\n<p>x</p>".encode("utf-16"),
    b"   \r\n\t\r\n   ",
    b"<!-- never closed <script> { | ",
] + [generated_page(seed) for seed in range(6)] + [
    open(path, "rb").read() for path in real_pages(4)]

# All on, all off, each one off alone, each one on alone.
OPTION_SETS = [{}, {n: False for n in OPTION_NAMES}]
OPTION_SETS += [{n: False} for n in OPTION_NAMES]
OPTION_SETS += [{m: m == n for m in OPTION_NAMES} for n in OPTION_NAMES]


def options_id(options):
    off = [n for n in OPTION_NAMES if not options.get(n, True)]
    if not off:
        return "all-on"
    if len(off) == len(OPTION_NAMES):
        return "all-off"
    return ("without-" + off[0]) if len(off) == 1 else ("only-" + (set(OPTION_NAMES) - set(off)).pop())


@pytest.mark.parametrize("options", OPTION_SETS, ids=options_id)
def test_every_option_gives_the_commands_bytes(options, command, tmp_path):
    command.use(options)
    for data in SAMPLES:
        expected = command.convert(data, str(tmp_path))
        assert sievetext.convert(data, **options).encode("utf-8") == expected
        lf = command.convert(data, str(tmp_path), "--lf")
        assert sievetext.convert(data, lf=True, **options).encode("utf-8") == lf
        try:
            text = data.decode("utf-8")
        except UnicodeDecodeError:
            continue
        assert sievetext.convert(text, **options).encode("utf-8") == expected


def test_convert_file_writes_what_the_command_writes(command, tmp_path):
    for index, data in enumerate(SAMPLES):
        src = tmp_path / ("page%d.html" % index)
        src.write_bytes(data)
        dst = tmp_path / ("page%d.txt" % index)
        sievetext.convert_file(src, dst)
        assert dst.read_bytes() == command.convert(data, str(tmp_path))
    sievetext.convert_file(str(src), os.fsencode(dst), lf=True, RemoveAllCRLF=False)
    page = src.read_bytes()
    with pytest.raises(ValueError, match="Output file is the input file"):
        sievetext.convert_file(src, src, RemoveAllCRLF=False, lf=True)
    assert src.read_bytes() == page


@pytest.mark.parametrize("options", [{}, {n: False for n in OPTION_NAMES}], ids=options_id)
def test_the_reading_mode_gives_the_commands_bytes(options, command, tmp_path):
    command.use(options)
    for index, data in enumerate(SAMPLES):
        expected = command.convert(data, str(tmp_path), "--layout")
        assert sievetext.convert(data, layout=True, **options).encode("utf-8") == expected
        src = tmp_path / ("page%d.html" % index)
        src.write_bytes(data)
        dst = tmp_path / ("page%d.txt" % index)
        sievetext.convert_file(src, dst, layout=True, **options)
        assert dst.read_bytes() == expected
    page = b"<h1>T</h1><p>a &lt;b&gt;</p><ul><li>x<li>y</ul><table><tr><td>1<td>2</table>"
    assert sievetext.convert(page, layout=True, lf=True, RemoveAllCRLF=False, RemoveTabs=False,
                             RemoveBlankLines=False) == "T\n\na <b>\n\nx\ny\n1\t2"


def test_str_and_bytes_follow_the_byte_rules():
    assert sievetext.convert(b"caf\xe9") == "caf\u00e9"               # Windows-1252
    assert sievetext.convert(b"caf\xc3\xa9") == "caf\u00e9"           # UTF-8
    assert sievetext.convert(b"\x81\x8d") == "\x81\x8d"                # unassigned bytes kept
    assert sievetext.convert("caf\u00e9 \U0001f600") == "caf\u00e9 \U0001f600"
    assert sievetext.convert("\ufeffa") == "a"                         # as its UTF-8 file
    assert sievetext.convert(b"\xfe\xff\x00a\x20\xac") == "a\u20ac"    # UTF-16 BE with mark
    page = "<meta charset=koi8-r><p>\u041f\u0440\u0438\u0432\u0435\u0442</p>"
    assert sievetext.convert(page.encode("koi8-r")) == page[24:-4]  # the declared charset
    assert sievetext.convert(page) == page[24:-4]                   # a str is text already
    assert sievetext.convert(bytearray(b"<b>x</b>")) == "x"
    assert sievetext.convert(memoryview(b"<b>x</b>")) == "x"
    assert sievetext.convert(b"") == "" and sievetext.convert("") == ""
    assert sievetext.convert("a<br>\r\nb", RemoveAllCRLF=False) == "a \r\nb"
    assert sievetext.convert("a<br>\r\nb", RemoveAllCRLF=False, lf=True) == "a \nb"
    with pytest.raises(UnicodeEncodeError):
        sievetext.convert("lone \ud800 surrogate")
    with pytest.raises(TypeError):
        sievetext.convert(42)


def test_options_are_keywords_with_known_names():
    assert sievetext.OPTIONS == OPTION_NAMES
    with pytest.raises(TypeError):
        sievetext.convert("x", RemoveScript=False)
    with pytest.raises(TypeError):
        sievetext.convert("x", removescripts=False)
    with pytest.raises(TypeError):
        sievetext.convert("x", False)
    with pytest.raises(TypeError):
        sievetext.convert_file("a", "b", Bogus=True)
    assert "RemoveBlankLines" in sievetext.convert.__doc__


def test_file_errors_raise_and_leave_the_output_alone(tmp_path):
    (tmp_path / "page.html").write_bytes(b"text")
    (tmp_path / "empty.html").write_bytes(b"")
    (tmp_path / ".hidden.html").write_bytes(b"text")
    (tmp_path / "folder.html").mkdir()
    out = tmp_path / "out.txt"
    out.write_bytes(b"old")

    for name in ("none.html", "folder.html", ".hidden.html"):
        with pytest.raises(FileNotFoundError) as raised:
            sievetext.convert_file(tmp_path / name, out)
        assert raised.value.filename == str(tmp_path / name)
    with pytest.raises(ValueError):
        sievetext.convert_file(tmp_path / "empty.html", out)
    with pytest.raises(ValueError):
        sievetext.convert_file("", out)
    with pytest.raises(NotADirectoryError) as raised:
        sievetext.convert_file(tmp_path / "page.html", tmp_path / "page.html" / "x.txt")
    assert raised.value.errno == errno.ENOTDIR
    with pytest.raises(IsADirectoryError):
        sievetext.convert_file(tmp_path / "page.html", tmp_path / "folder.html")
    assert out.read_bytes() == b"old"
    assert sorted(p.name for p in tmp_path.iterdir()) == [
        ".hidden.html", "empty.html", "folder.html", "out.txt", "page.html"]


def test_four_threads_give_what_one_gives():
    documents = SAMPLES * 8
    option_sets = OPTION_SETS[:6]
    expected = [[sievetext.convert(d, **o) for d in documents] for o in option_sets]
    results = [None] * 4
    start = threading.Barrier(4)

    def work(slot):
        start.wait()
        results[slot] = [[sievetext.convert(d, **o) for d in documents] for o in option_sets]

    threads = [threading.Thread(target=work, args=(slot,)) for slot in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=300)
    assert results == [expected] * 4
