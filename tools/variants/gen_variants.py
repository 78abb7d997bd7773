#!/usr/bin/env python3
"""Generate the rule compiler's tables of character variants and readings.

variants.tsv: for every character of code page 936 that has a traditional or
simplified counterpart in code page 936, those counterparts. The pairs come
from OpenCC's character tables (STCharacters, TSCharacters), which Debian's
libopencc1.1 ships as .ocd2 files; opencc_dict (package opencc) turns them
into text. A character's counterparts are the union of both directions, so a
rule written in either form finds the other.

readings.tsv: what the compiler needs to give a character with several
readings the one a phrase has. Both kinds of rows come from the word list of
Rime's Luna Pinyin (package rime-data-luna-pinyin), which lists every
character with its readings and their frequencies, and the words whose
reading is worth stating:
  - one character: its readings, most frequent first, for every character
    of code page 936 with more than one; a reading counts when the list gives
    it no frequency or one of at least 1% (so 了 le/liao counts, 的 de/di,
    with di at 0.03%, does not), and when the go-pinyin character dictionary
    (the one gen_syllables.py reads) has it too, which leaves out readings
    only one of the two knows (垃 le, 圾 se);
  - a word of two to eight characters holding at least one such character:
    its reading, syllable by syllable. The list is written in traditional
    characters; each is turned into its first simplified counterpart, and a
    word whose characters are not all in code page 936 is left out. Where a
    word has several readings, the most frequent one wins.
Readings are toneless, u-umlaut written as v, as in rules/syllables.tsv.

Usage: gen_variants.py [--out-dir DIR] [--opencc DIR] [--luna FILE] [--pinyin FILE]
"""

import argparse
import hashlib
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "syllables"))

import gen_syllables  # noqa: E402

DEFAULT_OPENCC = "/usr/share/opencc"
DEFAULT_LUNA = "/usr/share/rime-data/luna_pinyin.dict.yaml"
MAX_WORD = 8
MIN_WEIGHT = 1.0  # percent
_READING = re.compile(r"^[a-z]+$")


class GenerationError(Exception):
    pass


def in_cp936(text):
    """True when every character is a two-byte character of code page 936."""
    try:
        return all(len(ch.encode("gbk")) == 2 for ch in text)
    except UnicodeError:
        return False


def read_opencc_text(path):
    """Map of character -> list of counterparts, from opencc_dict's text form."""
    table = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            key, _, values = line.rstrip("\n").partition("\t")
            if key and values:
                table[key] = values.split()
    return table


def dump_ocd2(opencc_dir, name, work):
    out = os.path.join(work, name + ".txt")
    subprocess.run(["opencc_dict", "-i", os.path.join(opencc_dir, name + ".ocd2"), "-o", out,
                    "-f", "ocd2", "-t", "text"], check=True)
    return out


def build_variants(st, ts):
    """Rows (character, counterparts) in code point order."""
    partners = {}
    for table in (st, ts):
        for key, values in table.items():
            if len(key) != 1 or not in_cp936(key):
                continue
            for v in values:
                if len(v) == 1 and v != key and in_cp936(v):
                    partners.setdefault(key, [])
                    if v not in partners[key]:
                        partners[key].append(v)
                    partners.setdefault(v, [])
                    if key not in partners[v]:
                        partners[v].append(key)
    return [(ch, "".join(partners[ch])) for ch in sorted(partners)]


def weight_of(cell):
    cell = cell.strip()
    if cell.endswith("%"):
        return float(cell[:-1])
    try:
        return float(cell)
    except ValueError:
        return 0.0


def luna_rows(path):
    """(text, reading, weight or None) for every entry after the header."""
    in_body = False
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not in_body:
                in_body = line == "..."
                continue
            if not line or line.startswith("#"):
                continue
            cells = line.split("\t")
            if len(cells) < 2:
                continue
            weight = weight_of(cells[2]) if len(cells) > 2 and cells[2].strip() else None
            yield cells[0], cells[1], weight


def character_readings(path, dictionary):
    """Map of character -> readings (most frequent first), for characters of
    code page 936 with more than one that counts; `dictionary` is go-pinyin's
    (code point -> readings with tones)."""
    found = {}
    for text, reading, weight in luna_rows(path):
        if len(text) != 1 or not in_cp936(text) or not _READING.match(reading):
            continue
        if reading not in {gen_syllables.toneless(r) for r in dictionary.get(ord(text), [])}:
            continue
        if weight is not None and weight < MIN_WEIGHT:
            continue
        readings = found.setdefault(text, [])
        if all(r != reading for r, _ in readings):
            readings.append((reading, -1.0 if weight is None else weight))
    several = {}
    for ch, readings in found.items():
        if len(readings) > 1:
            # Stable: readings without a frequency keep the list's order.
            several[ch] = [r for r, _ in sorted(readings, key=lambda rw: -rw[1])]
    return several


def read_luna(path, to_simplified):
    """Map of simplified word -> reading (list of syllables), the most
    frequent reading of each."""
    best = {}
    for text, reading_text, weight in luna_rows(path):
        word = "".join(to_simplified.get(ch, [ch])[0] for ch in text)
        reading = reading_text.split()
        if not (2 <= len(word) <= MAX_WORD) or len(reading) != len(word):
            continue
        if not all(_READING.match(r) for r in reading) or not in_cp936(word):
            continue
        weight = weight or 0.0
        if word not in best or weight > best[word][0]:
            best[word] = (weight, reading)
    if not best:
        raise GenerationError("%s holds no words" % path)
    return {word: reading for word, (_, reading) in best.items()}


def build_readings(several, words):
    rows = [(ch, " ".join(several[ch])) for ch in sorted(several)]
    rows += [(w, " ".join(words[w])) for w in sorted(words) if any(ch in several for ch in w)]
    return rows


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()[:16]


def render(rows, header, comments):
    lines = ["# " + c for c in comments] + ["\t".join(header)]
    lines += ["%s\t%s" % row for row in rows]
    return "\n".join(lines) + "\n"


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--out-dir", default=HERE)
    parser.add_argument("--opencc", default=DEFAULT_OPENCC)
    parser.add_argument("--luna", default=DEFAULT_LUNA)
    parser.add_argument("--pinyin", default=gen_syllables.DEFAULT_DICT)
    args = parser.parse_args(argv)
    try:
        with tempfile.TemporaryDirectory() as work:
            st_path = dump_ocd2(args.opencc, "STCharacters", work)
            ts_path = dump_ocd2(args.opencc, "TSCharacters", work)
            st, ts = read_opencc_text(st_path), read_opencc_text(ts_path)
            sources = "OpenCC STCharacters sha256:%s, TSCharacters sha256:%s" % (
                digest(os.path.join(args.opencc, "STCharacters.ocd2")),
                digest(os.path.join(args.opencc, "TSCharacters.ocd2")))
        variants = build_variants(st, ts)
        several = character_readings(args.luna, gen_syllables.read_dictionary(args.pinyin))
        words = read_luna(args.luna, ts)
        readings = build_readings(several, words)
    except (GenerationError, gen_syllables.GenerationError, OSError, subprocess.CalledProcessError) as e:
        print("gen_variants.py: %s" % e, file=sys.stderr)
        return 1
    note = "generated by tools/variants/gen_variants.py; do not edit by hand"
    with open(os.path.join(args.out_dir, "variants.tsv"), "w", encoding="utf-8", newline="\n") as f:
        f.write(render(variants, ("character", "variants"),
                       [note, "from " + sources + "; both directions, code page 936 only"]))
    with open(os.path.join(args.out_dir, "readings.tsv"), "w", encoding="utf-8", newline="\n") as f:
        f.write(render(readings, ("text", "reading"), [
            note,
            "from Rime luna_pinyin.dict.yaml sha256:%s and go-pinyin pinyin_dict.go sha256:%s"
            % (digest(args.luna), digest(args.pinyin)),
            "one character: its readings, most frequent first; a word: its reading"]))
    print("%d characters with variants, %d characters with several readings, %d words"
          % (len(variants), len(several), len(readings) - len(several)), file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
