#include "build/CCheckAutomaton.h"

#include <algorithm>
#include <cstring>

#include "matchers/CSyllable.h"
#include "platform/AsciiText.h"
#include "platform/BytePair.h"
#include "platform/CodePage.h"
#include "platform/MbText.h"

namespace chatsieve {

namespace {

constexpr unsigned kNoValue = ~0u;
constexpr std::size_t kValues = 65536;  // every character value, one or two bytes
constexpr int kRomanisedRoot = 0;
constexpr int kSplitRoot = 1;
constexpr unsigned kSplitBranch = kValues;  // the label from node 0 to the split forms' root

// Whether reading `form` character by character takes all of its bytes: a
// form ending in half a character compares in ways the form trie cannot hold.
bool WholeCharacters(const char* form) {
    const unsigned char* text = reinterpret_cast<const unsigned char*>(form);
    std::size_t pos = 0;
    unsigned value = 0;
    for (std::size_t width; (width = ReadChar(text, pos, kNoLimit, &value)) != 0;) pos += width;
    return text[pos] == 0;
}

std::uint64_t Mix(std::uint64_t hash, std::uint64_t value) {
    hash ^= value + 0x9E3779B97F4A7C15ull + (hash << 6) + (hash >> 2);
    return hash * 0xFF51AFD7ED558CCDull;
}

}  // namespace

void CCheckAutomaton::Reset() {
    m_ready = false;
    m_trie = PhraseTrie{};
    m_read.Reset();
    m_classes.Reset();
    m_classSyllables.Reset();
    m_forms.Reset();
    m_formNodes.Reset();
    m_formEnds.Reset();
    m_beginStart.Reset();
    m_beginClasses.Reset();
}

bool CCheckAutomaton::Build(const PhraseTrie& trie, const unsigned char* used) {
    Reset();
    m_trie = trie;
    if (!BuildForms(trie, used) || !BuildClasses(trie, used) || !BuildBeginClasses(trie, used)) {
        Reset();
        return false;
    }
    m_forms.Freeze();
    m_ready = true;
    return true;
}

bool CCheckAutomaton::InsertForm(const char* form, bool split, int syllable) {
    const unsigned char* text = reinterpret_cast<const unsigned char*>(form);
    int node = split ? kSplitRoot : kRomanisedRoot;
    unsigned value = 0;
    for (std::size_t pos = 0, width; (width = ReadChar(text, pos, kNoLimit, &value)) != 0; pos += width) {
        const unsigned key = split ? value : FoldCase(value);
        const int child = m_forms.Add(node, key);
        if (child < 0) return false;
        if (static_cast<std::size_t>(child) == m_formNodes.Size() &&
            !m_formNodes.PushBack(FormNode{0, 0, false, split}))
            return false;
        m_formNodes[static_cast<std::size_t>(node)].hasChildren = true;
        node = child;
    }
    // Ends are gathered as (node, syllable) in the start fields' place until
    // every form is in; BuildForms lays them out.
    return m_formEnds.PushBack(node) && m_formEnds.PushBack(syllable);
}

bool CCheckAutomaton::BuildForms(const PhraseTrie& trie, const unsigned char* used) {
    std::size_t characters = 2;
    for (std::size_t s = 0; s < trie.syllableCount; ++s) {
        if (!used[s]) continue;
        const char* forms[2] = {trie.syllables[s]->Romanised(), trie.syllables[s]->SplitForm()};
        for (const char* form : forms) {
            if (!form) continue;
            // A form of no bytes matches everywhere; left to the index's walk.
            if (form[0] == 0 || !WholeCharacters(form)) return false;
            characters += std::strlen(form);
        }
    }
    if (!m_forms.Start(256, characters) || m_forms.Add(kRomanisedRoot, kSplitBranch) != kSplitRoot ||
        !m_formNodes.Reserve(characters) || !m_formNodes.PushBack(FormNode{0, 0, false, false}) ||
        !m_formNodes.PushBack(FormNode{0, 0, false, true}))
        return false;
    for (std::size_t s = 0; s < trie.syllableCount; ++s) {
        if (!used[s]) continue;
        const CSyllable* syllable = trie.syllables[s];
        if (!InsertForm(syllable->Romanised(), false, static_cast<int>(s))) return false;
        if (syllable->SplitForm() && !InsertForm(syllable->SplitForm(), true, static_cast<int>(s))) return false;
    }
    // (node, syllable) pairs, in node order, become each node's run of ends.
    TArray<std::uint64_t> ends;
    if (!ends.Reserve(m_formEnds.Size() / 2)) return false;
    for (std::size_t i = 0; i < m_formEnds.Size(); i += 2)
        ends.PushBack(PairKey(static_cast<std::size_t>(m_formEnds[i]), static_cast<std::size_t>(m_formEnds[i + 1])));
    std::sort(ends.Data(), ends.Data() + ends.Size());
    m_formEnds.Clear();
    for (std::size_t i = 0; i < ends.Size(); ++i) {
        if (i > 0 && ends[i] == ends[i - 1]) continue;
        FormNode& node = m_formNodes[static_cast<std::size_t>(ends[i] >> 32)];
        if (node.endEnd == 0) node.endStart = node.endEnd = static_cast<std::uint32_t>(m_formEnds.Size());
        m_formEnds.PushBack(static_cast<int>(ends[i] & 0xFFFFFFFFu));
        ++node.endEnd;
    }
    return true;
}

bool CCheckAutomaton::BuildClasses(const PhraseTrie& trie, const unsigned char* used) {
    // The syllables whose code ranges hold each character, in id order.
    TArray<std::uint64_t> codes;
    for (std::size_t s = 0; s < trie.syllableCount; ++s) {
        if (!used[s]) continue;
        const CSyllable* syllable = trie.syllables[s];
        for (int k = 0; k < syllable->CodeRangeCount(); ++k) {
            const unsigned char* range = syllable->Codes() + 3 * k;
            // A range never matches the terminator, as a lead or a second byte.
            if (range[0] == 0) continue;
            // A range whose first byte starts no character would match across
            // characters; left to the index's walk.
            if (!IsLeadByte(range[0])) return false;
            for (unsigned trail = range[1] ? range[1] : 1; trail <= range[2]; ++trail)
                if (!codes.PushBack(PairKey(static_cast<std::size_t>(range[0]) << 8 | trail, s))) return false;
        }
    }
    // Ranges of one syllable may overlap: each (code, syllable) once.
    std::sort(codes.Data(), codes.Data() + codes.Size());
    codes.Truncate(static_cast<std::size_t>(std::unique(codes.Data(), codes.Data() + codes.Size()) - codes.Data()));
    // The tables by value below are filled through their storage: a push a
    // value, 65,536 of them, cost more than the rest of this.
    TArray<std::uint32_t> codeStart;  // by value, into `codes`
    if (!codeStart.Reserve(kValues + 1)) return false;
    std::uint32_t* start = codeStart.Data();
    std::size_t filledTo = 0;  // values below it have their start
    for (std::size_t at = 0; at < codes.Size(); ++at)
        while (filledTo <= (codes[at] >> 32)) start[filledTo++] = static_cast<std::uint32_t>(at);
    while (filledTo <= kValues) start[filledTo++] = static_cast<std::uint32_t>(codes.Size());
    codeStart.SetFilled(kValues + 1);
    // The values that label an edge in either form trie.
    TArray<unsigned char> labels;  // bit 1: romanised, bit 2: split
    if (!labels.Assign(kValues, 0)) return false;
    for (std::size_t node = 1; node < m_forms.Size(); ++node) {
        const unsigned value = m_forms.Label(static_cast<int>(node));
        if (value < kValues) labels[value] |= m_formNodes[node].split ? 2 : 1;
    }

    // A character's key: its syllables and form values. Characters of equal
    // keys share a class; keys are compared by hash, then checked whole.
    auto romanisedOf = [&](unsigned v) {
        const unsigned folded = FoldCase(v);
        return folded < kValues && (labels[folded] & 1) ? folded : kNoValue;
    };
    auto splitOf = [&](unsigned v) { return labels[v] & 2 ? v : kNoValue; };
    auto sameKey = [&](unsigned a, unsigned b) {
        if (romanisedOf(a) != romanisedOf(b) || splitOf(a) != splitOf(b)) return false;
        if (codeStart[a + 1] - codeStart[a] != codeStart[b + 1] - codeStart[b]) return false;
        for (std::uint32_t i = codeStart[a], j = codeStart[b]; i < codeStart[a + 1]; ++i, ++j)
            if ((codes[i] & 0xFFFFFFFFu) != (codes[j] & 0xFFFFFFFFu)) return false;
        return true;
    };
    TArray<std::uint32_t> classOf;  // by character value
    TArray<std::uint64_t> keyed;    // the values of characters with a key
    TArray<std::uint64_t> hashes;   // by value
    if (!classOf.Reserve(kValues) || !hashes.Reserve(kValues)) return false;
    classOf.SetFilled(kValues);
    hashes.SetFilled(kValues);
    for (unsigned v = 0; v < kValues; ++v) {
        classOf[v] = 0;
        hashes[v] = 0;
        const bool character = v < 256 ? v != 0 && !IsLeadByte(static_cast<unsigned char>(v))
                                       : IsLeadByte(static_cast<unsigned char>(v >> 8)) && (v & 0xFF) != 0;
        if (!character) continue;
        if (codeStart[v] == codeStart[v + 1] && romanisedOf(v) == kNoValue && splitOf(v) == kNoValue) continue;
        std::uint64_t hash = Mix(Mix(0, romanisedOf(v)), splitOf(v));
        for (std::uint32_t i = codeStart[v]; i < codeStart[v + 1]; ++i) hash = Mix(hash, codes[i] & 0xFFFFFFFFu);
        hashes[v] = hash;
        if (!keyed.PushBack(v)) return false;
    }
    std::sort(keyed.Data(), keyed.Data() + keyed.Size(),
              [&](std::uint64_t a, std::uint64_t b) { return hashes[a] != hashes[b] ? hashes[a] < hashes[b] : a < b; });
    if (!m_classes.PushBack(Class{0, 0, -1, -1, kNoValue, kNoValue, 0})) return false;
    unsigned representative = 0;
    for (std::size_t i = 0; i < keyed.Size(); ++i) {
        const unsigned v = static_cast<unsigned>(keyed[i]);
        if (i > 0 && hashes[v] == hashes[representative]) {
            // Two keys of one hash would need a class each: rare enough to
            // leave such rule sets to the index's walk.
            if (!sameKey(v, representative)) return false;
            classOf[v] = classOf[representative];
            continue;
        }
        representative = v;
        Class cls{static_cast<std::uint32_t>(m_classSyllables.Size()), 0, -1, -1, romanisedOf(v), splitOf(v), 0};
        for (std::uint32_t j = codeStart[v]; j < codeStart[v + 1]; ++j) {
            const int s = static_cast<int>(codes[j] & 0xFFFFFFFFu);
            if (!m_classSyllables.PushBack(s)) return false;
            if (trie.shape->RootChild(static_cast<unsigned>(s)) >= 0) cls.flags |= kStartsFirst;
        }
        cls.codeEnd = static_cast<std::uint32_t>(m_classSyllables.Size());
        if (cls.romanised != kNoValue) cls.romanisedChild = m_forms.Child(kRomanisedRoot, cls.romanised);
        if (cls.split != kNoValue) cls.splitChild = m_forms.Child(kSplitRoot, cls.split);
        // A first syllable may start with this character; a form that goes
        // on may still become one.
        for (int child : {cls.romanisedChild, cls.splitChild}) {
            if (child < 0) continue;
            const FormNode& form = m_formNodes[static_cast<std::size_t>(child)];
            if (form.hasChildren) cls.flags |= kStartsFirst;
            for (std::uint32_t e = form.endStart; e < form.endEnd; ++e)
                if (trie.shape->RootChild(static_cast<unsigned>(m_formEnds[e])) >= 0) cls.flags |= kStartsFirst;
        }
        classOf[v] = static_cast<std::uint32_t>(m_classes.Size());
        if (!m_classes.PushBack(cls)) return false;
    }
    // The walk reads a character's class and width from the two bytes at
    // its place; the byte after a line's last is its terminator.
    if (!m_read.Reserve(kValues)) return false;
    m_read.SetFilled(kValues);
    std::uint32_t* read = m_read.Data();
    for (unsigned first = 0; first < 256; ++first) {
        const unsigned char byte = static_cast<unsigned char>(first);
        if (IsLeadByte(byte)) {
            read[BytePairIndex(byte, 0)] = 0;
            for (unsigned second = 1; second < 256; ++second)
                read[BytePairIndex(byte, static_cast<unsigned char>(second))] =
                    classOf[first << 8 | second] << kReadClassShift | 2;
            continue;
        }
        std::uint32_t entry = classOf[first] << kReadClassShift | 1;
        if (m_classes[classOf[first]].flags & kStartsFirst) entry |= kReadSpawns;
        if (IsAsciiAlnum(byte)) entry |= kReadAlnum;
        for (unsigned second = 0; second < 256; ++second)
            read[BytePairIndex(byte, static_cast<unsigned char>(second))] = entry;
    }
    return true;
}

bool CCheckAutomaton::BuildBeginClasses(const PhraseTrie& trie, const unsigned char* used) {
    // (syllable, class) for every class holding the syllable in its codes,
    // and (value, class) for the values classes take in either form trie.
    TArray<std::uint64_t> pairs, romanised, split;
    for (std::size_t c = 1; c < m_classes.Size(); ++c) {
        const Class& cls = m_classes[c];
        for (std::uint32_t k = cls.codeStart; k < cls.codeEnd; ++k)
            if (!pairs.PushBack(PairKey(static_cast<std::size_t>(m_classSyllables[k]), c))) return false;
        if (cls.romanised != kNoValue && !romanised.PushBack(PairKey(cls.romanised, c))) return false;
        if (cls.split != kNoValue && !split.PushBack(PairKey(cls.split, c))) return false;
    }
    std::sort(romanised.Data(), romanised.Data() + romanised.Size());
    std::sort(split.Data(), split.Data() + split.Size());
    for (std::size_t s = 0; s < trie.syllableCount; ++s) {
        if (!used[s]) continue;
        const char* forms[2] = {trie.syllables[s]->Romanised(), trie.syllables[s]->SplitForm()};
        for (int f = 0; f < 2; ++f) {
            unsigned value = 0;
            if (!forms[f] || ReadChar(reinterpret_cast<const unsigned char*>(forms[f]), 0, kNoLimit, &value) == 0)
                continue;
            const TArray<std::uint64_t>& byValue = f == 0 ? romanised : split;
            if (f == 0) value = FoldCase(value);
            const std::uint64_t* it =
                std::lower_bound(byValue.Data(), byValue.Data() + byValue.Size(), PairKey(value, 0));
            for (; it != byValue.Data() + byValue.Size() && (*it >> 32) == value; ++it)
                if (!pairs.PushBack(PairKey(s, static_cast<std::size_t>(*it & 0xFFFFFFFFu)))) return false;
        }
    }
    std::sort(pairs.Data(), pairs.Data() + pairs.Size());
    pairs.Truncate(static_cast<std::size_t>(std::unique(pairs.Data(), pairs.Data() + pairs.Size()) - pairs.Data()));
    if (!m_beginStart.Reserve(trie.syllableCount + 1) || !m_beginClasses.Reserve(pairs.Size())) return false;
    for (std::size_t s = 0, at = 0; s <= trie.syllableCount; ++s) {
        while (at < pairs.Size() && (pairs[at] >> 32) < s) ++at;
        m_beginStart.PushBack(static_cast<std::uint32_t>(at));
    }
    for (std::size_t i = 0; i < pairs.Size(); ++i) m_beginClasses.PushBack(static_cast<std::uint32_t>(pairs[i]));
    return true;
}

bool CCheckAutomaton::Advance(int node, Position noStart, int noEnd, bool parts, int syllable, TArray<Position>* next,
                              TArray<int>* reached) const {
    const std::size_t s = static_cast<std::size_t>(syllable);
    if (node == 0 && parts && m_trie.isPart[s] && !reached->PushBack(-1 - syllable)) return false;
    const int child = m_trie.shape->ChildBelowWidth(node, static_cast<unsigned>(syllable));
    if (child < 0) return true;
    if (m_trie.hasEnds[child] &&
        !reached->PushBack(child << 2 | (noStart ? kReachedNoStart : 0) | (noEnd ? kReachedNoEnd : 0)))
        return false;
    return !m_trie.hasChildren[child] || next->PushBack(noStart | static_cast<Position>(child) << 32);
}

bool CCheckAutomaton::FormStep(int node, Position noStart, int noEnd, bool parts, int form, TArray<Position>* next,
                               TArray<int>* reached) const {
    const FormNode& f = m_formNodes[static_cast<std::size_t>(form)];
    for (std::uint32_t e = f.endStart; e < f.endEnd; ++e)
        if (!Advance(node, noStart, noEnd, parts, m_formEnds[e], next, reached)) return false;
    return !f.hasChildren ||
           next->PushBack(noStart | static_cast<Position>(node) << 32 | static_cast<Position>(form + 1));
}

bool CCheckAutomaton::Step(const Position* set, std::size_t count, unsigned cls, unsigned edges, TArray<Position>* next,
                           TArray<int>* reached, std::size_t* prompt) const {
    next->Clear();
    reached->Clear();
    const Class& c = m_classes[cls];
    const int noEnd = (edges & kEndBlocked) ? 1 : 0;
    // A form begun on the start's stream stays on it: parts count where the
    // root took them there.
    const bool parts = !(edges & kOffStart);
    // The root first: every place a search tries may start a phrase.
    for (std::size_t i = 0; i <= count; ++i) {
        const Position position = i == 0 ? ((edges & kStartBlocked) ? kNoStartEdge : 0) : set[i - 1];
        const Position noStart = position & kNoStartEdge;
        const int node = static_cast<int>((position & ~kNoStartEdge) >> 32);
        const std::uint32_t low = static_cast<std::uint32_t>(position & 0xFFFFFFFFu);
        if (low == 0) {
            for (std::uint32_t k = c.codeStart; k < c.codeEnd; ++k)
                if (!Advance(node, noStart, noEnd, parts, m_classSyllables[k], next, reached)) return false;
            if (c.romanisedChild >= 0 && !FormStep(node, noStart, noEnd, parts, c.romanisedChild, next, reached))
                return false;
            if (c.splitChild >= 0 && !FormStep(node, noStart, noEnd, parts, c.splitChild, next, reached)) return false;
            continue;
        }
        const int form = static_cast<int>(low - 1);
        const unsigned value = m_formNodes[static_cast<std::size_t>(form)].split ? c.split : c.romanised;
        const int child = value == kNoValue ? -1 : m_forms.Child(form, value);
        if (child >= 0 && !FormStep(node, noStart, noEnd, parts, child, next, reached)) return false;
    }
    std::sort(next->Data(), next->Data() + next->Size());
    next->Truncate(static_cast<std::size_t>(std::unique(next->Data(), next->Data() + next->Size()) - next->Data()));
    std::sort(reached->Data(), reached->Data() + reached->Size());
    reached->Truncate(
        static_cast<std::size_t>(std::unique(reached->Data(), reached->Data() + reached->Size()) - reached->Data()));
    int* r = reached->Data();
    std::size_t front = 0;
    for (std::size_t i = 0; i < reached->Size(); ++i)
        if (r[i] >= 0 || (m_trie.isPart[static_cast<std::size_t>(-1 - r[i])] & kPartTrigger))
            std::swap(r[front++], r[i]);
    *prompt = front;
    return true;
}

}  // namespace chatsieve
