#include "compiler/CCodeTableReader.h"

#include <utility>

#include "compiler/AuthoringText.h"
#include "compiler/CCodePage936.h"
#include "compiler/CharacterReading.h"
#include "format/RulePackage.h"

namespace chatsieve::tools {

void CCodeTableReader::AddError(const SourcePos& pos, std::string message) {
    m_diagnostics->push_back(Diagnostic{Diagnostic::Severity::kError, pos, std::move(message), {}});
}

void CCodeTableReader::ReadIgnore(const CAuthoringTable& table, RuleSetSource* rules) {
    const AuthoringRow* logRow = nullptr;
    for (const AuthoringRow& row : table.Rows()) {
        const std::string& kind = row.fields[0].text;
        const AuthoringField& value = row.fields[1];
        if (kind == "log") {
            if (logRow) {
                AddError(row.fields[0].pos,
                         "the log switch is already set on line " + std::to_string(logRow->pos.line));
            } else if (value.text == "on" || value.text == "off") {
                rules->logEnabled = value.text == "on";
                logRow = &row;
            } else {
                AddError(value.pos, "the log switch is 'on' or 'off'");
            }
            continue;
        }
        if (kind == "set") {
            if (!value.text.empty()) AddError(value.pos, "'set' starts a new ignore-set and takes no value");
            rules->ignoreSets.push_back(IgnoreSetSource{row.pos, {}, {}});
            continue;
        }
        if (kind != "single" && kind != "double") {
            AddError(row.fields[0].pos, "unknown kind '" + kind + "': use log, set, single or double");
            continue;
        }
        if (rules->ignoreSets.empty()) rules->ignoreSets.push_back(IgnoreSetSource{row.pos, {}, {}});
        IgnoreSetSource& set = rules->ignoreSets.back();
        std::string first, last;
        SplitRange(value.text, &first, &last);
        if (kind == "single") {
            const int low = ParseHex(first, 2);
            const int high = ParseHex(last, 2);
            if (low < 0 || high < 0) {
                AddError(value.pos,
                         "'" + value.text +
                             "' is not a byte range: write two hex digits, or two such joined by '-' (20-2F)");
                continue;
            }
            if (low > high) {
                AddError(value.pos, "the range '" + value.text + "' runs backwards");
                continue;
            }
            set.singles.push_back(
                ByteRange{static_cast<unsigned char>(low), static_cast<unsigned char>(high), value.pos});
        } else {
            const int low = ParseHex(first, 4);
            const int high = ParseHex(last, 4);
            if (low < 0 || high < 0) {
                AddError(
                    value.pos,
                    "'" + value.text +
                        "' is not a character range: write four hex digits, or two such joined by '-' (A1A1-A1FE)");
                continue;
            }
            if (low >> 8 != high >> 8) {
                AddError(value.pos,
                         "the range '" + value.text + "' spans two first bytes; write one range per first byte");
                continue;
            }
            if (!CCodePage936::IsLead(static_cast<unsigned char>(low >> 8))) {
                AddError(value.pos, "the range '" + value.text + "' must start with a lead byte, 81 to FE");
                continue;
            }
            if (low > high) {
                AddError(value.pos, "the range '" + value.text + "' runs backwards");
                continue;
            }
            set.doubles.push_back(CodeRange{static_cast<unsigned char>(low >> 8),
                                            static_cast<unsigned char>(low & 0xFF),
                                            static_cast<unsigned char>(high & 0xFF), value.pos});
        }
        const std::size_t values = set.singles.size() * 2 + 1 + set.doubles.size() * 3;
        if (values > static_cast<std::size_t>(kMaxIgnoreValues)) {
            AddError(value.pos, "this range takes the ignore-set past the " + std::to_string(kMaxIgnoreValues) +
                                    " values the filter reads (2 a single-byte range, 3 a character range, 1 between); "
                                    "start another with 'set'");
            if (kind == "single")
                set.singles.pop_back();
            else
                set.doubles.pop_back();
        }
    }
    if (rules->ignoreSets.empty())
        AddError(table.HeaderPos(), "no ignore-set: the filter refuses a rule set without one");
}

void CCodeTableReader::ReadSyllables(const CAuthoringTable& table, RuleSetSource* rules) {
    for (const AuthoringRow& row : table.Rows()) {
        const AuthoringField& pinyin = row.fields[0];
        const AuthoringField& ranges = row.fields[1];
        const AuthoringField& split = row.fields[2];
        SyllableSource syllable;
        syllable.pos = row.pos;
        bool ok = true;
        if (pinyin.text.empty()) {
            AddError(pinyin.pos, "a syllable needs its pinyin");
            ok = false;
        } else if (!IsAllLetters(pinyin.text)) {
            AddError(pinyin.pos, "the pinyin '" + pinyin.text + "' must be ASCII letters only");
            ok = false;
        } else {
            const int other = SyllableByName(pinyin.text, *rules);
            if (other >= 0) {
                AddError(pinyin.pos, "the syllable '" + pinyin.text + "' is already defined on line " +
                                         std::to_string(rules->syllables[static_cast<std::size_t>(other)].pos.line));
                ok = false;
            }
        }
        syllable.pinyin = pinyin.text;

        const std::vector<Token> words = SplitWords(ranges);
        if (words.empty()) {
            AddError(ranges.pos, "a syllable needs one to three code ranges");
            ok = false;
        }
        for (const Token& word : words) {
            if (syllable.ranges.size() == static_cast<std::size_t>(kMaxSyllableRanges)) {
                AddError(word.pos, "a syllable holds at most 3 code ranges (the filter reads 9 code bytes)");
                ok = false;
                break;
            }
            std::string first, last;
            SplitRange(word.text, &first, &last);
            const int low = ParseHex(first, 4);
            const int high = ParseHex(last, 4);
            if (low < 0 || high < 0) {
                AddError(word.pos,
                         "'" + word.text +
                             "' is not a code range: write four hex digits, or two such joined by '-' (B0A1-B0AF)");
                ok = false;
                continue;
            }
            if (low >> 8 != high >> 8) {
                AddError(word.pos,
                         "the range '" + word.text + "' spans two first bytes; write one range per first byte");
                ok = false;
                continue;
            }
            if (!CCodePage936::IsLead(static_cast<unsigned char>(low >> 8)) || (low & 0xFF) < 0x40 ||
                (high & 0xFF) < 0x40 || (low & 0xFF) == 0xFF || (high & 0xFF) == 0xFF) {
                AddError(word.pos,
                         "the range '" + word.text +
                             "' holds no two-byte characters: the first byte is 81 to FE, the second 40 to FE");
                ok = false;
                continue;
            }
            if (low > high) {
                AddError(word.pos, "the range '" + word.text + "' runs backwards");
                ok = false;
                continue;
            }
            syllable.ranges.push_back(CodeRange{static_cast<unsigned char>(low >> 8),
                                                static_cast<unsigned char>(low & 0xFF),
                                                static_cast<unsigned char>(high & 0xFF), word.pos});
        }

        syllable.splitPos = split.pos;
        if (!split.text.empty()) {
            TextError error;
            if (!CCodePage936::Instance().FromUtf8(split.text, &syllable.split, &error)) {
                SourcePos pos = split.pos;
                pos.column += error.column - 1;
                AddError(pos, "split form: " + error.message);
                ok = false;
            }
            syllable.hasSplit = true;
        }
        if (ok) {
            rules->syllableRows.emplace(LowerAscii(syllable.pinyin), static_cast<int>(rules->syllables.size()));
            rules->syllables.push_back(syllable);
        }
    }
    if (rules->syllables.empty() && !HasErrors(*m_diagnostics))
        AddError(table.HeaderPos(), "no syllables: the filter refuses a rule set without them");
    if (rules->syllables.size() > static_cast<std::size_t>(kMaxReferencedRows))
        AddError(rules->syllables[kMaxReferencedRows].pos,
                 "more than " + std::to_string(kMaxReferencedRows) + " syllables cannot be referred to");
}

}  // namespace chatsieve::tools
