#!/usr/bin/env python3
"""Quality benchmark for word lists: how much of a list the rule compiler
takes, how much innocent text each matching mode flags beside a plain
word-list filter, and how many evasions of the list's words each mode
catches. Run it by hand (see docs/quality.md); it is not a test.

    python3 bench/quality/quality.py --chatsieve build/default/bin/chatsieve

The innocent texts come from Debian's fortunes-zh and manpages-zh
(apt-get install fortunes-zh manpages-zh).
"""

import argparse
import collections
import glob
import gzip
import os
import random
import re
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
DEFAULT_LIST = os.path.join(os.path.dirname(ROOT), "shared", "wordlists", "sensitive-lexicon")
SAMPLE_SEED = 22
SAMPLE_SIZE = 400
# Between the characters of a word: what players slip in, and what the
# shipped ignore-sets strip.
FILLERS = [" ", ".", "-", "*", "，", "、"]
CONTEXT = ("今天有人说", "这件事")


def read_table(path):
    rows = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            rows.append(line.rstrip("\n").split("\t"))
    return rows[1:]  # the header


TABLES = os.path.join(ROOT, "tools", "variants")


def load_readings(tables=TABLES):
    """Character -> its readings (most used first), word -> its reading."""
    chars, words = {}, {}
    # A character's main reading first: the order of the other readings says
    # nothing about how often each is used.
    for row in read_table(os.path.join(tables, "main-readings.tsv")):
        chars[row[0]] = [row[1]]
    for row in read_table(os.path.join(tables, "readings.tsv")):
        key, readings = row[0], row[1].split()
        if len(key) > 1:
            words[key] = readings
        else:
            chars.setdefault(key, []).extend(r for r in readings if r not in chars.get(key, []))
    return chars, words


def load_variants(tables=TABLES):
    variants = {}
    for row in read_table(os.path.join(tables, "variants.tsv")):
        variants[row[0]] = row[1].split() if " " in row[1] else list(row[1])
    return variants


def syllable_homes():
    """Character -> the syllable of rules/syllables.tsv whose ranges hold it."""
    homes = {}
    for row in read_table(os.path.join(ROOT, "rules", "syllables.tsv")):
        for cell in row[1].split():
            low, _, high = cell.partition("-")
            low, high = int(low, 16), int(high or low, 16)
            for code in range(low, high + 1):
                try:
                    homes[bytes([code >> 8, code & 0xFF]).decode("gbk")] = row[0]
                except UnicodeDecodeError:
                    pass
    return homes


def is_common(ch):
    """In GB2312 level 1, the characters sound mode's syllables hold."""
    try:
        b = ch.encode("gb2312")
    except UnicodeEncodeError:
        return False
    return len(b) == 2 and 0xB0 <= b[0] <= 0xD7


def is_chinese(text):
    return bool(text) and all("\u4e00" <= c <= "\u9fff" for c in text)


def pinyin_of(word, chars, words, segments=False):
    """The word's pinyin: the reading the table gives the whole word, else
    each character's main reading. With `segments`, the table's words inside
    the word give their readings too (the longest first, left to right), as
    a reader takes 长期 in 发票长期出售 as chang qi, where the main reading of
    长 is zhang."""
    if word in words and len(words[word]) == len(word):
        return words[word]
    out = [chars[c][0] if c in chars else None for c in word]
    i = 0
    while segments and i < len(word):
        for length in range(len(word) - i, 1, -1):
            reading = words.get(word[i:i + length])
            if reading and len(reading) == length:
                out[i:i + length] = reading
                i += length
                break
        else:
            i += 1
    return out


def full_width(text):
    return "".join(chr(ord(c) + 0xFEE0) if "!" <= c <= "~" else c for c in text)


def evasions(word, chars, words, variants, homophones, rng, segments=False):
    """Kind -> a line that writes `word` in that form; None when it has none."""
    py = pinyin_of(word, chars, words, segments)
    if None in py:
        return {}
    filler = rng.choice(FILLERS)
    trad = "".join(next((v for v in variants.get(c, []) if v != c), c) for c in word)
    homo = []
    for c, p in zip(word, py):
        others = [h for h in homophones.get(p, []) if h != c]
        homo.append(rng.choice(others) if others else None)
    kinds = {
        "as written": word,
        "inside a line": CONTEXT[0] + word + CONTEXT[1],
        "fillers between characters": filler.join(word),
        "pinyin with spaces": " ".join(py),
        "pinyin without spaces": "".join(py),
        "upper case pinyin": " ".join(py).upper(),
        "full-width pinyin": full_width("".join(py)),
        "characters and pinyin mixed": "".join(c if i % 2 == 0 else p for i, (c, p) in enumerate(zip(word, py))),
        "traditional": trad if trad != word else None,
        "homophones": "".join(homo) if None not in homo else None,
    }
    return {k: v for k, v in kinds.items() if v}


def read_lists(folder):
    """(file, line, entry) of every non-blank line of the list files."""
    lines = []
    for path in sorted(glob.glob(os.path.join(folder, "*.txt"))):
        with open(path, encoding="utf-8-sig", errors="replace") as f:
            for n, line in enumerate(f, 1):
                entry = line.strip(" \t\r\n")
                if entry:
                    lines.append((os.path.basename(path), n, entry))
    return lines


def write_folder(folder, files, mode, english="pass"):
    """A rule folder of `files` (name -> entries) in one matching mode; with
    english "catch", English words that spell an entry's pinyin are caught."""
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "lists.tsv"), "w", encoding="utf-8") as f:
        f.write("file\tlevel\tmatch\ttags\tenglish\n")
        for name in files:
            f.write("%s\t5\t%s\t\t%s\n" % (name, mode, english))
    for name, entries in files.items():
        with open(os.path.join(folder, name), "w", encoding="utf-8") as f:
            f.write("".join(e + "\n" for e in entries))


def build(tool, folder, out):
    start = time.perf_counter()
    # Every left-out entry is wanted, not the first few.
    run = subprocess.run([tool, "build", "--verbose", folder, "-o", out], capture_output=True, text=True)
    seconds = time.perf_counter() - start
    if run.returncode != 0:
        sys.exit("build failed:\n" + run.stderr[-2000:] + run.stdout)
    left_out = set()
    for line in run.stderr.splitlines():
        m = re.match(r"(.*):(\d+):\d+: warning: .*; the entry is left out$", line)
        if m:
            left_out.add((os.path.basename(m.group(1)), int(m.group(2))))
    return seconds, left_out


def screen(tool, package, lines):
    """The level chatsieve gives each line."""
    run = subprocess.run([tool, "filter", "--package", package], input="".join(l + "\n" for l in lines),
                         capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit("filter failed: " + run.stderr)
    return [int(l.split("\t", 1)[0]) for l in run.stdout.splitlines()]


def plain_filter(entries, lines):
    """Lines holding an entry as an exact substring, letters in any case."""
    keys = {e.lower() for e in entries}
    longest = min(max(len(k) for k in keys), 40)
    long_keys = [k for k in keys if len(k) > longest]
    flagged = 0
    for line in lines:
        low = line.lower()
        hit = any(low[i:i + n] in keys for i in range(len(low)) for n in range(1, min(longest, len(low) - i) + 1))
        flagged += hit or any(k in low for k in long_keys)
    return flagged


def fortunes():
    lines = []
    for path in sorted(glob.glob("/usr/share/games/fortunes/*.u8")):
        with open(path, encoding="utf-8", errors="replace") as f:
            lines += [l.strip() for l in f if l.strip() and l.strip() != "%"]
    return lines


def manpages():
    lines = []
    for path in sorted(glob.glob("/usr/share/man/zh_CN/man*/*.gz")):
        with gzip.open(path, "rt", encoding="utf-8", errors="replace") as f:
            for line in f:
                if line.startswith((".", "'")):
                    continue
                line = re.sub(r"\\f[BIRP]|\\[-&e(]..?|\\", "", line).strip()
                if line:
                    lines.append(line)
    return lines


def percent(n, d):
    return "%.1f%%" % (100.0 * n / d) if d else "-"


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--chatsieve", default=os.path.join(ROOT, "build", "default", "bin", "chatsieve"))
    ap.add_argument("--list", default=DEFAULT_LIST, help="a folder of list files (*.txt)")
    ap.add_argument("--cases", help="write a cases file of the sample's evasions for MODE to this path")
    ap.add_argument("--cases-mode", default="written")
    ap.add_argument("--sample-out", help="with --cases: write the sample's words, one a line, to this path")
    ap.add_argument("--sample", type=int, default=SAMPLE_SIZE)
    ap.add_argument("--english", choices=("pass", "catch"), default="pass",
                    help="catch: keep English words that spell an entry's pinyin caught, as before they were let through")
    ap.add_argument("--modes", default="written,sound", help="the matching modes to measure, comma-separated")
    ap.add_argument("--tables", default=TABLES,
                    help="the folder of reading and variant tables the evasions are spelt by (default: the "
                         "compiler's own, %(default)s); another lets two compilers be measured on the same evasions")
    ap.add_argument("--spelling", choices=("segments", "word"), default="segments",
                    help="how a word's pinyin is spelt when the table lacks the whole word: by the table's words "
                         "inside it first (segments, the default), or each character by its main reading (word, as "
                         "this benchmark spelt it at first)")
    ap.add_argument("--misses", action="store_true", help="name each evasion of the sample that is not caught")
    args = ap.parse_args()

    list_lines = read_lists(args.list)
    by_file = collections.OrderedDict()
    for name, _, entry in list_lines:
        by_file.setdefault(name, []).append(entry)
    distinct = sorted({e for _, _, e in list_lines})
    chars, words = load_readings(args.tables)
    variants = load_variants(args.tables)
    homophones = collections.defaultdict(list)
    homes = syllable_homes()
    for c, readings in chars.items():
        # One reading only, and the one the shipped syllable table files it
        # under: a homophone must not depend on which reading a syllable
        # table chose (帧 reads zhen but sits in zheng's ranges).
        if is_common(c) and len(readings) == 1 and homes.get(c) == readings[0]:
            homophones[readings[0]].append(c)
    rng = random.Random(SAMPLE_SEED)
    candidates = [e for e in distinct if is_chinese(e) and 2 <= len(e) <= 6]
    sample = sorted(rng.sample(candidates, min(args.sample, len(candidates))))
    cases = {w: evasions(w, chars, words, variants, homophones, rng, args.spelling == "segments") for w in sample}

    if args.cases:
        with open(args.cases, "w", encoding="utf-8") as f:
            f.write("# Evasions of a sample of the shared word list, made by bench/quality/quality.py.\n")
            for w in sample:
                for kind, line in cases[w].items():
                    caught = args.cases_mode == "sound" or kind != "homophones"
                    f.write("%s\t%s\n" % (line, ">=1" if caught else "0"))
        if args.sample_out:
            with open(args.sample_out, "w", encoding="utf-8") as f:
                f.write("".join(w + "\n" for w in sample))
        return

    innocent = {"fortunes-zh": fortunes(), "manpages-zh": manpages()}
    print("list: %s, %d lines, %d distinct entries; sample of %d Chinese words (seed %d)"
          % (args.list, len(list_lines), len(distinct), len(sample), SAMPLE_SEED))
    for name, lines in innocent.items():
        print("%s: %d lines, plain word-list filter flags %s" % (name, len(lines),
                                                               percent(plain_filter(distinct, lines), len(lines))))
    with tempfile.TemporaryDirectory() as tmp:
        for mode in args.modes.split(","):
            folder = os.path.join(tmp, mode)
            write_folder(folder, by_file, mode, args.english)
            package = os.path.join(tmp, mode + ".res")
            seconds, left_out = build(args.chatsieve, folder, package)
            # Lines refused: every line whose entry was left out (repeats too).
            at = {(n, l): e for n, l, e in read_lists(folder)}
            refused = {at[k].lower() for k in left_out if k in at}
            refused_lines = sum(1 for _, _, e in list_lines if e.lower() in refused)
            print("\n== %s mode" % mode)
            print("list lines refused: %d of %d (%s); build %.2f s, package %d bytes (%.0f bytes an entry)"
                  % (refused_lines, len(list_lines), percent(refused_lines, len(list_lines)), seconds,
                     os.path.getsize(package), os.path.getsize(package) / max(1, len(distinct) - len(refused))))
            for name, lines in innocent.items():
                levels = screen(args.chatsieve, package, lines)
                print("innocent lines flagged, %s: %s" % (name, percent(sum(1 for l in levels if l), len(lines))))
            # Recall with the sample alone, so that a catch is the word's own.
            sample_folder = os.path.join(tmp, mode + "-sample")
            write_folder(sample_folder, {"sample.txt": sample}, mode, args.english)
            sample_package = os.path.join(tmp, mode + "-sample.res")
            build(args.chatsieve, sample_folder, sample_package)
            kinds = collections.OrderedDict()
            for w in sample:
                for kind, line in cases[w].items():
                    kinds.setdefault(kind, []).append(line)
            print("recall on evasions of the sample:")
            for kind, lines in kinds.items():
                levels = screen(args.chatsieve, sample_package, lines)
                print("  %-28s %s of %d" % (kind, percent(sum(1 for l in levels if l), len(lines)), len(lines)))
                if args.misses and (mode == "sound" or kind != "homophones"):
                    for line, level in zip(lines, levels):
                        if not level:
                            print("    missed: %s" % line)


if __name__ == "__main__":
    main()
