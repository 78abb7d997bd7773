#include "CWhyNot.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

#include "compiler/CCharacterData.h"
#include "compiler/CCodePage936.h"
#include "compiler/RuleSource.h"
#include "matchers/CSyllable.h"
#include "platform/AsciiText.h"

namespace chatsieve::tools {

namespace {

unsigned char At(const std::string& text, int i) {
    return static_cast<unsigned char>(text[static_cast<std::size_t>(i)]);
}

// Bytes of the character at `at`.
int Width(const std::string& work, int at) {
    return static_cast<int>(GbkStepWithin(work.data(), static_cast<std::size_t>(at), work.size()));
}

unsigned CodeAt(const std::string& work, int at) { return static_cast<unsigned>(At(work, at)) << 8 | At(work, at + 1); }

std::string CodeText(unsigned code) {
    return std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

// Ａ to Ｚ and ａ to ｚ: what a full-width letter stands for in ASCII, or 0.
char FullWidthLetter(const std::string& work, int at) {
    if (Width(work, at) != 2 || At(work, at) != 0xA3) return 0;
    const unsigned char trail = At(work, at + 1);
    const auto ascii = static_cast<unsigned char>(trail - 0x80);
    return IsAsciiLetter(ascii) && trail >= 0xC1 ? static_cast<char>(ascii) : 0;
}

// A character that is neither a letter nor a word: ASCII other than letters,
// and the symbols of rows A1 to A9 other than full-width letters.
bool IsFiller(const std::string& work, int at, unsigned char breakByte) {
    const unsigned char b = At(work, at);
    if (breakByte && b == breakByte) return false;
    if (Width(work, at) == 1) return !IsAsciiLetter(b);
    return b >= 0xA1 && b <= 0xA9 && !FullWidthLetter(work, at);
}

}  // namespace

unsigned SimplifiedForm(unsigned code) {
    // The compiler's variant table pairs both ways; a character that no
    // syllable holds is as a rule the traditional one of its pair.
    const CCodePage936& codePage = CCodePage936::Instance();
    const long character = codePage.Decode(static_cast<unsigned char>(code >> 8), static_cast<unsigned char>(code));
    if (character < 0) return 0;
    for (std::uint32_t counterpart : CCharacterData::Instance().Variants(static_cast<std::uint32_t>(character)))
        if (const unsigned counterpartCode = codePage.TwoByteCode(counterpart)) return counterpartCode;
    return 0;
}

CWhyNot::CWhyNot(std::vector<const CSyllable*> syllables, std::vector<Rule> rules)
    : m_syllables(std::move(syllables)), m_rules(std::move(rules)), m_covering(0x10000, -1) {
    for (std::size_t s = m_syllables.size(); s-- > 0;) {
        const CSyllable* syllable = m_syllables[s];
        for (int r = 0; syllable->Codes() && r < syllable->CodeRangeCount(); ++r) {
            const unsigned char* range = syllable->Codes() + 3 * r;
            for (unsigned trail = range[1]; trail <= range[2]; ++trail)
                m_covering[static_cast<unsigned>(range[0]) << 8 | trail] = static_cast<int>(s);
        }
    }
}

std::string CWhyNot::Pinyin(int syllable) const {
    const char* romanised = m_syllables[static_cast<std::size_t>(syllable)]->Romanised();
    return romanised ? romanised : "";
}

bool CWhyNot::Holds(int syllable, unsigned code) const {
    const CSyllable* s = m_syllables[static_cast<std::size_t>(syllable)];
    const unsigned char* codes = s->Codes();
    for (int r = 0; codes && r < s->CodeRangeCount(); ++r) {
        const unsigned char* range = codes + 3 * r;
        if ((code >> 8) == range[0] && (code & 0xFF) >= range[1] && (code & 0xFF) <= range[2]) return true;
    }
    return false;
}

int CWhyNot::Covering(unsigned code) const { return code < m_covering.size() ? m_covering[code] : -1; }

std::string CWhyNot::Examples(int syllable) const {
    const CSyllable* s = m_syllables[static_cast<std::size_t>(syllable)];
    std::string text;
    int count = 0;
    for (int r = 0; s->Codes() && r < s->CodeRangeCount() && count < 5; ++r) {
        const unsigned char* range = s->Codes() + 3 * r;
        for (unsigned trail = range[1]; trail <= range[2] && count < 5; ++trail, ++count)
            text += (count ? " " : "") + CodeText(static_cast<unsigned>(range[0]) << 8 | trail);
    }
    return text;
}

CWhyNot::Failure CWhyNot::Diagnose(int syllable, const std::string& work, int at, unsigned char breakByte) const {
    const int size = static_cast<int>(work.size());
    const std::string pinyin = Pinyin(syllable);
    const CSyllable* matcher = m_syllables[static_cast<std::size_t>(syllable)];
    Failure failure;
    const int width = Width(work, at);
    failure.consumed = width;
    const std::string shown = work.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(width));

    if (breakByte && At(work, at) == breakByte) {
        while (at + failure.consumed < size && At(work, at + failure.consumed) == breakByte) ++failure.consumed;
        failure.reason = "an allowed expression stands here, which the rules do not see";
        return failure;
    }
    // Full-width letters spelling the pinyin: the syllable is written, in
    // letters the filter does not read as pinyin.
    std::string folded;
    for (int i = at; i < size && folded.size() < pinyin.size(); i += 2) {
        const char letter = FullWidthLetter(work, i);
        if (!letter) break;
        folded += static_cast<char>(ToAsciiLower(static_cast<unsigned char>(letter)));
    }
    if (!folded.empty()) {
        std::string lower;
        for (char c : pinyin) lower += static_cast<char>(ToAsciiLower(static_cast<unsigned char>(c)));
        failure.named = folded == lower;
        failure.consumed = static_cast<int>(folded.size()) * 2;
        const std::string letters =
            work.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(failure.consumed));
        failure.reason =
            letters + (failure.named
                           ? " is " + pinyin + " in full-width letters; pinyin is matched in ASCII letters only"
                           : " is in full-width letters, which pinyin never matches");
        return failure;
    }
    // Fillers the ignore-sets leave: the syllable may follow them.
    if (IsFiller(work, at, breakByte)) {
        int end = at;
        while (end < size && IsFiller(work, end, breakByte)) end += Width(work, end);
        int length = 0;
        failure.consumed = end - at;
        failure.filler = end < size && matcher->MatchAt(work.c_str() + end, &length) == 1 && length > 0;
        failure.reason = "'" + work.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(end - at)) +
                         "' is not stripped by the ignore-sets";
        if (failure.filler) failure.reason += ", and stands between syllables";
        return failure;
    }
    if (width == 2) {
        const unsigned code = CodeAt(work, at);
        const int covering = Covering(code);
        if (covering >= 0 && LowerAscii(Pinyin(covering)) == LowerAscii(pinyin)) {
            // Another character of the same sound: only a written-mode unit,
            // which holds just the characters its rule writes, turns it down.
            failure.reason = shown + " is " + pinyin +
                             " too, but a written rule takes only the characters it writes (" + Examples(syllable) +
                             "), no homophones; a sound rule would catch it";
            return failure;
        }
        if (covering >= 0) {
            failure.reason = shown + " is " + Pinyin(covering) + ", not " + pinyin + " (" + pinyin + " is written " +
                             Examples(syllable) + "...)";
            return failure;
        }
        failure.reason = shown + " is in no syllable's ranges";
        const unsigned simplified = SimplifiedForm(code);
        if (simplified) {
            const int reading = Covering(simplified);
            failure.named = Holds(syllable, simplified);
            failure.reason += "; its simplified form " + CodeText(simplified) + " is " +
                              (reading < 0 ? "in none either" : Pinyin(reading));
        }
        return failure;
    }
    // Letters: a word that is not this pinyin.
    int end = at;
    while (end < size && IsAsciiLetter(At(work, end))) ++end;
    failure.consumed = end - at;
    failure.reason =
        "'" + work.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(end - at)) + "' is not " + pinyin;
    return failure;
}

CWhyNot::Try CWhyNot::Attempt(const std::vector<int>& syllables, const std::string& work, int start,
                              const std::vector<int>& map, int lineSize, unsigned char breakByte) const {
    const int size = static_cast<int>(work.size());
    const auto inLine = [&](int at) { return at < size ? map[static_cast<std::size_t>(at)] : lineSize; };
    Try result;
    int at = start;
    for (std::size_t i = 0; i < syllables.size(); ++i) {
        const int syllable = syllables[i];
        WhyNotStep step;
        step.index = static_cast<int>(i) + 1;
        step.pinyin = Pinyin(syllable);
        step.byte = inLine(at);
        if (at >= size) {
            step.reason = "the line ends";
            result.steps.push_back(step);
            result.unexplained += static_cast<int>(syllables.size() - i);
            break;
        }
        int length = 0;
        if (m_syllables[static_cast<std::size_t>(syllable)]->MatchAt(work.c_str() + at, &length) == 1 && length > 0) {
            step.matched = true;
            step.text = work.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(length));
            result.steps.push_back(step);
            ++result.close;
            at += length;
            continue;
        }
        const Failure failure = Diagnose(syllable, work, at, breakByte);
        step.text = work.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(failure.consumed));
        step.reason = failure.reason;
        at += std::max(failure.consumed, 1);
        if (failure.filler) {
            // The syllable is written right after the fillers: one verdict,
            // naming what keeps it from its neighbour, and the try goes on
            // after it.
            m_syllables[static_cast<std::size_t>(syllable)]->MatchAt(work.c_str() + at, &length);
            step.reason += "; " + step.pinyin + " follows it: " +
                           work.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(length));
            result.steps.push_back(step);
            ++result.close;
            at += length;
            continue;
        }
        result.steps.push_back(step);
        if (failure.named)
            ++result.close;
        else
            ++result.unexplained;
    }
    return result;
}

void CWhyNot::NoteCharacters(const std::string& work, const std::vector<int>& map, unsigned char breakByte,
                             WhyNotReport* report) const {
    const int size = static_cast<int>(work.size());
    std::vector<std::string> seen;
    const auto add = [&](int from, int to, std::string note) {
        const std::string text = work.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
        if (std::find(seen.begin(), seen.end(), text) != seen.end() || report->characters.size() >= kMaxNotes) return;
        seen.push_back(text);
        report->characters.push_back(CharacterNote{map[static_cast<std::size_t>(from)],
                                                   map[static_cast<std::size_t>(to - 1)] + 1, text, std::move(note)});
    };
    bool afterWord = false;
    for (int at = 0; at < size;) {
        const int width = Width(work, at);
        if (breakByte && At(work, at) == breakByte) {
            afterWord = false;
            ++at;
            continue;
        }
        if (FullWidthLetter(work, at)) {
            int end = at;
            while (end < size && FullWidthLetter(work, end)) end += 2;
            add(at, end, "full-width letters; pinyin is matched in ASCII letters only");
            afterWord = true;
            at = end;
            continue;
        }
        if (IsFiller(work, at, breakByte)) {
            int end = at;
            while (end < size && IsFiller(work, end, breakByte)) end += Width(work, end);
            // Only fillers between words can keep syllables apart.
            if (afterWord && end < size)
                add(at, end, "not stripped by the ignore-sets, so it keeps the syllables around it apart");
            at = end;
            continue;
        }
        afterWord = true;
        if (width == 2 && Covering(CodeAt(work, at)) < 0) {
            std::string note = "in no syllable's ranges";
            const unsigned simplified = SimplifiedForm(CodeAt(work, at));
            if (simplified) {
                const int reading = Covering(simplified);
                note += "; its simplified form " + CodeText(simplified) + " is " +
                        (reading < 0 ? "in none either" : Pinyin(reading));
            }
            add(at, at + 2, note);
        }
        at += width;
    }
}

CWhyNot::Try CWhyNot::Nearest(const std::vector<int>& syllables, const std::string& work, const std::vector<int>& map,
                              int lineSize, unsigned char breakByte) const {
    Try best;
    for (int start = 0; start < static_cast<int>(work.size()); start += Width(work, start)) {
        // A try starts on a word, never on what stands between words.
        if (IsFiller(work, start, breakByte) || (breakByte && At(work, start) == breakByte)) continue;
        Try attempt = Attempt(syllables, work, start, map, lineSize, breakByte);
        if (attempt.close > best.close ||
            (attempt.close == best.close && attempt.unexplained < best.unexplained && attempt.close > 0))
            best = std::move(attempt);
        if (best.unexplained == 0 && best.close == static_cast<int>(syllables.size())) break;  // none comes closer
    }
    return best;
}

void CWhyNot::NearCombinations(const std::string& work, const std::vector<int>& map, int lineSize,
                               unsigned char breakByte, WhyNotReport* report) const {
    // A part is found when its syllables all match one after another; a
    // combination is near when at least half of its parts, and one or more,
    // are found.
    std::size_t added = 0;
    for (const Rule& rule : m_rules) {
        if (rule.parts.size() < 2 || added == kMaxNearCombinations) continue;
        NearRule near{rule.name, 0, {}, {}};
        std::size_t found = 0;
        for (const auto& [name, syllables] : rule.parts) {
            NearPart part;
            part.name = name;
            Try best = Nearest(syllables, work, map, lineSize, breakByte);
            part.found =
                best.unexplained == 0 && best.steps.size() == syllables.size() &&
                std::all_of(best.steps.begin(), best.steps.end(), [](const WhyNotStep& s) { return s.matched; });
            found += part.found;
            part.steps = std::move(best.steps);
            near.parts.push_back(std::move(part));
        }
        if (found == 0 || found * 2 < rule.parts.size()) continue;
        report->near.push_back(std::move(near));
        ++added;
    }
}

void CWhyNot::Explain(const std::string& work, const std::vector<int>& map, int lineSize, unsigned char breakByte,
                      WhyNotReport* report) const {
    *report = WhyNotReport();
    if (map.size() < work.size()) return;
    NoteCharacters(work, map, breakByte, report);

    struct Candidate {
        std::size_t order;
        Try best;
    };
    std::vector<Candidate> candidates;
    for (std::size_t r = 0; r < m_rules.size(); ++r) {
        const Rule& rule = m_rules[r];
        if (rule.syllables.empty()) continue;
        Try best = Nearest(rule.syllables, work, map, lineSize, breakByte);
        // Near: at least half of the syllables got that far.
        if (best.close == 0 || best.close * 2 < static_cast<int>(rule.syllables.size())) continue;
        candidates.push_back(Candidate{r, std::move(best)});
    }
    std::stable_sort(candidates.begin(), candidates.end(), [this](const Candidate& a, const Candidate& b) {
        if (a.best.close != b.best.close) return a.best.close > b.best.close;
        if (a.best.unexplained != b.best.unexplained) return a.best.unexplained < b.best.unexplained;
        return m_rules[a.order].syllables.size() < m_rules[b.order].syllables.size();
    });
    for (std::size_t i = 0; i < candidates.size() && i < kMaxNear; ++i) {
        const Rule& rule = m_rules[candidates[i].order];
        report->near.push_back(
            NearRule{rule.name, static_cast<int>(rule.syllables.size()), std::move(candidates[i].best.steps), {}});
    }
    NearCombinations(work, map, lineSize, breakByte, report);
}

}  // namespace chatsieve::tools
