#include "run/CAllowList.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>

#include "matchers/CMatcher.h"
#include "matchers/CSyllable.h"
#include "platform/AsciiText.h"
#include "platform/MbText.h"
#include "platform/Memory.h"
#include "run/CRuleIndex.h"

namespace chatsieve {

namespace {

char* CopyText(const char* text) {
    const std::size_t size = std::strlen(text) + 1;
    char* copy = static_cast<char*>(Allocate(size));
    if (copy) std::memcpy(copy, text, size);
    return copy;
}

bool EndsInCutCharacter(const char* text) {
    std::size_t length = std::strlen(text), i = 0;
    while (i < length) i += static_cast<std::size_t>(CharStep(text + i));
    return i > length;
}

// The automaton's symbol for byte k of a character `width` bytes long.
unsigned Symbol(unsigned char byte, int width, int k) {
    if (width == 1) return ToAsciiLower(byte);  // letters of one-byte characters in any case, as pinyin
    return k == 0 ? byte : 256u + byte;
}

bool RuleBefore(const CMatcher* a, const CMatcher* b) { return std::less<const CMatcher*>()(a, b); }

bool AppearsIn(const char* form, unsigned char byte) { return form && std::strchr(form, byte) != nullptr; }

}  // namespace

bool CAllowList::Add(const char* text, CMatcher* const* rules, int ruleCount) {
    if (!text || !*text || EndsInCutCharacter(text) || ruleCount < 0) return false;
    Entry entry{CopyText(text), nullptr, nullptr, 0};
    if (!entry.text) return false;
    if (ruleCount > 0) {
        entry.rules = static_cast<CMatcher**>(Allocate(sizeof(CMatcher*) * static_cast<unsigned>(ruleCount)));
        if (!entry.rules) {
            Free(entry.text);
            return false;
        }
        std::memcpy(entry.rules, rules, sizeof(CMatcher*) * static_cast<unsigned>(ruleCount));
        // Covers searches by address, and may be asked before Build folds entries.
        std::sort(entry.rules, entry.rules + ruleCount, RuleBefore);
        entry.ruleCount = ruleCount;
    }
    if (!m_entries.PushBack(entry)) {
        Free(entry.rules);
        Free(entry.text);
        return false;
    }
    return true;
}

void CAllowList::Reset() {
    for (std::size_t i = 0; i < m_entries.Size(); ++i) {
        Free(m_entries[i].text);
        Free(m_entries[i].stripped);
        Free(m_entries[i].rules);
    }
    m_entries.Reset();
    m_trie.Reset();
    m_nodes.Reset();
    m_hits.Reset();
    m_memo.Reset();
    m_view.Reset();
    m_entrySeen.Reset();
    m_tryOrder.Reset();
    std::memset(m_rootSkip, 0, sizeof m_rootSkip);
    m_break = 1;
    m_built = false;
}

bool CAllowList::Covers(int entry, const CMatcher* rule) const {
    const Entry& e = m_entries[static_cast<std::size_t>(entry)];
    if (e.ruleCount == 0) return true;
    return std::binary_search(e.rules, e.rules + e.ruleCount, rule, RuleBefore);
}

bool CAllowList::Build(CMatcherList& skipSets, const CMatcherList& syllables) {
    m_nodes.Clear();
    m_built = false;
    if (m_entries.Empty()) return true;

    // The break must be a byte no syllable form holds: a form that held it
    // could match on hidden bytes. Control bytes never start a character.
    int chosen = 0;
    for (int byte = 1; byte < 0x80 && !chosen; ++byte) {
        if (byte >= 0x20 && byte < 0x7F) continue;
        bool used = false;
        for (const CMatcherList::Node* node = syllables.First(); node && !used; node = node->next) {
            const CSyllable* syllable = static_cast<const CSyllable*>(node->matcher);
            used = AppearsIn(syllable->Romanised(), static_cast<unsigned char>(byte)) ||
                   AppearsIn(syllable->SplitForm(), static_cast<unsigned char>(byte));
        }
        if (!used) chosen = byte;
    }
    if (!chosen) return false;
    m_break = static_cast<unsigned char>(chosen);

    TArray<std::int32_t> owner;  // per entry: the entry it is folded into, -1 for none
    if (!owner.Reserve(m_entries.Size()) || !m_entrySeen.Reserve(m_entries.Size()) || !m_trie.Start(512) ||
        !m_nodes.PushBack(Node{0, -1, -1, -1, -1, 0}))
        return false;
    int level = 0, offset = 0, length = 0;
    for (std::size_t i = 0; i < m_entries.Size(); ++i) {
        owner.PushBack(-1);
        m_entrySeen.PushBack(0);
        Entry& entry = m_entries[i];
        Free(entry.stripped);
        entry.stripped = CopyText(entry.text);
        if (!entry.stripped) return false;
        bool empty = false;
        for (CMatcherList::Node* node = skipSets.First(); node && !empty; node = node->next) {
            if (node->matcher->Match(entry.stripped, 0, &offset, &length, &level) != 1) return false;
            empty = offset == 1;
        }
        if (empty) continue;
        const std::int32_t end = Insert(entry.stripped);
        if (end < 0) return false;
        Node& node = m_nodes[static_cast<std::size_t>(end)];
        if (node.entry < 0) node.entry = static_cast<std::int32_t>(i);
        owner[i] = node.entry;
    }
    if (!Fold(owner) || !Link()) return false;
    m_trie.Freeze();
    // A first byte is a lead byte, or a one-byte character in either case.
    for (unsigned b = 0; b < 256; ++b) {
        const bool starts = m_trie.Child(0, ToAsciiLower(static_cast<unsigned char>(b))) >= 0;
        m_rootSkip[b] = starts ? 0 : IsLeadByte(static_cast<unsigned char>(b)) ? 2 : 1;
    }
    // Without room for the memo every step follows the fail links.
    m_memoBits = kMemoBits;
    if (!m_memo.Assign(std::size_t{1} << m_memoBits, MemoSlot{-1, 0, 0})) m_memo.Reset();
    m_seenGeneration = 0;
    m_built = true;
    return true;
}

bool CAllowList::Fold(const TArray<std::int32_t>& owner) {
    // An entry written more than once covers the rules of every copy, and
    // every rule when one copy does; one list, made once, keeps this linear.
    TArray<int> total;
    if (!total.Reserve(m_entries.Size())) return false;
    for (std::size_t i = 0; i < m_entries.Size(); ++i) total.PushBack(0);
    for (std::size_t i = 0; i < m_entries.Size(); ++i) {
        if (owner[i] < 0) continue;
        int& sum = total[static_cast<std::size_t>(owner[i])];
        const int count = m_entries[i].ruleCount;
        if (sum >= 0) sum = count == 0 ? -1 : sum + count;
    }
    for (std::size_t i = 0; i < m_entries.Size(); ++i) {
        Entry& entry = m_entries[i];
        if (owner[i] != static_cast<std::int32_t>(i) || entry.ruleCount == 0) continue;
        if (total[i] < 0) {
            Free(entry.rules);
            entry.rules = nullptr;
            entry.ruleCount = 0;
        } else if (total[i] > entry.ruleCount) {
            auto* rules = static_cast<CMatcher**>(Allocate(sizeof(CMatcher*) * static_cast<unsigned>(total[i])));
            if (!rules) return false;
            std::memcpy(rules, entry.rules, sizeof(CMatcher*) * static_cast<unsigned>(entry.ruleCount));
            Free(entry.rules);
            entry.rules = rules;
        }
    }
    for (std::size_t i = 0; i < m_entries.Size(); ++i) {
        const std::int32_t o = owner[i];
        if (o < 0 || o == static_cast<std::int32_t>(i)) continue;
        Entry& into = m_entries[static_cast<std::size_t>(o)];
        const Entry& from = m_entries[i];
        if (into.ruleCount == 0) continue;
        std::memcpy(into.rules + into.ruleCount, from.rules, sizeof(CMatcher*) * static_cast<unsigned>(from.ruleCount));
        into.ruleCount += from.ruleCount;
    }
    for (std::size_t i = 0; i < m_entries.Size(); ++i) {
        Entry& entry = m_entries[i];
        if (owner[i] != static_cast<std::int32_t>(i) || entry.ruleCount == 0) continue;
        std::sort(entry.rules, entry.rules + entry.ruleCount, RuleBefore);
        entry.ruleCount = static_cast<int>(std::unique(entry.rules, entry.rules + entry.ruleCount) - entry.rules);
    }
    return true;
}

std::int32_t CAllowList::Insert(const char* stripped) {
    std::int32_t node = 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(stripped);
    while (*p) {
        const int width = CharByteCount(reinterpret_cast<const char*>(p));
        for (int k = 0; k < width; ++k) {
            const std::int32_t depth = m_nodes[static_cast<std::size_t>(node)].depth + 1;
            node = m_trie.Add(node, Symbol(p[k], width, k));
            if (node < 0) return -1;
            if (static_cast<std::size_t>(node) == m_nodes.Size() && !m_nodes.PushBack(Node{0, -1, -1, -1, -1, depth}))
                return -1;
        }
        p += width;
    }
    return node;
}

std::int32_t CAllowList::Step(std::int32_t node, unsigned symbol) const {
    for (;;) {
        const std::int32_t next = m_trie.Child(node, symbol);
        if (next >= 0) return next;
        if (node == 0) return 0;
        node = m_nodes[static_cast<std::size_t>(node)].fail;
    }
}

bool CAllowList::SetMemoBits(unsigned bits) {
    if (bits < 1 || bits > kMemoBits) return false;
    m_memoBits = bits;
    m_memo.Clear();
    return m_memo.Assign(std::size_t{1} << bits, MemoSlot{-1, 0, 0});
}

std::int32_t CAllowList::MemoStep(std::int32_t node, unsigned symbol) {
    if (m_memo.Empty()) return Step(node, symbol);
    const std::uint32_t hash = static_cast<std::uint32_t>(node) * 0x9E3779B1u ^ symbol * 0x85EBCA6Bu;
    MemoSlot& slot = m_memo[hash >> (32 - m_memoBits)];
    if (slot.node == node && slot.symbol == symbol) return slot.next;
    slot = MemoSlot{node, symbol, Step(node, symbol)};
    return slot.next;
}

bool CAllowList::Link() {
    // Breadth first, so every node's fail target is linked before the node.
    TArray<std::int32_t> queue;
    if (!queue.Reserve(m_nodes.Size())) return false;
    queue.PushBack(0);
    for (std::size_t head = 0; head < queue.Size(); ++head) {
        const std::int32_t parent = queue[head];
        for (std::int32_t c = m_trie.FirstChild(parent); c >= 0; c = m_trie.NextSibling(c)) {
            Node& node = m_nodes[static_cast<std::size_t>(c)];
            node.fail = parent == 0 ? 0 : Step(m_nodes[static_cast<std::size_t>(parent)].fail, m_trie.Label(c));
            const Node& fail = m_nodes[static_cast<std::size_t>(node.fail)];
            const bool ends = node.entry >= 0;
            const bool all = ends && CoversAll(node.entry);
            node.output = ends ? c : fail.output;
            node.outputAll = all ? c : fail.outputAll;
            node.outputLimited = ends && !all ? c : fail.outputLimited;
            queue.PushBack(c);
        }
    }
    return true;
}

void CAllowList::Overwrite(char* text, const Hit& hit) const {
    std::memset(text + hit.offset, m_break, static_cast<std::size_t>(hit.length));
}

bool CAllowList::AddHit(std::size_t end, std::int32_t node) {
    const Node& found = m_nodes[static_cast<std::size_t>(node)];
    return m_hits.PushBack(
        Hit{static_cast<int>(end - static_cast<std::size_t>(found.depth)), found.depth, found.entry});
}

int CAllowList::Hide(char* text) {
    m_hits.Clear();
    if (!m_built || !text) return 0;
    const std::size_t n = std::strlen(text);
    bool limited = false;
    std::int32_t state = 0;
    std::size_t pos = 0;
    std::ptrdiff_t lastAll = -1;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    while (pos < n) {
        // At the root, a character that starts no expression leaves the
        // automaton there: no expression starts on a second byte. (A lead
        // byte before the terminator moves past the end, which ends the
        // loop as well.)
        if (state == 0) {
            for (unsigned skip; pos < n && (skip = m_rootSkip[bytes[pos]]) != 0;) pos += skip;
            if (pos >= n) break;
        }
        int width = CharByteCount(text + pos);
        if (width == 0) width = 1;  // a lone lead byte before the end
        for (int k = 0; k < width; ++k) {
            const unsigned symbol =
                Symbol(static_cast<unsigned char>(text[pos + static_cast<std::size_t>(k)]), width, k);
            // From the root, where most steps start, one load: the root finds every symbol by label.
            state = state == 0 ? std::max(m_trie.RootChild(symbol), 0) : MemoStep(state, symbol);
        }
        pos += static_cast<std::size_t>(width);
        const Node& at = m_nodes[static_cast<std::size_t>(state)];
        if (m_everyHit) {
            for (std::int32_t out = at.output; out >= 0;
                 out = m_nodes[static_cast<std::size_t>(m_nodes[static_cast<std::size_t>(out)].fail)].output) {
                if (!AddHit(pos, out)) {
                    m_hits.Clear();
                    return -1;
                }
                limited = limited || !CoversAll(m_nodes[static_cast<std::size_t>(out)].entry);
            }
            continue;
        }
        // The occurrences ending here nest: the longest of an entry covering
        // every rule hides all the shorter ones, from every rule.
        // Occurrences for every rule that overlap or touch make one hit.
        std::int32_t covered = 0;
        if (at.outputAll >= 0) {
            covered = m_nodes[static_cast<std::size_t>(at.outputAll)].depth;
            const int start = static_cast<int>(pos) - covered;
            if (lastAll >= 0 && start <= m_hits[static_cast<std::size_t>(lastAll)].offset +
                                             m_hits[static_cast<std::size_t>(lastAll)].length) {
                Hit& last = m_hits[static_cast<std::size_t>(lastAll)];
                if (start < last.offset) last.offset = start;  // a longer one can start before
                last.length = static_cast<int>(pos) - last.offset;
            } else {
                if (!AddHit(pos, at.outputAll)) {
                    m_hits.Clear();
                    return -1;
                }
                lastAll = static_cast<std::ptrdiff_t>(m_hits.Size()) - 1;
            }
        }
        for (std::int32_t out = at.outputLimited; out >= 0 && m_nodes[static_cast<std::size_t>(out)].depth > covered;
             out = m_nodes[static_cast<std::size_t>(m_nodes[static_cast<std::size_t>(out)].fail)].outputLimited) {
            if (!AddHit(pos, out)) {
                m_hits.Clear();
                return -1;
            }
            limited = true;
        }
    }
    // The views are made from the text as hidden: room for one now, so that
    // a check that needs views cannot run out of memory half way.
    if (limited && !m_view.Reserve(n + 1)) {
        m_hits.Clear();
        return -1;
    }
    // Hidden only after the search, so that overlapping occurrences are all
    // found. The hits come in the order they end: each byte is written once.
    int hiddenTo = 0;
    for (std::size_t i = 0; i < m_hits.Size(); ++i) {
        const Hit& hit = m_hits[i];
        if (!CoversAll(hit.entry)) continue;
        const int from = hit.offset > hiddenTo ? hit.offset : hiddenTo;
        const int end = hit.offset + hit.length;
        if (end > from) std::memset(text + from, m_break, static_cast<std::size_t>(end - from));
        if (end > hiddenTo) hiddenTo = end;
    }
    return limited ? 1 : 0;
}

char* CAllowList::ViewFor(const CMatcher* rule, const char* text) {
    bool copied = false;
    for (std::size_t i = 0; i < m_hits.Size(); ++i) {
        if (CoversAll(m_hits[i].entry) || !Covers(m_hits[i].entry, rule)) continue;
        if (!copied) {
            const std::size_t size = std::strlen(text) + 1;
            if (!m_view.Reserve(size)) return nullptr;
            std::memcpy(m_view.Data(), text, size);
            copied = true;
        }
        Overwrite(m_view.Data(), m_hits[i]);
    }
    return copied ? m_view.Data() : nullptr;
}

int CAllowList::CheckViews(const CMatcherList& rules, CRuleIndex* index, char* text, int ceiling, int* offset,
                           int* length, int cut, int removed) {
    int level = 0;
    if (index && index->Ready() && index->FindAll(text, cut, removed)) {
        // A rule whose view is the text itself matches only where the index
        // says it can; the rules the limited entries cover are tried on their
        // views whatever the index says.
        m_tryOrder.Clear();
        const TArray<int>& candidates = index->Candidates();
        bool ok = m_tryOrder.Reserve(candidates.Size());
        for (std::size_t i = 0; ok && i < candidates.Size(); ++i) m_tryOrder.PushBack(candidates[i]);
        if (++m_seenGeneration == 0) {
            for (std::size_t i = 0; i < m_entrySeen.Size(); ++i) m_entrySeen[i] = 0;
            m_seenGeneration = 1;
        }
        for (std::size_t h = 0; ok && h < m_hits.Size(); ++h) {
            const int e = m_hits[h].entry;
            const Entry& entry = m_entries[static_cast<std::size_t>(e)];
            unsigned& seen = m_entrySeen[static_cast<std::size_t>(e)];
            if (entry.ruleCount == 0 || seen == m_seenGeneration) continue;
            seen = m_seenGeneration;
            for (int r = 0; ok && r < entry.ruleCount; ++r) {
                const int ordinal = index->Ordinal(entry.rules[r]);
                if (ordinal >= 0) ok = m_tryOrder.PushBack(ordinal);
            }
        }
        if (ok) {
            std::sort(m_tryOrder.Data(), m_tryOrder.Data() + m_tryOrder.Size());
            for (std::size_t i = 0; i < m_tryOrder.Size(); ++i) {
                const int ordinal = m_tryOrder[i];
                if (i > 0 && m_tryOrder[i - 1] == ordinal) continue;
                if (index->RuleLevel(ordinal) != INT_MIN && index->RuleLevel(ordinal) > ceiling) continue;
                char* view = ViewFor(index->Rule(ordinal), text);
                ++m_rulesTried;
                // The walk read `text`, not a view: on the text itself the
                // search can begin where the walk saw its first syllable.
                const int found = view ? index->Rule(ordinal)->Match(view, 0, offset, length, &level)
                                       : index->TryCandidate(ordinal, text, offset, length, &level);
                if (found == 1 && level <= ceiling) return level;
            }
            return 0;
        }
    }
    for (const CMatcherList::Node* node = rules.First(); node; node = node->next) {
        char* view = ViewFor(node->matcher, text);
        ++m_rulesTried;
        if (node->matcher->Match(view ? view : text, 0, offset, length, &level) == 1 && level <= ceiling) return level;
    }
    return 0;
}

}  // namespace chatsieve
