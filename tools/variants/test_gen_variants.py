"""Checks of the committed variant and reading tables and of the generator's
choices on small inputs (no Debian package needed).

Run from the repository root:
    python3 -m unittest discover -s tools/variants -p 'test_*.py'
"""

import os
import re
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import gen_variants as gen  # noqa: E402

READING = re.compile(r"^[a-z]+$")


def load(name):
    """(header, rows) of a committed table; rows as (line number, cells)."""
    header, rows = None, []
    with open(os.path.join(HERE, name), encoding="utf-8", newline="") as f:
        for n, line in enumerate(f, 1):
            if not line.endswith("\n") or line.endswith("\r\n"):
                raise AssertionError("%s:%d does not end with a bare LF" % (name, n))
            line = line[:-1]
            if line.startswith("#"):
                continue
            cells = line.split("\t")
            if header is None:
                header = cells
            else:
                rows.append((n, cells))
    return header, rows


class CommittedTables(unittest.TestCase):
    def test_variants_are_code_page_936_and_go_both_ways(self):
        header, rows = load("variants.tsv")
        self.assertEqual(header, ["character", "variants"])
        table = {}
        for n, (ch, partners) in rows:
            self.assertTrue(gen.in_cp936(ch) and len(ch) == 1, "line %d" % n)
            self.assertTrue(gen.in_cp936(partners) and ch not in partners, "line %d" % n)
            self.assertNotIn(ch, table, "line %d repeats %s" % (n, ch))
            table[ch] = partners
        for ch, partners in table.items():
            for p in partners:
                self.assertIn(ch, table.get(p, ""), "%s lists %s, not the other way" % (ch, p))
        self.assertIn("掛", table["挂"])
        self.assertIn("賣", table["卖"])

    def test_readings_hold_one_syllable_per_character(self):
        header, rows = load("readings.tsv")
        self.assertEqual(header, ["text", "reading"])
        several, words = {}, {}
        for n, (text, reading) in rows:
            syllables = reading.split(" ")
            self.assertTrue(gen.in_cp936(text), "line %d" % n)
            self.assertTrue(all(READING.match(s) for s in syllables), "line %d" % n)
            if len(text) == 1:
                self.assertGreater(len(syllables), 1, "line %d" % n)
                several[text] = syllables
            else:
                self.assertEqual(len(syllables), len(text), "line %d" % n)
                self.assertTrue(any(ch in several for ch in text), "line %d holds no such character" % n)
                words[text] = syllables
        self.assertEqual(several["行"][:2], ["xing", "hang"])
        self.assertEqual(words["银行"], ["yin", "hang"])
        self.assertNotIn("的", several)  # di is too rare


class Generator(unittest.TestCase):
    def write(self, text):
        f = tempfile.NamedTemporaryFile("w", encoding="utf-8", suffix=".yaml", delete=False)
        f.write(text)
        f.close()
        self.addCleanup(os.unlink, f.name)
        return f.name

    def test_variants_join_both_tables_and_skip_what_code_page_936_lacks(self):
        st = {"挂": ["掛", "挂"], "干": ["幹", "乾", "干"], "后": ["後", "后"], "A": ["B"]}
        ts = {"掛": ["挂"], "乾": ["干", "乾"], "𠮷": ["吉"]}
        rows = dict(gen.build_variants(st, ts))
        self.assertEqual(rows["挂"], "掛")
        self.assertEqual(rows["掛"], "挂")
        self.assertEqual(rows["干"], "幹乾")
        self.assertNotIn("A", rows)
        self.assertNotIn("吉", rows)  # its counterpart is outside the code page

    def test_readings_count_when_frequent_enough_and_known_to_both_sources(self):
        luna = self.write("---\nname: x\n...\n\n行\thang\t8%\n行\txing\t92%\n的\tde\t99.97%\n的\tdi\t0.03%\n"
                          "圾\tji\n圾\tse\n銀行\tyin hang\n行走\txing zou\n")
        pinyin = {ord("行"): ["xíng", "háng"], ord("的"): ["de", "dí"], ord("圾"): ["jī"]}
        several = gen.character_readings(luna, pinyin)
        self.assertEqual(several, {"行": ["xing", "hang"]})
        words = gen.read_luna(luna, {"銀": ["银"]})
        self.assertEqual(words["银行"], ["yin", "hang"])
        rows = gen.build_readings(several, words)
        self.assertIn(("银行", "yin hang"), rows)
        self.assertIn(("行走", "xing zou"), rows)


if __name__ == "__main__":
    unittest.main()
