#!/usr/bin/env python3
"""Generate rules/syllables.tsv: the syllable table for GB2312 level-1 characters.

GB2312's level-1 block (B0A1 to D7F9) is sorted by pinyin, so every syllable
covers one contiguous stretch of codes, which we cut at lead-byte boundaries
into (lead, low, high) ranges. The readings come from the character-to-pinyin
dictionary of the go-pinyin sources that Debian ships; that file is a Go map
literal of code points to comma-separated readings with tone marks.

Readings are written toneless, and u-umlaut as "v", the way players type it
on a pinyin keyboard ("lv", "nv", "lve").

A character with several readings takes the one that keeps the table in
pinyin order. The choice is made for the whole block at once, by a shortest
path over the characters, minimising in turn:
  1. steps that go backwards in pinyin order,
  2. changes of syllable between neighbouring characters,
  3. the position of the chosen reading in the dictionary's list, so that a
     character on the border of two syllables that has both keeps its main
     reading.
Whatever still breaks the order afterwards is reported on standard error.
A syllable that ends up with characters in several separate stretches keeps
them all as long as they fit in three ranges; more than that, a character
without a dictionary entry, or a reading that is not plain letters after
dropping the tones, stops the generator, since a table that silently drops a
character would leave it unfilterable.

Split forms (a character written as its components, such as 女子 for 好)
are not in the dictionary; they come from the small hand-written table
splits.tsv beside this script (pinyin, split form, and the character it stands
for), and land in the "split" column.

Usage: gen_syllables.py [DICT] [-o OUT] [--splits SPLITS]
"""

import argparse
import hashlib
import os
import re
import sys
import unicodedata

DEFAULT_DICT = "/usr/share/gocode/src/github.com/mozillazg/go-pinyin/pinyin_dict.go"
SOURCE_NAME = "go-pinyin pinyin_dict.go"
DEFAULT_SPLITS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "splits.tsv")

LEAD_FIRST, LEAD_LAST = 0xB0, 0xD7
TRAIL_FIRST, TRAIL_LAST = 0xA1, 0xFE
LAST_CODE = 0xD7F9  # D7FA..D7FE are unassigned in GB2312
MAX_RANGES = 3

HEADER = ("pinyin", "ranges", "split")

_ENTRY = re.compile(r'^\s*0x([0-9A-Fa-f]+)\s*:\s*"([^"]*)"\s*,')
_SYLLABLE = re.compile(r"^[a-z]+$")


class GenerationError(Exception):
    pass


def level1_codes():
    """Every assigned level-1 code, in code order."""
    for lead in range(LEAD_FIRST, LEAD_LAST + 1):
        for trail in range(TRAIL_FIRST, TRAIL_LAST + 1):
            code = (lead << 8) | trail
            if code > LAST_CODE:
                return
            yield code


def code_to_char(code):
    return bytes([code >> 8, code & 0xFF]).decode("gb2312")


def toneless(reading):
    """Drop tone marks; u-umlaut becomes "v" (the diaeresis survives NFD as
    U+0308, which we turn into the letter instead of dropping it)."""
    out = []
    for ch in unicodedata.normalize("NFD", reading.strip()):
        if ch == "\u0308":
            if not out or out[-1] != "u":
                raise GenerationError("diaeresis not on u in reading %r" % reading)
            out[-1] = "v"
        elif unicodedata.combining(ch):
            continue
        else:
            out.append(ch.lower())
    return "".join(out)


def pinyin_key(syllable):
    """GB2312 sorts u-umlaut right after u and otherwise like u:
    lu < lv < luan < lve < lun < luo."""
    return (syllable.replace("v", "u"), syllable)


def read_dictionary(path):
    """Map of code point -> list of readings, as written (with tones)."""
    table = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            m = _ENTRY.match(line)
            if m:
                table[int(m.group(1), 16)] = m.group(2).split(",")
    if not table:
        raise GenerationError("%s holds no code point entries" % path)
    return table


def readings_for(codes, dictionary):
    """For each code: the distinct toneless readings, main reading first."""
    result = []
    for code in codes:
        ch = code_to_char(code)
        raw = dictionary.get(ord(ch))
        if not raw:
            raise GenerationError("%04X (%s) has no reading in the dictionary" % (code, ch))
        seen = []
        for r in raw:
            s = toneless(r)
            if not _SYLLABLE.match(s):
                raise GenerationError("%04X (%s): reading %r is not plain letters" % (code, ch, r))
            if s not in seen:
                seen.append(s)
        result.append(seen)
    return result


def choose_readings(candidates):
    """Pick one reading per character, minimising (backward steps, syllable
    changes, sum of reading positions) over the whole block."""
    best = {r: (0, 0, i) for i, r in enumerate(candidates[0])}
    back = []
    for options in candidates[1:]:
        step = {}
        came_from = {}
        for i, r in enumerate(options):
            chosen = None
            for prev, (breaks, changes, rank) in best.items():
                if prev == r:
                    cost = (breaks, changes, rank + i)
                else:
                    backwards = pinyin_key(r) < pinyin_key(prev)
                    cost = (breaks + backwards, changes + 1, rank + i)
                # Ties go to the earlier previous reading in key order so the
                # result never depends on dict iteration order.
                if chosen is None or cost < chosen[0] or (
                        cost == chosen[0] and pinyin_key(prev) < pinyin_key(chosen[1])):
                    chosen = (cost, prev)
            step[r] = chosen[0]
            came_from[r] = chosen[1]
        best = step
        back.append(came_from)
    last = min(best, key=lambda r: (best[r], pinyin_key(r)))
    chosen = [last]
    for came_from in reversed(back):
        last = came_from[last]
        chosen.append(last)
    chosen.reverse()
    return chosen


def build_table(codes, chosen):
    """Return (rows, notes): rows are (syllable, [(lead, low, high)...]) in
    code order; notes describe the order exceptions."""
    ranges = {}
    first_code = {}
    prev_syllable = None
    stretches = {}
    notes = []
    for code, syl in zip(codes, chosen):
        lead, trail = code >> 8, code & 0xFF
        triples = ranges.setdefault(syl, [])
        first_code.setdefault(syl, code)
        if syl != prev_syllable:
            stretches[syl] = stretches.get(syl, 0) + 1
            if prev_syllable is not None and pinyin_key(syl) < pinyin_key(prev_syllable):
                notes.append("%04X (%s) %s follows %s out of pinyin order"
                             % (code, code_to_char(code), syl, prev_syllable))
        if (syl == prev_syllable and triples and triples[-1][0] == lead
                and triples[-1][2] + 1 == trail):
            triples[-1][2] = trail
        else:
            triples.append([lead, trail, trail])
        prev_syllable = syl

    for syl, n in sorted(stretches.items(), key=lambda kv: first_code[kv[0]]):
        if n > 1:
            notes.append("%s has characters in %d separate stretches: %s"
                         % (syl, n, format_ranges(ranges[syl])))
        if len(ranges[syl]) > MAX_RANGES:
            raise GenerationError("%s needs %d code ranges, at most %d fit: %s"
                                  % (syl, len(ranges[syl]), MAX_RANGES,
                                     format_ranges(ranges[syl])))

    rows = sorted(ranges.items(), key=lambda kv: first_code[kv[0]])
    return [(syl, [tuple(t) for t in tr]) for syl, tr in rows], notes


def format_ranges(triples):
    return " ".join("%02X%02X-%02X%02X" % (lead, low, lead, high)
                    for lead, low, high in triples)


def read_splits(path, syllables):
    """Map of pinyin -> split form from the hand-written table at path."""
    splits = {}
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            cells = line.split("\t")
            if len(cells) < 2 or not cells[1]:
                raise GenerationError("%s:%d: want pinyin<TAB>split" % (path, n))
            pinyin, split = cells[0], cells[1]
            if pinyin not in syllables:
                raise GenerationError("%s:%d: no syllable %r in the table" % (path, n, pinyin))
            if pinyin in splits:
                raise GenerationError("%s:%d: %r has a split form already" % (path, n, pinyin))
            try:
                split.encode("gbk")
            except UnicodeError:
                raise GenerationError("%s:%d: %r is not all code page 936" % (path, n, split))
            splits[pinyin] = split
    return splits


def render(rows, dict_digest, splits=None):
    splits = splits or {}
    lines = [
        "# generated by tools/syllables/gen_syllables.py from %s sha256:%s; do not edit by hand"
        % (SOURCE_NAME, dict_digest),
        "# GB2312 level-1 characters B0A1-D7F9; pinyin toneless, u-umlaut written as v;"
        " split forms from tools/syllables/splits.tsv",
        "\t".join(HEADER),
    ]
    for syl, triples in rows:
        lines.append("%s\t%s\t%s" % (syl, format_ranges(triples), splits.get(syl, "")))
    return "\n".join(lines) + "\n"


def generate(dict_path, splits_path=None):
    """Return (tsv text, notes, statistics) for the dictionary at dict_path."""
    with open(dict_path, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    dictionary = read_dictionary(dict_path)
    codes = list(level1_codes())
    candidates = readings_for(codes, dictionary)
    chosen = choose_readings(candidates)
    rows, notes = build_table(codes, chosen)
    stats = {
        "characters": len(codes),
        "syllables": len(rows),
        "several_readings": sum(1 for c in candidates if len(c) > 1),
        "not_main_reading": [
            (code, syl, cand) for code, syl, cand in zip(codes, chosen, candidates)
            if syl != cand[0]
        ],
    }
    splits = read_splits(splits_path, {syl for syl, _ in rows}) if splits_path else {}
    return render(rows, digest, splits), notes, stats


def main(argv=None):
    here = os.path.dirname(os.path.abspath(__file__))
    default_out = os.path.normpath(os.path.join(here, "..", "..", "rules", "syllables.tsv"))
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("dictionary", nargs="?", default=DEFAULT_DICT,
                    help="go-pinyin pinyin_dict.go (default: %(default)s)")
    ap.add_argument("-o", "--output", default=default_out,
                    help="table to write, '-' for standard output (default: %(default)s)")
    ap.add_argument("--splits", default=DEFAULT_SPLITS,
                    help="split forms to add (default: %(default)s)")
    ap.add_argument("-v", "--verbose", action="store_true",
                    help="list the characters that took a reading other than their main one")
    args = ap.parse_args(argv)

    try:
        text, notes, stats = generate(args.dictionary, args.splits)
    except (OSError, GenerationError, UnicodeError) as e:
        print("gen_syllables: %s" % e, file=sys.stderr)
        return 1

    if args.output == "-":
        sys.stdout.write(text)
    else:
        with open(args.output, "w", encoding="utf-8", newline="\n") as f:
            f.write(text)

    print("gen_syllables: %d characters, %d syllables; %d characters have several "
          "readings, %d took one other than their main reading"
          % (stats["characters"], stats["syllables"], stats["several_readings"],
             len(stats["not_main_reading"])), file=sys.stderr)
    if args.verbose:
        for code, syl, cand in stats["not_main_reading"]:
            print("  %04X %s %s (readings: %s)" % (code, code_to_char(code), syl,
                                                  ", ".join(cand)), file=sys.stderr)
    for note in notes:
        print("gen_syllables: exception: %s" % note, file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
