#!/usr/bin/env python3
"""Generate the rule compiler's tables of character variants and readings.

variants.tsv: for every character of code page 936 that has a traditional or
simplified counterpart in code page 936, those counterparts. The pairs come
from OpenCC's character tables (STCharacters, TSCharacters), which Debian's
libopencc1.1 ships as .ocd2 files; opencc_dict (package opencc) turns them
into text. A character's counterparts are the union of both directions, so a
rule written in either form finds the other.

readings.tsv: what the compiler needs to give a character with several
readings the one a phrase has. Three Debian dictionaries feed it: Rime's
Luna Pinyin (package rime-data-luna-pinyin), written in traditional
characters, Rime's Pinyin Simp (package rime-data-pinyin-simp), written in
simplified characters with counts of use, and the go-pinyin character
dictionary (the one gen_syllables.py reads). No reading gets in on one
source's word alone.
  - one character: its readings, most used first, for every character of
    code page 936 with more than one that counts. Luna Pinyin's rows are
    turned into simplified characters first: a traditional character's
    readings count for each of its simplified counterparts (壞 huai for 坏),
    as well as for itself. Luna Pinyin also lists a simplified shape under
    the rare traditional character that shares it (坏 pei, pi; 机 wei), so a
    reading counts only when Pinyin Simp, where the character is known
    there, gives it at least 1% of the character's uses (without such
    counts, when Luna Pinyin gives it no frequency or one of at least 1%:
    了 le/liao counts, 的 de/di, with di at 0.03%, does not), and only when
    go-pinyin has it too, which leaves out readings only one source knows
    (垃 le, 圾 se). Pinyin Simp's counts order them, then Luna Pinyin's
    frequencies, a counterpart's reading before the shape's own (腊 la, xi);
  - a word of two to eight characters holding a character that go-pinyin
    or the rows above give several readings: its reading, syllable by
    syllable. The words are those of Pinyin Simp (about 48,000 of two to
    four characters) and of Luna Pinyin, whose traditional characters are
    each turned into their first simplified counterpart. Pinyin Simp's
    most used reading of a word wins, then Luna Pinyin's most frequent; a
    word is left out when go-pinyin does not know one of its syllables for
    the character it stands on, or when its characters are not all in code
    page 936.
Readings are toneless, u-umlaut written as v, as in rules/syllables.tsv
(Pinyin Simp writes lue and nue for lve and nve).

Usage: gen_variants.py [--out-dir DIR] [--opencc DIR] [--luna FILE] [--simp FILE]
                       [--pinyin FILE]
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
DEFAULT_SIMP = "/usr/share/rime-data/pinyin_simp.dict.yaml"
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


def rime_rows(path):
    """(text, reading, weight or None) for every entry after a Rime
    dictionary's header; the reading is as written, syllables apart."""
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


_UE = re.compile(r"^([ln])ue$")


def syllable(text):
    """A syllable as the tables write it: lue and nue (as input methods
    spell them) are lve and nve."""
    return _UE.sub(r"\1ve", text)


def go_readings(dictionary, ch):
    """The toneless readings go-pinyin gives a character."""
    return {gen_syllables.toneless(r) for r in dictionary.get(ord(ch), [])}


def simp_counts(path):
    """Map of character -> {reading: count} from Pinyin Simp's one-character rows."""
    counts = {}
    for text, reading, weight in rime_rows(path):
        reading = syllable(reading)
        if len(text) == 1 and _READING.match(reading):
            per = counts.setdefault(text, {})
            per[reading] = per.get(reading, 0.0) + (weight or 0.0)
    return counts


def character_readings(path, dictionary, to_simplified=None, counts=None):
    """Map of character -> readings (most used first), for characters of
    code page 936 with more than one that counts. `path` is Luna Pinyin's
    list, `dictionary` go-pinyin's (code point -> readings with tones),
    `to_simplified` a traditional character's simplified counterparts and
    `counts` Pinyin Simp's uses of each reading (simp_counts)."""
    to_simplified = to_simplified or {}
    counts = counts or {}
    found = {}
    for text, reading, weight in rime_rows(path):
        if len(text) != 1 or not _READING.match(reading):
            continue
        # The traditional character itself, and the simplified ones it is
        # written as: Luna Pinyin lists 坏 huai under 壞.
        for ch in [text] + [c for c in to_simplified.get(text, []) if c != text]:
            if not in_cp936(ch) or reading not in go_readings(dictionary, ch):
                continue
            readings = found.setdefault(ch, {})
            # A reading of the character that simplified text writes as
            # this one ranks before the rare character of the same shape
            # (臘 la before 腊 xi).
            w = (1 if ch != text else 0, -1.0 if weight is None else weight)
            readings[reading] = max(readings.get(reading, w), w)
    several = {}
    for ch, readings in found.items():
        uses = counts.get(ch, {})
        total = sum(uses.values())
        if total > 0:
            # Pinyin Simp counts uses of the simplified character as written
            # today, which Luna Pinyin's percentages of a traditional one
            # cannot say: 坏 is pei in Luna Pinyin and huai in use.
            kept = [r for r in readings if uses.get(r, 0.0) * 100.0 >= MIN_WEIGHT * total]
            # Pinyin Simp shares a character's count out evenly among
            # readings it cannot tell apart (俞 shu 510, yu 510); Luna
            # Pinyin's frequency decides between them (yu 100%).
            kept.sort(key=lambda r: (-uses[r], [-x for x in readings[r]]))
        else:
            kept = [r for r, (_, w) in readings.items() if w < 0 or w >= MIN_WEIGHT]
            kept.sort(key=lambda r: [-x for x in readings[r]])
        if len(kept) > 1:
            several[ch] = kept
    return several


def read_words(path, to_simplified, dictionary, convert=True):
    """Map of simplified word -> (weight, reading as a list of syllables),
    the most used reading of each word of a Rime list whose syllables
    go-pinyin knows for their characters. `convert`: the list is written in
    traditional characters, each turned into its first simplified
    counterpart."""
    best = {}
    for text, reading_text, weight in rime_rows(path):
        word = "".join(to_simplified.get(ch, [ch])[0] for ch in text) if convert else text
        reading = [syllable(r) for r in reading_text.split()]
        if not (2 <= len(word) <= MAX_WORD) or len(reading) != len(word):
            continue
        if not all(_READING.match(r) for r in reading) or not in_cp936(word):
            continue
        if dictionary is not None and not all(r in go_readings(dictionary, ch) for ch, r in zip(word, reading)):
            continue
        weight = weight or 0.0
        if word not in best or weight > best[word][0]:
            best[word] = (weight, reading)
    return best


def read_luna(path, to_simplified, dictionary=None):
    """Map of simplified word -> reading (list of syllables) from Luna
    Pinyin, the most frequent reading of each."""
    best = read_words(path, to_simplified, dictionary)
    if not best:
        raise GenerationError("%s holds no words" % path)
    return {word: reading for word, (_, reading) in best.items()}


def merge_words(simp, luna):
    """Pinyin Simp's reading of a word where it has one, else Luna Pinyin's."""
    words = dict(luna)
    words.update(simp)
    return words


def build_readings(several, words, dictionary=None):
    """Rows of the reading table: the characters of several readings, then
    every word holding one (by `several` or, given, by go-pinyin)."""
    def ambiguous(ch):
        return ch in several or (dictionary is not None and len(go_readings(dictionary, ch)) > 1)

    rows = [(ch, " ".join(several[ch])) for ch in sorted(several)]
    rows += [(w, " ".join(words[w])) for w in sorted(words) if any(ambiguous(ch) for ch in w)]
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
    parser.add_argument("--simp", default=DEFAULT_SIMP)
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
        dictionary = gen_syllables.read_dictionary(args.pinyin)
        several = character_readings(args.luna, dictionary, ts, simp_counts(args.simp))
        simp = {w: r for w, (_, r) in read_words(args.simp, {}, dictionary, convert=False).items()}
        if not simp:
            raise GenerationError("%s holds no words" % args.simp)
        words = merge_words(simp, read_luna(args.luna, ts, dictionary))
        readings = build_readings(several, words, dictionary)
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
            "from Rime luna_pinyin.dict.yaml sha256:%s, pinyin_simp.dict.yaml sha256:%s"
            % (digest(args.luna), digest(args.simp)),
            "and go-pinyin pinyin_dict.go sha256:%s; a reading must be known to two of them"
            % digest(args.pinyin),
            "one character: its readings, most frequent first; a word: its reading"]))
    print("%d characters with variants, %d characters with several readings, %d words"
          % (len(variants), len(several), len(readings) - len(several)), file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
