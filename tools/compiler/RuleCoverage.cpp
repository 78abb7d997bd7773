#include "compiler/RuleCoverage.h"

#include <algorithm>

#include "compiler/CCodePage936.h"
#include "platform/AsciiText.h"

namespace chatsieve::tools {

namespace {

// True when `wider` matches wherever `narrower` does: the same syllable,
// and every extra character of `narrower` among its own.
bool MatchesWherever(const Element& wider, const Element& narrower) {
    return wider.index == narrower.index &&
           std::includes(wider.extra.begin(), wider.extra.end(), narrower.extra.begin(), narrower.extra.end());
}

}  // namespace

bool IsPrefix(const Run& prefix, const Run& run) {
    if (prefix.size() > run.size()) return false;
    for (std::size_t k = 0; k < prefix.size(); ++k)
        if (!MatchesWherever(prefix[k], run[k])) return false;
    return true;
}

Element ElementOf(const PartRef& part) {
    // Written units and syllables are told apart by sign.
    Element e{part.kind == PartKind::kWritten ? -1 - part.index : part.index, {}};
    for (const CodeRange& r : part.extra)
        for (unsigned t = r.low; t <= r.high; ++t) e.extra.push_back(static_cast<unsigned>(r.lead) << 8 | t);
    std::sort(e.extra.begin(), e.extra.end());
    return e;
}

std::vector<Run> Units(const RuleSource& rule, bool isCombo, const RuleSetSource& rules) {
    std::vector<Run> units;
    if (!isCombo) {
        Run run;
        for (const PartRef& part : rule.parts) run.push_back(ElementOf(part));
        units.push_back(run);
        return units;
    }
    for (const PartRef& part : rule.parts) {
        if (part.kind == PartKind::kSyllable) {
            units.push_back(Run{ElementOf(part)});
        } else {
            Run run;
            for (const PartRef& p : rules.phrases[static_cast<std::size_t>(part.index)].parts)
                run.push_back(ElementOf(p));
            units.push_back(run);
        }
    }
    return units;
}

bool Covers(const std::vector<Run>& earlier, const std::vector<Run>& later) {
    for (const Run& unit : earlier) {
        bool found = false;
        for (const Run& run : later) found = found || IsPrefix(unit, run);
        if (!found) return false;
    }
    return true;
}

bool Overlaps(const std::string& form, const std::string& text, long at, bool fold) {
    bool any = false;
    for (long k = 0; k < static_cast<long>(form.size()); ++k) {
        const long t = at + k;
        if (t < 0 || t >= static_cast<long>(text.size())) continue;
        const char a = fold ? LowerAscii(form[static_cast<std::size_t>(k)]) : form[static_cast<std::size_t>(k)];
        const char b = fold ? LowerAscii(text[static_cast<std::size_t>(t)]) : text[static_cast<std::size_t>(t)];
        if (a != b) return false;
        any = true;
    }
    return any;
}

SyllableSource SyllableOf(const Element& e, const RuleSetSource& rules) {
    if (e.index >= 0) return rules.syllables[static_cast<std::size_t>(e.index)];
    const WrittenSyllable& unit = rules.written[static_cast<std::size_t>(-1 - e.index)];
    SyllableSource syllable;
    syllable.pinyin = unit.romanised;
    syllable.ranges = unit.ranges;
    syllable.hasSplit = unit.hasSplit;
    syllable.split = unit.split;
    return syllable;
}

bool WrittenInside(const SyllableSource& syllable, const std::string& text) {
    const long n = static_cast<long>(text.size());
    for (long at = 0; at < n; ++at) {
        const auto b = static_cast<unsigned char>(text[static_cast<std::size_t>(at)]);
        for (const CodeRange& r : syllable.ranges) {
            if (b != r.lead) continue;
            if (at + 1 == n) return true;
            const auto t = static_cast<unsigned char>(text[static_cast<std::size_t>(at + 1)]);
            if (t >= r.low && t <= r.high) return true;
        }
    }
    for (long at = 1 - static_cast<long>(syllable.pinyin.size()); at < n; ++at)
        if (Overlaps(syllable.pinyin, text, at, true)) return true;
    if (syllable.hasSplit)
        for (long at = 1 - static_cast<long>(syllable.split.size()); at < n; ++at)
            if (Overlaps(syllable.split, text, at, false)) return true;
    return false;
}

bool HoldsAt(const std::string& expression, const std::string& text) {
    for (std::size_t at = 0; at + text.size() <= expression.size();
         at += GbkStep(static_cast<unsigned char>(expression[at])))
        if (Overlaps(text, expression, static_cast<long>(at), true)) return true;
    return false;
}

bool StepsOnCharacters(const SyllableSource& syllable) {
    if (syllable.pinyin.size() < 2) return false;
    if (!syllable.hasSplit) return true;
    const std::string& split = syllable.split;
    return split.size() >= 2 && (CCodePage936::IsLead(static_cast<unsigned char>(split[0])) ||
                                 !CCodePage936::IsLead(static_cast<unsigned char>(split[1])));
}

bool CannotRunInto(const SyllableSource& before, const SyllableSource& first) {
    std::string ends, starts;
    ends += LowerAscii(before.pinyin.back());
    if (before.hasSplit && !before.split.empty()) {
        const std::string& split = before.split;
        const bool lastIsSingle =
            split.size() == 1 || !CCodePage936::IsLead(static_cast<unsigned char>(split[split.size() - 2]));
        if (lastIsSingle) ends += LowerAscii(split.back());
    }
    starts += LowerAscii(first.pinyin[0]);
    if (first.hasSplit && !first.split.empty() && !CCodePage936::IsLead(static_cast<unsigned char>(first.split[0])))
        starts += LowerAscii(first.split[0]);
    return ends.find_first_of(starts) == std::string::npos;
}

bool Judged(const RuleSource& rule, const RuleSetSource& rules) {
    if (rule.broken) return false;
    for (const PartRef& part : rule.parts)
        if (part.kind == PartKind::kPhrase && rules.phrases[static_cast<std::size_t>(part.index)].broken) return false;
    return true;
}

}  // namespace chatsieve::tools
