#include "compiler/CharacterReading.h"

#include <cstdio>

#include "compiler/CCharacterData.h"
#include "compiler/CCodePage936.h"
#include "compiler/Utf8.h"

namespace chatsieve::tools {

namespace {

unsigned Code(std::uint32_t codePoint) { return CCodePage936::Instance().TwoByteCode(codePoint); }

int SyllableOf(unsigned code, const RuleSetSource& rules) {
    return code ? SyllableByCode(static_cast<unsigned char>(code >> 8), static_cast<unsigned char>(code & 0xFF), rules)
                : -1;
}

bool Holds(const std::vector<CodeRange>& ranges, unsigned code) {
    for (const CodeRange& r : ranges)
        if (r.lead == code >> 8 && (code & 0xFF) >= r.low && (code & 0xFF) <= r.high) return true;
    return false;
}

std::string Utf8(std::uint32_t codePoint) {
    std::string out;
    AppendUtf8(&out, codePoint);
    return out;
}

std::string Hex(unsigned code) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X", code & 0xFFFFu);
    return text;
}

// Adds `code` to the part's extra ranges, joining a neighbouring one where
// it can; false when a new range would take the row past three.
bool AddExtra(unsigned code, std::size_t syllableRanges, std::vector<CodeRange>* extra) {
    const auto lead = static_cast<unsigned char>(code >> 8);
    const auto trail = static_cast<unsigned char>(code & 0xFF);
    for (CodeRange& r : *extra) {
        if (r.lead == lead && trail + 1 == r.low) {
            r.low = trail;
            return true;
        }
        if (r.lead == lead && trail == r.high + 1) {
            r.high = trail;
            return true;
        }
    }
    if (syllableRanges + extra->size() >= static_cast<std::size_t>(kMaxSyllableRanges)) return false;
    extra->push_back(CodeRange{lead, trail, trail, SourcePos()});
    return true;
}

void AddError(std::vector<Diagnostic>* diagnostics, const SourcePos& pos, std::string message) {
    diagnostics->push_back(Diagnostic{Diagnostic::Severity::kError, pos, std::move(message), {}});
}

}  // namespace

int SyllableByName(const std::string& name, const RuleSetSource& rules) {
    const auto found = rules.syllableRows.find(LowerAscii(name));
    return found == rules.syllableRows.end() ? -1 : found->second;
}

int SyllableByCode(unsigned char lead, unsigned char trail, const RuleSetSource& rules) {
    for (std::size_t i = 0; i < rules.syllables.size(); ++i)
        for (const CodeRange& range : rules.syllables[i].ranges)
            if (range.lead == lead && trail >= range.low && trail <= range.high) return static_cast<int>(i);
    return -1;
}

bool ReadCharacters(const std::vector<WrittenCharacter>& run, const RuleSetSource& rules, std::vector<PartRef>* parts,
                    std::vector<CharacterChoice>* choices, std::vector<Diagnostic>* diagnostics) {
    const CCharacterData& data = CCharacterData::Instance();
    // Each character as the syllable table knows it: itself, or the first
    // counterpart a syllable holds. Words are looked up in those forms, as
    // the dictionary is written in simplified characters.
    std::u32string known;
    std::vector<int> home;
    bool ok = true;
    for (const WrittenCharacter& c : run) {
        std::uint32_t form = c.codePoint;
        int syllable = SyllableOf(Code(form), rules);
        for (std::uint32_t v : data.Variants(c.codePoint)) {
            if (syllable >= 0) break;
            syllable = SyllableOf(Code(v), rules);
            if (syllable >= 0) form = v;
        }
        // A character beyond the syllable table (any of code page 936) stands
        // for the syllable of its main reading, and catches itself there.
        if (syllable < 0 && Code(c.codePoint))
            if (const std::string* main = data.MainReading(c.codePoint)) syllable = SyllableByName(*main, rules);
        if (syllable < 0) {
            const unsigned code = Code(c.codePoint);
            AddError(diagnostics, c.pos,
                     "'" + Utf8(c.codePoint) + "' (" + (code ? Hex(code) : FormatCodePoint(c.codePoint)) +
                         ") is in no syllable's ranges" +
                         (data.Variants(c.codePoint).empty() ? "" : ", nor is a traditional or simplified form of it"));
            ok = false;
        }
        known.push_back(form);
        home.push_back(syllable);
    }
    if (!ok) return false;

    // Readings from the longest dictionary word at each place, left to right.
    std::vector<const std::string*> wordReading(run.size(), nullptr);
    std::vector<std::string> wordOf(run.size());
    for (std::size_t i = 0; i < run.size();) {
        std::size_t length = std::min(data.LongestWord(), run.size() - i);
        for (; length >= 2; --length) {
            const std::vector<std::string>* reading = data.WordReading(known.substr(i, length));
            if (!reading) continue;
            std::string word;
            for (std::size_t k = 0; k < length; ++k) word += Utf8(run[i + k].codePoint);
            for (std::size_t k = 0; k < length; ++k) {
                wordReading[i + k] = &(*reading)[k];
                wordOf[i + k] = word;
            }
            break;
        }
        i += length >= 2 ? length : 1;
    }

    for (std::size_t i = 0; i < run.size(); ++i) {
        const WrittenCharacter& c = run[i];
        CharacterChoice choice;
        choice.pos = c.pos;
        choice.character = Utf8(c.codePoint);
        int syllable = home[i];
        if (!c.marked.empty()) {
            syllable = SyllableByName(c.marked, rules);
            if (syllable < 0) {
                AddError(diagnostics, c.markPos,
                         "unknown syllable '" + c.marked + "' as the reading of '" + choice.character + "'");
                ok = false;
                continue;
            }
            choice.source = CharacterChoice::Source::kMarked;
        } else if (wordReading[i] && SyllableByName(*wordReading[i], rules) >= 0) {
            syllable = SyllableByName(*wordReading[i], rules);
            choice.source = CharacterChoice::Source::kWord;
            choice.word = wordOf[i];
        } else {
            // With no word around it, a character of several readings takes
            // the one most used (了 le, not the liao whose syllable holds it),
            // when a syllable has that name.
            const std::vector<std::string>& readings = data.Readings(known[i]);
            const int used = readings.empty() ? -1 : SyllableByName(readings.front(), rules);
            if (used >= 0 && used != syllable) {
                syllable = used;
                choice.source = CharacterChoice::Source::kUsage;
            }
            for (const std::string& reading : readings)
                if (LowerAscii(reading) != LowerAscii(rules.syllables[static_cast<std::size_t>(syllable)].pinyin))
                    choice.others += (choice.others.empty() ? "" : " ") + reading;
        }
        const SyllableSource& taken = rules.syllables[static_cast<std::size_t>(syllable)];
        choice.reading = taken.pinyin;

        // What the part matches beyond the syllable's ranges: first the
        // character as written (and the form it was looked up by), then the
        // counterparts that are no syllable's characters of their own.
        PartRef part{PartKind::kSyllable, syllable, {}};
        std::vector<std::uint32_t> wanted{c.codePoint};
        if (known[i] != c.codePoint) wanted.push_back(known[i]);
        const std::size_t written = wanted.size();
        for (std::uint32_t form : {c.codePoint, static_cast<std::uint32_t>(known[i])})
            for (std::uint32_t v : data.Variants(form)) {
                bool seen = false;
                for (std::uint32_t w : wanted) seen = seen || w == v;
                if (!seen && Code(v) && SyllableOf(Code(v), rules) < 0) wanted.push_back(v);
            }
        for (std::size_t k = 0; k < wanted.size(); ++k) {
            const unsigned code = Code(wanted[k]);
            if (!code || Holds(taken.ranges, code)) continue;
            const bool fits = AddExtra(code, taken.ranges.size(), &part.extra);
            if (!fits) choice.leftOut += Utf8(wanted[k]);
            if (fits && k >= written) choice.variants += Utf8(wanted[k]);
        }
        parts->push_back(part);
        choices->push_back(choice);
    }
    return ok;
}

}  // namespace chatsieve::tools
