"""Test pages and the reference converter (the sievetext command)."""

import os
import random
import shutil
import subprocess

DOC_ROOT = "/usr/share/doc"
OPTION_NAMES = (
    "GenerateSpecialChars", "RemoveAllCRLF", "RemoveAllTags", "RemoveBlankLines",
    "RemoveComments", "RemoveFunctions", "RemovePipe", "RemoveScripts", "RemoveSpaces",
    "RemoveStyles", "RemoveTabs",
)


def real_pages(limit, root=DOC_ROOT):
    """Up to `limit` HTML files under `root`, in a fixed order: regular, not
    empty, no hidden name on the way (the command refuses hidden files)."""
    found = []
    for folder, folders, files in os.walk(root):
        folders[:] = sorted(f for f in folders if not f.startswith("."))
        for name in sorted(files):
            if name.startswith(".") or not name.lower().endswith((".html", ".htm")):
                continue
            path = os.path.join(folder, name)
            if os.path.isfile(path) and not os.path.islink(path) and os.path.getsize(path) > 0:
                found.append(path)
                if len(found) == limit:
                    return found
    return found


_PIECES = (
    "<p>", "</p>", "<b>bold</b>", "<a href=\"x.html\">link</a>", "&amp;", "&lt;", "&gt;",
    "&nbsp;", "&eacute;", "&copy;", "&#169;", "&unknown;", "<!-- remark -->", "<!--",
    "-->", "<script>var a = {b: 1} | 2;</script>", "<style>p { color: red }</style>",
    "{braces}", "|", "\t", "  ", "   ", "\r\n", "\n", "\r", "\r\n\r\n", " \r\n ",
    "caf\u00e9", "\u20ac", "na\u00efve", "msnavigation", "<br>", "<div class=\"c\">",
    "</div>", "words and more words", "x", "<", ">",
)


def generated_page(seed):
    """A deterministic page of mark-up, entities, blanks and non-ASCII text,
    encoded as UTF-8, with every 7th page in Windows-1252 instead."""
    rng = random.Random(seed)
    text = "<html><head><title>page %d</title></head><body>" % seed
    text += "".join(rng.choice(_PIECES) for _ in range(rng.randrange(50, 400)))
    text += "</body></html>\r\n"
    return text.encode("cp1252" if seed % 7 == 0 else "utf-8", errors="replace")


def page_tree(folder, count):
    """Fills `folder` with `count` pages in subfolders: this machine's
    documentation HTML first, generated pages for the rest. Returns the
    relative paths and how many were generated."""
    real = real_pages(count)
    relative = []
    for index, source in enumerate(real):
        name = os.path.relpath(source, DOC_ROOT).replace(os.sep, "_")
        rel = os.path.join("doc%d" % (index % 10), name)
        os.makedirs(os.path.join(folder, os.path.dirname(rel)), exist_ok=True)
        shutil.copyfile(source, os.path.join(folder, rel))
        relative.append(rel)
    for seed in range(count - len(real)):
        rel = os.path.join("gen%d" % (seed % 10), "page%04d.html" % seed)
        os.makedirs(os.path.join(folder, os.path.dirname(rel)), exist_ok=True)
        with open(os.path.join(folder, rel), "wb") as out:
            out.write(generated_page(seed))
        relative.append(rel)
    return relative, count - len(real)


class Command:
    """The sievetext command with the given options saved as its settings."""

    def __init__(self, program, home):
        self.program = program
        self.home = home
        os.makedirs(home, exist_ok=True)
        self.use({})

    def use(self, options):
        """Saves `options` (name -> bool; names left out are on)."""
        lines = ["[General]"]
        lines += ["%s=%s" % (n, "True" if options.get(n, True) else "False") for n in OPTION_NAMES]
        with open(os.path.join(self.home, "WexaSievetext.ini"), "w") as out:
            out.write("\n".join(lines) + "\n")

    def convert_file(self, src, dst, *flags):
        env = dict(os.environ, XDG_CONFIG_HOME=self.home, HOME=self.home)
        env.pop("DISPLAY", None)
        result = subprocess.run([self.program, *flags, "--", os.path.abspath(src),
                                 os.path.abspath(dst)], env=env, capture_output=True, timeout=60)
        return result.returncode

    def convert(self, data, scratch, *flags):
        """The bytes the command writes for `data`."""
        src = os.path.join(scratch, "in.html")
        dst = os.path.join(scratch, "out.txt")
        with open(src, "wb") as out:
            out.write(data)
        if os.path.exists(dst):
            os.remove(dst)
        status = self.convert_file(src, dst, *flags)
        assert status == 0, "the command exited %d" % status
        with open(dst, "rb") as result:
            return result.read()
