#include "compiler/WrittenPhrase.h"

#include <string>
#include <unordered_map>

#include "compiler/CAuthoringTable.h"
#include "compiler/CCharacterData.h"
#include "compiler/CCodePage936.h"
#include "compiler/CharacterReading.h"
#include "compiler/EmbeddedText.h"
#include "compiler/Utf8.h"
#include "platform/AsciiText.h"

namespace chatsieve::tools {

namespace {

// Character -> the split form that stands for it, with that syllable's pinyin.
struct SplitOf {
    std::string pinyin;
    std::string split;  // UTF-8
};

const std::unordered_map<std::uint32_t, SplitOf>& Splits() {
    static const std::unordered_map<std::uint32_t, SplitOf> table = [] {
        std::unordered_map<std::uint32_t, SplitOf> map;
        const std::string text = SplitTable().Text();
        for (std::size_t start = 0; start < text.size();) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            const std::string line = text.substr(start, end - start);
            start = end + 1;
            if (line.empty() || line[0] == '#') continue;
            const std::size_t a = line.find('\t');
            const std::size_t b = a == std::string::npos ? a : line.find('\t', a + 1);
            if (b == std::string::npos) continue;
            std::size_t at = b + 1;
            std::uint32_t cp = 0;
            if (!DecodeUtf8(line, &at, &cp)) continue;
            map.emplace(cp, SplitOf{line.substr(0, a), line.substr(a + 1, b - a - 1)});
        }
        return map;
    }();
    return table;
}

bool Stripped(const std::string& bytes, const RuleSetSource& rules) {
    const auto first = static_cast<unsigned char>(bytes[0]);
    for (const IgnoreSetSource& set : rules.ignoreSets) {
        if (bytes.size() == 1) {
            for (const ByteRange& r : set.singles)
                if (first >= r.low && first <= r.high) return true;
        } else {
            const auto second = static_cast<unsigned char>(bytes[1]);
            for (const CodeRange& r : set.doubles)
                if (r.lead == first && second >= r.low && second <= r.high) return true;
        }
    }
    return false;
}

// Adds one character to a unit's ranges, joining a neighbour; false when a
// fourth range would be needed.
bool AddCode(unsigned code, std::vector<CodeRange>* ranges) {
    const auto lead = static_cast<unsigned char>(code >> 8);
    const auto trail = static_cast<unsigned char>(code & 0xFF);
    for (CodeRange& r : *ranges) {
        if (r.lead != lead) continue;
        if (trail >= r.low && trail <= r.high) return true;
        if (trail + 1 == r.low) {
            r.low = trail;
            return true;
        }
        if (trail == r.high + 1) {
            r.high = trail;
            return true;
        }
    }
    if (ranges->size() >= static_cast<std::size_t>(kMaxSyllableRanges)) return false;
    ranges->push_back(CodeRange{lead, trail, trail, SourcePos()});
    return true;
}

int UnitIndex(RuleSetSource* rules, const WrittenSyllable& unit) {
    std::string key = unit.romanised + '\t';
    for (const CodeRange& r : unit.ranges) key += FormatCodeRange(r) + ' ';
    key += unit.hasSplit ? "\t" + unit.split : "";
    const auto found = rules->writtenIndex.find(key);
    if (found != rules->writtenIndex.end()) return found->second;
    const int index = static_cast<int>(rules->written.size());
    rules->written.push_back(unit);
    rules->writtenIndex.emplace(key, index);
    return index;
}

// A single-byte character as itself: a letter in either case, and its
// full-width forms, which the filter folds to it anyway on packages with
// written rules but which also let the unit stand on its own.
WrittenSyllable SingleByteUnit(unsigned char c) {
    WrittenSyllable unit;
    if (IsAsciiLetter(c)) {
        const int letter = static_cast<int>(ToAsciiLower(c)) - 'a';
        unit.romanised = std::string(1, static_cast<char>('a' + letter));
        unit.ranges.push_back(CodeRange{0xA3, static_cast<unsigned char>(0xC1 + letter),
                                        static_cast<unsigned char>(0xC1 + letter), SourcePos()});
        unit.ranges.push_back(CodeRange{0xA3, static_cast<unsigned char>(0xE1 + letter),
                                        static_cast<unsigned char>(0xE1 + letter), SourcePos()});
        return unit;
    }
    unit.romanised = std::string(1, static_cast<char>(c));
    // Code page 936 writes the full-width form of 21..7E at A3A1..A3FE, and
    // the ideographic space for a space.
    const unsigned full = c == ' ' ? 0xA1A1 : 0xA3A1 + (c - 0x21u);
    unit.ranges.push_back(CodeRange{static_cast<unsigned char>(full >> 8), static_cast<unsigned char>(full & 0xFF),
                                    static_cast<unsigned char>(full & 0xFF), SourcePos()});
    return unit;
}

struct Pending {
    SourcePos pos;
    std::uint32_t codePoint = 0;
    std::string marked;
};

class CWrittenReader {
public:
    CWrittenReader(RuleSetSource* rules, RuleSource* phrase, std::vector<Diagnostic>* diagnostics)
        : m_rules(*rules), m_phrase(*phrase), m_diagnostics(*diagnostics) {}

    bool Run() {
        const std::string& text = m_phrase.text;
        const CCodePage936& codePage = CCodePage936::Instance();
        bool ok = true;
        // Columns are counted as the text is walked: counting from its start
        // for every character made a long phrase quadratic.
        ColumnCounter columns(text);
        std::size_t i = 0;
        while (i < text.size()) {
            SourcePos pos = m_phrase.textPos;
            pos.column += columns.Before(i);
            std::size_t next = i;
            std::uint32_t cp = 0;
            DecodeUtf8(text, &next, &cp);
            std::string bytes;
            if (!codePage.Encode(cp, &bytes) || bytes.empty()) {
                AddError(pos,
                         "'" + text.substr(i, next - i) + "' (" + FormatCodePoint(cp) + ") is not in code page 936");
                ok = false;
                i = next;
                continue;
            }
            i = next;
            if (Stripped(bytes, m_rules)) continue;
            auto first = static_cast<unsigned char>(bytes[0]);
            // Full-width letters and digits are the letters and digits themselves.
            if (bytes.size() == 2 && first == 0xA3) {
                const auto second = static_cast<unsigned char>(bytes[1]);
                if ((second >= 0xB0 && second <= 0xB9) || (second >= 0xC1 && second <= 0xDA) ||
                    (second >= 0xE1 && second <= 0xFA)) {
                    bytes = std::string(1, static_cast<char>(second - 0x80));
                    first = static_cast<unsigned char>(bytes[0]);
                }
            }
            if (bytes.size() == 1) {
                FlushRun();
                if (first < 0x20 || first == 0x7F) {
                    AddError(pos, "control character " + FormatCodePoint(cp) + " cannot stand in a phrase");
                    ok = false;
                    continue;
                }
                Push(SingleByteUnit(first));
                continue;
            }
            Pending pending{pos, cp, ""};
            // 屌(diao): a reading right after a character chooses its pinyin.
            if (i < text.size() && text[i] == '(') {
                const std::size_t close = text.find(')', i);
                const std::string inside = close == std::string::npos ? "" : text.substr(i + 1, close - i - 1);
                bool letters = !inside.empty();
                for (char c : inside) letters = letters && IsAsciiLetter(static_cast<unsigned char>(c));
                if (letters) {
                    pending.marked = LowerAscii(inside);
                    i = close + 1;
                }
            }
            m_run.push_back(pending);
        }
        FlushRun();
        if (ok && m_phrase.parts.empty()) {
            AddError(m_phrase.textPos, "a phrase needs its expression; this one is all fillers");
            ok = false;
        }
        if (ok && m_phrase.parts.size() > static_cast<std::size_t>(kMaxPhraseRefs)) {
            AddError(m_phrase.textPos, "a phrase holds at most " + std::to_string(kMaxPhraseRefs) +
                                           " characters, fillers left out; this one has " +
                                           std::to_string(m_phrase.parts.size()));
            ok = false;
        }
        return ok;
    }

private:
    void AddError(const SourcePos& pos, std::string message) {
        m_diagnostics.push_back(Diagnostic{Diagnostic::Severity::kError, pos, std::move(message), {}});
    }

    void Push(const WrittenSyllable& unit) {
        m_phrase.parts.push_back(PartRef{PartKind::kWritten, UnitIndex(&m_rules, unit), {}});
    }

    static unsigned Code(std::uint32_t cp) { return CCodePage936::Instance().TwoByteCode(cp); }

    // The syllable holding a character or, failing that, one of its forms,
    // with the form that syllable holds.
    int Home(std::uint32_t cp, std::uint32_t* known) const {
        *known = cp;
        const unsigned code = Code(cp);
        int syllable = code ? SyllableByCode(static_cast<unsigned char>(code >> 8),
                                             static_cast<unsigned char>(code & 0xFF), m_rules)
                            : -1;
        for (std::uint32_t v : CCharacterData::Instance().Variants(cp)) {
            if (syllable >= 0) break;
            const unsigned vc = Code(v);
            if (!vc) continue;
            syllable =
                SyllableByCode(static_cast<unsigned char>(vc >> 8), static_cast<unsigned char>(vc & 0xFF), m_rules);
            if (syllable >= 0) *known = v;
        }
        return syllable;
    }

    // The characters written one after another, read together so that a
    // dictionary word can give each its reading.
    void FlushRun() {
        if (m_run.empty()) return;
        const CCharacterData& data = CCharacterData::Instance();
        std::u32string known;
        std::vector<int> home;
        for (const Pending& c : m_run) {
            std::uint32_t form = c.codePoint;
            home.push_back(Home(c.codePoint, &form));
            known.push_back(form);
        }
        std::vector<std::string> reading(m_run.size());
        std::vector<std::string> word(m_run.size());
        for (std::size_t i = 0; i < m_run.size();) {
            std::size_t length = std::min(data.LongestWord(), m_run.size() - i);
            for (; length >= 2; --length) {
                const std::vector<std::string>* found = data.WordReading(known.substr(i, length));
                if (!found) continue;
                std::string shown;
                for (std::size_t k = 0; k < length; ++k) AppendUtf8(&shown, m_run[i + k].codePoint);
                for (std::size_t k = 0; k < length; ++k) {
                    reading[i + k] = (*found)[k];
                    word[i + k] = shown;
                }
                break;
            }
            i += length >= 2 ? length : 1;
        }
        for (std::size_t i = 0; i < m_run.size(); ++i) {
            const Pending& c = m_run[i];
            CharacterChoice choice;
            choice.pos = c.pos;
            AppendUtf8(&choice.character, c.codePoint);
            WrittenSyllable unit;
            unit.home = home[i];
            if (!c.marked.empty()) {
                unit.romanised = c.marked;
                choice.source = CharacterChoice::Source::kMarked;
            } else if (!reading[i].empty()) {
                unit.romanised = reading[i];
                choice.source = CharacterChoice::Source::kWord;
                choice.word = word[i];
            } else if (!data.Readings(known[i]).empty()) {
                // The most used reading, before the syllable that holds the
                // character: 了 is le, though its syllable is liao.
                unit.romanised = data.Readings(known[i]).front();
                if (home[i] >= 0 && LowerAscii(unit.romanised) !=
                                        LowerAscii(m_rules.syllables[static_cast<std::size_t>(home[i])].pinyin))
                    choice.source = CharacterChoice::Source::kUsage;
            } else if (home[i] >= 0) {
                unit.romanised = m_rules.syllables[static_cast<std::size_t>(home[i])].pinyin;
            } else if (const std::string* main = data.MainReading(c.codePoint)) {
                unit.romanised = *main;
            }
            const int named = unit.romanised.empty() ? -1 : SyllableByName(unit.romanised, m_rules);
            if (named >= 0) unit.home = named;
            // Without a reading the character still matches as written: its
            // own bytes are a romanised form no letter can spell.
            std::string bytes;
            CCodePage936::Instance().Encode(c.codePoint, &bytes);
            if (unit.romanised.empty()) unit.romanised = bytes;
            choice.reading = unit.romanised;
            AddCode(Code(c.codePoint), &unit.ranges);
            const std::uint32_t forms[2] = {c.codePoint, static_cast<std::uint32_t>(known[i])};
            for (std::size_t f = 0; f < (known[i] == c.codePoint ? 1u : 2u); ++f) {
                const std::uint32_t form = forms[f];
                if (f == 1 && Code(form) && AddCode(Code(form), &unit.ranges)) AppendUtf8(&choice.variants, form);
                for (std::uint32_t v : data.Variants(form)) {
                    if (v == c.codePoint || v == known[i] || !Code(v)) continue;
                    if (AddCode(Code(v), &unit.ranges))
                        AppendUtf8(&choice.variants, v);
                    else
                        AppendUtf8(&choice.leftOut, v);
                }
            }
            const auto split = Splits().find(known[i]);
            if (unit.home >= 0 && split != Splits().end()) {
                const SyllableSource& syllable = m_rules.syllables[static_cast<std::size_t>(unit.home)];
                if (syllable.hasSplit && LowerAscii(syllable.pinyin) == LowerAscii(split->second.pinyin)) {
                    unit.hasSplit = true;
                    unit.split = syllable.split;
                }
            }
            Push(unit);
            m_phrase.choices.push_back(choice);
        }
        m_run.clear();
    }

    RuleSetSource& m_rules;
    RuleSource& m_phrase;
    std::vector<Diagnostic>& m_diagnostics;
    std::vector<Pending> m_run;
};

}  // namespace

bool ReadWrittenPhrase(RuleSetSource* rules, RuleSource* phrase, std::vector<Diagnostic>* diagnostics) {
    phrase->parts.clear();
    phrase->choices.clear();
    rules->foldFullWidth = true;
    return CWrittenReader(rules, phrase, diagnostics).Run();
}

int EdgeFlags(const RuleSource& phrase, const RuleSetSource& /*rules*/) {
    return phrase.match == MatchMode::kWritten && !phrase.parts.empty() ? 3 : 0;
}

}  // namespace chatsieve::tools
