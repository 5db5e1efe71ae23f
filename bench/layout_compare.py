#!/usr/bin/python3
"""Compares the reading mode (--layout) with the text a browser shows.

For a seeded sample of real HTML pages found on this machine (documentation
under /usr/share/doc and the like), the browser's text is
document.body.innerText in headless Chromium with JavaScript off (see
browser_text.js). Each converter's text is then scored against it:

  word F1     the words (runs of non-space) of both texts as bags
  line recall the share of the browser's lines, white space collapsed and
              empty ones left out, found among the converter's lines

Peers are measured in the same run where they are installed (html2text,
lynx, w3m, pandoc). With --speed it also times, in the same run:
  - the default mode and --layout on the same 32 MiB of the sampled pages
    joined into one file (best of five);
  - every converter page by page, one process per page as people run them;
  - every converter on the joined 4 MiB and 32 MiB (peers once each, cut off
    after --peer-timeout seconds). A converter that fails on a file (exit
    status not 0, or no text) is reported as failed, not as fast.
With --memory, the peak resident memory of --layout on 256 MiB of them.

  bench/layout_compare.py --program build/bin/sievetext [--pages 240] [--seed 22]
                          [--work /tmp/layout-compare] [--no-style-sheets]
                          [--speed] [--peer-timeout 120] [--memory]

Needs Chromium (apt) and puppeteer-core (npm; NODE_PATH pointing at the
folder that holds it).
"""

import argparse
import collections
import os
import random
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOTS = ["/usr/share/doc", "/usr/share/gtk-doc", "/usr/share/javascript", "/usr/share/qt6/doc",
         "/usr/share/qt5/doc"]
# At most this many pages of one documentation set, so that no one set decides.
PER_SET = 70


def candidates():
    seen = set()
    pages = []
    for root in ROOTS:
        for folder, _, files in os.walk(root, followlinks=True):
            for name in files:
                if not name.endswith((".html", ".htm")):
                    continue
                path = os.path.realpath(os.path.join(folder, name))
                if path in seen or not os.path.isfile(path) or os.path.getsize(path) < 1024:
                    continue
                seen.add(path)
                pages.append(path)
    return sorted(pages)


def doc_set(path):
    parts = path.split("/")
    return "/".join(parts[:5])


def sample(count, seed):
    rng = random.Random(seed)
    pages = candidates()
    rng.shuffle(pages)
    per_set = collections.Counter()
    chosen = []
    for page in pages:
        if per_set[doc_set(page)] >= PER_SET:
            continue
        per_set[doc_set(page)] += 1
        chosen.append(page)
        if len(chosen) == count:
            break
    return chosen


def words(text):
    return collections.Counter(text.split())


def lines(text):
    out = collections.Counter()
    for line in text.splitlines():
        line = " ".join(line.split())
        if line:
            out[line] += 1
    return out


def word_f1(reference, candidate):
    ref, cand = words(reference), words(candidate)
    common = sum((ref & cand).values())
    if common == 0:
        return 1.0 if not ref and not cand else 0.0
    precision = common / sum(cand.values())
    recall = common / sum(ref.values())
    return 2 * precision * recall / (precision + recall)


def converters(program):
    table = [
        ("sievetext --layout", [program, "--layout", "--without", "all", "--with", "GenerateSpecialChars", "--lf", "{in}", "-"]),
        ("sievetext (line breaks kept)",
         [program, "--with", "all", "--without", "RemoveAllCRLF", "--lf", "{in}", "-"]),
        ("html2text", ["html2text", "-utf8", "-nobs", "-width", "100000", "{in}"]),
        ("lynx -dump", ["lynx", "-dump", "-nolist", "-width=1024", "-display_charset=utf-8",
                        "-assume_charset=utf-8", "{in}"]),
        ("w3m -dump", ["w3m", "-dump", "-cols", "100000", "-O", "UTF-8", "-T", "text/html", "{in}"]),
        ("pandoc -t plain", ["pandoc", "-f", "html", "-t", "plain", "--wrap=none", "{in}"]),
    ]
    return [(name, argv) for name, argv in table if shutil.which(argv[0])]


# Every converter runs with HOME at COMPARE_HOME (/tmp unless set), so that
# no user's settings (lynx, w3m) change what it prints.
PEER_ENV = dict(os.environ, HOME=os.environ.get("COMPARE_HOME", "/tmp"))


def run(argv, page):
    argv = [a.replace("{in}", page) for a in argv]
    try:
        done = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=120,
                              env=PEER_ENV)
        return done.stdout.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        return ""


def browser_texts(pages, work, no_style_sheets):
    out = os.path.join(work, "browser-nocss" if no_style_sheets else "browser")
    listing = os.path.join(work, "pages.txt")
    with open(listing, "w") as f:
        f.write("\n".join(pages) + "\n")
    if not all(os.path.exists(os.path.join(out, "%d.txt" % i)) for i in range(len(pages))):
        flags = ["--no-style-sheets"] if no_style_sheets else []
        subprocess.run(["node", os.path.join(HERE, "browser_text.js"), *flags, listing, out],
                       check=True)
    texts = []
    for i in range(len(pages)):
        with open(os.path.join(out, "%d.txt" % i), encoding="utf-8", errors="replace") as f:
            texts.append(f.read())
    return texts


def join_pages(pages, size, path):
    with open(path, "wb") as out:
        written = 0
        while written < size:
            for page in pages:
                with open(page, "rb") as f:
                    data = f.read()
                data = data[: size - written]
                out.write(data)
                written += len(data)
                if written >= size:
                    break


def best_time(argv, repeat=5):
    best = None
    for _ in range(repeat):
        start = time.perf_counter()
        subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False,
                       env=PEER_ENV)
        took = time.perf_counter() - start
        best = took if best is None else min(best, took)
    return best


def timed(argv, timeout):
    """Seconds one run takes, or a reason it gave no text: a failed run is not a fast one."""
    start = time.perf_counter()
    try:
        done = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              timeout=timeout, check=False,
                              env=PEER_ENV)
    except subprocess.TimeoutExpired:
        return None, "more than %d s" % timeout
    took = time.perf_counter() - start
    if done.returncode != 0 or not done.stdout.strip():
        return None, "failed after %.2f s (exit status %d, %d bytes of text)" % (
            took, done.returncode, len(done.stdout))
    return took, None


def page_by_page(argv, pages):
    """Seconds for every page, one process each, and how many gave no text."""
    failed = 0
    start = time.perf_counter()
    for page in pages:
        one = [a.replace("{in}", page) for a in argv]
        done = subprocess.run(one, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=False,
                              env=PEER_ENV)
        failed += done.returncode != 0
    return time.perf_counter() - start, failed


def speed(args, pages):
    program = os.path.abspath(args.program)
    out = os.path.join(args.work, "out.txt")
    joined = {}
    for mib in (4, 32):
        joined[mib] = os.path.join(args.work, "joined-%dMiB.html" % mib)
        join_pages(pages, mib << 20, joined[mib])

    default = best_time([program, "--with", "all", joined[32], out])
    layout = best_time([program, "--layout", "--without", "all", "--with", "GenerateSpecialChars",
                        joined[32], out])
    print("\nspeed on 32 MiB (best of 5): default %.3f s (%.0f MiB/s), --layout %.3f s "
          "(%.0f MiB/s): --layout at %.2f of the default's throughput" %
          (default, 32 / default, layout, 32 / layout, default / layout))

    table = converters(program)
    ours = table[0][1]
    print("\npage by page (%d pages, %.1f MB, one process each):" %
          (len(pages), sum(os.path.getsize(p) for p in pages) / 1e6))
    # What starting a process costs this loop, for telling start-up from work.
    nothing = min(page_by_page(["/bin/true", "{in}"], pages)[0] for _ in range(3))
    print("  /bin/true (a process that does nothing): %.2f s (best of 3)" % nothing)
    mine = min(page_by_page(ours, pages)[0] for _ in range(3))
    print("  sievetext --layout: %.2f s (best of 3)" % mine)
    for name, argv in table[2:]:
        took, failed = page_by_page(argv, pages)
        print("  %s: %.2f s%s, --layout %.1fx faster (%.1fx less the start of a process)" %
              (name, took, " (%d pages failed)" % failed if failed else "", took / mine,
               (took - nothing) / max(mine - nothing, 1e-9)))

    for mib in (4, 32):
        mine = best_time([a.replace("{in}", joined[mib]) for a in ours], repeat=3)
        print("\none file of %d MiB: sievetext --layout %.3f s (%.0f MiB/s)" % (mib, mine, mib / mine))
        for name, argv in table[2:]:
            took, why = timed([a.replace("{in}", joined[mib]) for a in argv], args.peer_timeout)
            if why:
                print("  %s: %s" % (name, why))
            else:
                print("  %s: %.3f s (%.1f MiB/s), --layout %.0fx faster" %
                      (name, took, mib / took, took / mine))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--pages", type=int, default=240)
    parser.add_argument("--seed", type=int, default=22)
    parser.add_argument("--work", default="/tmp/layout-compare")
    parser.add_argument("--no-style-sheets", action="store_true",
                        help="the browser loads no linked style sheet, as no converter does")
    parser.add_argument("--speed", action="store_true")
    parser.add_argument("--peer-timeout", type=int, default=120,
                        help="seconds a peer may take on one joined file")
    parser.add_argument("--no-quality", action="store_true", help="only --speed and --memory")
    parser.add_argument("--memory", action="store_true")
    parser.add_argument("--worst", type=int, default=0, help="list the N worst pages of --layout")
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)

    pages = sample(args.pages, args.seed)
    reference = browser_texts(pages, args.work, args.no_style_sheets)
    print("%d pages (seed %d) from %d documentation sets; the browser %s linked style sheets" %
          (len(pages), args.seed, len({doc_set(p) for p in pages}),
           "without" if args.no_style_sheets else "with"))
    if not args.no_quality:
        print("| converter | word F1 | lines of the browser's text found as lines |")
        print("|---|---|---|")
    for name, argv in [] if args.no_quality else converters(os.path.abspath(args.program)):
        f1_total = 0.0
        found = total = 0
        scores = []
        for page, ref in zip(pages, reference):
            text = run(argv, page)
            f1 = word_f1(ref, text)
            f1_total += f1
            ref_lines, cand_lines = lines(ref), lines(text)
            hit = sum((ref_lines & cand_lines).values())
            found += hit
            total += sum(ref_lines.values())
            scores.append((f1, hit / max(1, sum(ref_lines.values())), page))
        print("| %s | %.4f | %.4f |" % (name, f1_total / len(pages), found / max(1, total)))
        if args.worst and name.endswith("--layout"):
            for f1, recall, page in sorted(scores)[: args.worst]:
                print("   F1 %.4f lines %.4f %s" % (f1, recall, page), file=sys.stderr)
            for f1, recall, page in sorted(scores, key=lambda s: s[1])[: args.worst]:
                print("   lines %.4f F1 %.4f %s" % (recall, f1, page), file=sys.stderr)

    if args.speed:
        speed(args, pages)
    if args.memory:
        joined = os.path.join(args.work, "joined-256MiB.html")
        join_pages(pages, 256 << 20, joined)
        out = os.path.join(args.work, "out.txt")
        done = subprocess.run(["/usr/bin/time", "-f", "%M", os.path.abspath(args.program), "--layout",
                               "--without", "all", joined, out],
                              stderr=subprocess.PIPE, stdout=subprocess.DEVNULL, check=False)
        peak = int(done.stderr.decode().strip().splitlines()[-1])
        print("\npeak resident memory of --layout on 256 MiB: %.1f MiB" % (peak / 1024.0))


if __name__ == "__main__":
    main()
