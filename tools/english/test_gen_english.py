"""Checks of the committed English word table and of the generator's choices
on a small dictionary (no Debian package needed).

Run from the repository root:
    python3 -m unittest discover -s tools/english -p 'test_*.py'
"""

import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import gen_english as gen  # noqa: E402


class CommittedTable(unittest.TestCase):
    def test_every_word_is_lower_case_pinyin_once_in_order(self):
        known = gen.syllables()
        with open(os.path.join(HERE, "english.tsv"), encoding="utf-8") as f:
            lines = [line.rstrip("\n") for line in f if not line.startswith("#")]
        self.assertEqual(lines[0], "word")
        words = lines[1:]
        self.assertEqual(words, sorted(set(words)))
        for word in words:
            self.assertRegex(word, r"^[a-z]+$")
            self.assertTrue(gen.reads_as_pinyin(word, known), word)
        for word in ("made", "like", "you", "can"):
            self.assertIn(word, words)


class Generator(unittest.TestCase):
    def test_keeps_lower_case_words_that_split_into_syllables(self):
        with tempfile.TemporaryDirectory() as tmp:
            words = os.path.join(tmp, "words")
            out = os.path.join(tmp, "english.tsv")
            with open(words, "w", encoding="utf-8") as f:
                # Names, possessives, single letters and words no syllables
                # spell are left out; "a" is a word of its own.
                f.write("a\nb\nmade\nLi\nWang\nman's\nimage\nshanghai\nxyz\n")
            subprocess.run([sys.executable, "-B", os.path.join(HERE, "gen_english.py"), "--dict", words, "--out", out],
                           check=True)
            with open(out, encoding="utf-8") as f:
                kept = [line.rstrip("\n") for line in f if not line.startswith("#")][1:]
        self.assertEqual(kept, ["a", "made", "shanghai"])


if __name__ == "__main__":
    unittest.main()
