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
            self.assertNotIn(text, several if len(text) == 1 else words, "line %d repeats %s" % (n, text))
            if len(text) == 1:
                self.assertGreater(len(syllables), 1, "line %d" % n)
                several[text] = syllables
            else:
                self.assertEqual(len(syllables), len(text), "line %d" % n)
                words[text] = syllables
        self.assertEqual(several["行"][:2], ["xing", "hang"])
        self.assertEqual(several["了"], ["le", "liao"])
        self.assertNotIn("的", several)  # di is too rare
        # Simplified shapes that Luna Pinyin lists under a rare traditional
        # character: their readings are not the ones in use.
        for ch in "坏团机胶听币":
            self.assertNotIn(ch, several)
        # The words of a phrase dictionary, not only a few thousand.
        self.assertGreater(len(words), 30000)
        self.assertEqual(words["银行"], ["yin", "hang"])
        self.assertEqual(words["便宜"], ["pian", "yi"])
        self.assertEqual(words["长期"], ["chang", "qi"])
        self.assertEqual(words["不了"], ["bu", "liao"])
        self.assertEqual(words["伽利略"], ["jia", "li", "lve"])


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

    def test_traditional_readings_count_for_the_simplified_character_as_used(self):
        # Luna Pinyin lists the rare character 坏 (pei, pi) and 壞 (huai),
        # which simplified text writes as 坏; Pinyin Simp counts uses.
        luna = self.write("---\n...\n坏\tpei\t100%\n坏\tpi\t5%\n壞\thuai\t100%\n了\tle\t98.9%\n"
                          "了\tliao\t1.1%\n瞭\tliao\n乾\tgan\t21%\n乾\tqian\t79%\n"
                          "俞\tshu\t0%\n俞\tyu\t100%\n腊\tla\t0%\n腊\txi\t100%\n臘\tla\n")
        counts = gen.simp_counts(self.write("---\n...\n坏\thuai\t10112\n了\tle\t1500186\n"
                                            "了\tliao\t16750\n俞\tshu\t510\n俞\tyu\t510\n"
                                            "腊\tla\t158\n腊\txi\t158\n"))
        pinyin = {ord("坏"): ["huài", "pī", "péi"], ord("壞"): ["huài"], ord("了"): ["le", "liǎo"],
                  ord("瞭"): ["liǎo"], ord("乾"): ["qián", "gān"], ord("干"): ["gàn", "gān", "qián"],
                  ord("俞"): ["yú", "shù"], ord("腊"): ["là", "xī"], ord("臘"): ["là"]}
        to_simplified = {"壞": ["坏"], "瞭": ["瞭", "了"], "乾": ["干", "乾"], "臘": ["腊"]}
        several = gen.character_readings(luna, pinyin, to_simplified, counts)
        self.assertNotIn("坏", several)  # huai alone is used
        self.assertEqual(several["了"], ["le", "liao"])  # liao at 1.1% of uses
        # Counts shared out evenly: Luna Pinyin's frequency decides, and a
        # reading of the character simplified text writes so comes first.
        self.assertEqual(several["俞"], ["yu", "shu"])
        self.assertEqual(several["腊"], ["la", "xi"])
        # Without counts, Luna Pinyin's frequencies decide; 干 gets 乾's.
        self.assertEqual(several["乾"], ["qian", "gan"])
        self.assertEqual(several["干"], ["qian", "gan"])

    def test_words_take_the_simplified_list_first_and_need_known_syllables(self):
        simp = self.write("---\n...\n不了\tbu le\t1891\n不了\tbu liao\t8070\n忽略\thu lue\t2529\n"
                          "垃圾\tla se\t5\n一个\tyi ge\t900\n")
        luna = self.write("---\n...\n不了\tbu le\n銀行\tyin hang\n")
        pinyin = {ord("不"): ["bù"], ord("了"): ["le", "liǎo"], ord("忽"): ["hū"], ord("略"): ["lüè"],
                  ord("垃"): ["lā"], ord("圾"): ["jī"], ord("银"): ["yín"], ord("行"): ["xíng", "háng"],
                  ord("一"): ["yī"], ord("个"): ["gè"]}
        read = gen.read_words(simp, {}, pinyin, convert=False)
        self.assertEqual(read["忽略"], (2529.0, ["hu", "lve"]))
        self.assertNotIn("垃圾", read)  # go-pinyin does not read 圾 se
        words = gen.merge_words({w: r for w, (_, r) in read.items()}, gen.read_luna(luna, {"銀": ["银"]}, pinyin))
        self.assertEqual(words["不了"], ["bu", "liao"])
        self.assertEqual(words["银行"], ["yin", "hang"])
        rows = dict(gen.build_readings({}, words, pinyin))
        # A word is kept for a character go-pinyin reads in several ways,
        # even when no frequency list does.
        self.assertEqual(rows["不了"], "bu liao")
        self.assertNotIn("一个", rows)
        self.assertNotIn("忽略", rows)

if __name__ == "__main__":
    unittest.main()
