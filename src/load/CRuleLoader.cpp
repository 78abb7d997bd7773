#include "load/CRuleLoader.h"

#include <cstring>

#include "load/CTableReader.h"
#include "matchers/CComboRule.h"
#include "matchers/CPhraseRule.h"
#include "matchers/CSkipSet.h"
#include "matchers/CSyllable.h"
#include "matchers/ProcessLists.h"
#include "platform/Memory.h"

namespace chatsieve {

static_assert(static_cast<int>(kMaxAllowBytes) <= packhold::kMaxCellBytes,
              "an allowed expression fits the library's largest cell");

namespace {

// One scratch buffer per table, reused for every row. It is as large as the
// largest cell the package library hands out, since the row operations are
// given no capacity; each table then refuses counts above its own limit.
class ScratchBuffer {
public:
    ScratchBuffer() : m_data(Allocate(packhold::kMaxCellBytes)) {}
    ~ScratchBuffer() { Free(m_data); }
    ScratchBuffer(const ScratchBuffer&) = delete;
    ScratchBuffer& operator=(const ScratchBuffer&) = delete;

    bool Ok() const { return m_data != nullptr; }
    int* Ints() { return static_cast<int*>(m_data); }
    unsigned char* Bytes() { return static_cast<unsigned char*>(m_data); }

private:
    void* m_data;
};

// A new matcher for `count` values; a phrase rule is made with room for its
// references, so that it is one allocation.
template <class Matcher>
Matcher* MakeMatcher(int /*count*/) {
    return New<Matcher>();
}
template <>
CPhraseRule* MakeMatcher<CPhraseRule>(int count) {
    return CPhraseRule::NewWithRoom(count);
}

// Initialises a new matcher with `init` and appends it to `list`; a matcher
// that cannot be set up or listed is destroyed.
template <class Matcher, class InitFn>
int AddMatcher(CMatcherList& list, InitFn init, int count = 0) {
    Matcher* matcher = MakeMatcher<Matcher>(count);
    if (!matcher) return 0;
    if (!init(matcher) || !list.PushBack(matcher)) {
        matcher->Destroy();
        return 0;
    }
    return 1;
}

// Reads every row of `reader`'s table with `readRow(scratch)`, all rows
// sharing one scratch buffer; 0 at the first row that is missing or refused.
template <class ReadRow>
int ReadRows(CTableReader& reader, ReadRow readRow) {
    ScratchBuffer scratch;
    if (!scratch.Ok()) return 0;
    const int rows = reader.RowCount();
    for (int i = 0; i < rows; ++i)
        if (!reader.Seek(i) || !readRow(scratch)) return 0;
    return 1;
}

}  // namespace

CRuleLoader::CRuleLoader(CMatcherList& skipSets, int& logEnabled, int& highestLevel, const char* libraryName)
    : m_skipSets(skipSets), m_logEnabled(logEnabled), m_highestLevel(highestLevel), m_libraryName(libraryName) {}

int CRuleLoader::Run() {
    CIPackholdHelper helper(m_libraryName);
    IPackhold* root = helper.Create(0);
    if (!root) return 0;
    const char key[] = {kRulePackageKey[0], kRulePackageKey[1], kRulePackageKey[2], kRulePackageKey[3], 0};
    IPackholdFile* file = root->OpenFile(kRulePackagePath, 0, key);
    if (!file) return 0;
    // Libraries that came before the reader by number lack its export.
    m_columns = reinterpret_cast<PackholdColumnsFn>(FindExport(helper.Module(), "PackholdColumns"));

    int ok = 1;
    if (IPackholdTableSet* tables = file->GetTableSet()) {
        IPackholdTable* table = nullptr;
        ok = (table = tables->GetTable(kIgnoreTable)) && ReadSkipSets(table) &&
             (table = tables->GetTable(kSyllableTable)) && ReadSyllables(table) &&
             (table = tables->GetTable(kPhraseTable)) &&
             ReadLevelRules<CPhraseRule>(table, kMaxPhraseRefs, g_phrases) && (table = tables->GetTable(kComboTable)) &&
             ReadLevelRules<CComboRule>(table, kMaxComboRefs, g_combos) && !m_skipSets.Empty() &&
             !g_syllables.Empty() && !g_phrases.Empty();
        if (ok && m_allow && (table = tables->GetTable(kAllowTable))) ok = ReadAllowList(table);
        if (ok && m_fold && (table = tables->GetTable(kFoldTable))) ok = ReadFoldTable(table);
        // Edges belong to the written mode, which comes with the fold table:
        // a package without it matches as packages always have.
        if (ok && m_fold && m_foldEmpty(m_fold))
            for (CMatcherList::Node* node = g_phrases.First(); node; node = node->next)
                static_cast<CPhraseRule*>(node->matcher)->SetEdges(0);
    }
    file->Close();
    helper.Release();
    return ok;
}

int CRuleLoader::ReadSkipSets(IPackholdTable* table) {
    CTableReader reader(table, m_columns);
    const int code = reader.Column(kCodeColumn), log = reader.Column(kLogColumn);
    return ReadRows(reader, [&](ScratchBuffer& scratch) {
        const int count = reader.GetIntArray(code, scratch.Ints());
        if (count <= 0 || count > kMaxIgnoreValues) return 0;
        if (!reader.GetInt(log, &m_logEnabled)) return 0;
        return AddMatcher<CSkipSet>(m_skipSets, [&](CSkipSet* set) { return set->Init(scratch.Ints(), count); });
    });
}

int CRuleLoader::ReadSyllables(IPackholdTable* table) {
    CTableReader reader(table, m_columns);
    const int pinyin = reader.Column(kPinyinColumn), code = reader.Column(kCodeColumn),
              split = reader.Column(kSplitColumn);
    return ReadRows(reader, [&](ScratchBuffer& scratch) {
        const char* romanised = reader.GetString(pinyin);
        if (!romanised) return 0;
        const int count = reader.GetBytes(code, scratch.Bytes());
        if (count <= 0 || count > kMaxSyllableCodeBytes) return 0;
        const char* splitForm = reader.GetString(split);
        return AddMatcher<CSyllable>(g_syllables, [&](CSyllable* syllable) {
            return syllable->Init(romanised, scratch.Bytes(), count, splitForm);
        });
    });
}

int CRuleLoader::ReadAllowList(IPackholdTable* table) {
    CTableReader reader(table, m_columns);
    const int allow = reader.Column(kAllowColumn), rules = reader.Column(kAllowRulesColumn);
    if (!(reader.RowCount() > 0 && reader.Seek(0) && reader.GetString(allow))) return 1;
    return ReadRows(reader, [&](ScratchBuffer& scratch) {
        const char* text = reader.GetString(allow);
        if (!text || std::strlen(text) > kMaxAllowBytes) return 0;
        const int count = reader.GetIntArray(rules, scratch.Ints());
        CMatcher* resolved[packhold::kMaxCellBytes / sizeof(int)];
        for (int i = 0; i < count; ++i) {
            const RefEntry ref = DecodeRuleRef(scratch.Ints()[i]);
            const CMatcherList* list = ref.kind == kPhraseKind  ? &g_phrases
                                       : ref.kind == kComboKind ? &g_combos
                                                                : nullptr;
            resolved[i] = list ? list->At(static_cast<unsigned>(ref.index)) : nullptr;
            if (!resolved[i]) return 0;
        }
        return m_addAllowed(m_allow, text, resolved, count) ? 1 : 0;
    });
}

int CRuleLoader::ReadFoldTable(IPackholdTable* table) {
    CTableReader reader(table, m_columns);
    const int fold = reader.Column(kFoldColumn), foldTo = reader.Column(kFoldToColumn);
    unsigned char probe[packhold::kMaxCellBytes];
    if (!(reader.RowCount() > 0 && reader.Seek(0) && reader.GetBytes(fold, probe) > 0)) return 1;
    return ReadRows(reader, [&](ScratchBuffer& scratch) {
        int to = 0;
        if (reader.GetBytes(fold, scratch.Bytes()) != 3 || !reader.GetInt(foldTo, &to)) return 0;
        const unsigned char* range = scratch.Bytes();
        return m_addFolded(m_fold, range[0], range[1], range[2], to) ? 1 : 0;
    });
}

namespace {

// Phrase rows of packages with written-mode rules may say that letters and
// digits must not stand right before or after their match; no other rule
// kind and no other package has that cell.
void ReadEdges(CTableReader& reader, int column, CPhraseRule* rule) {
    int edges = 0;
    if (reader.GetInt(column, &edges)) rule->SetEdges(edges);
}
void ReadEdges(CTableReader&, int, CComboRule*) {}

}  // namespace

template <class Rule>
int CRuleLoader::ReadLevelRules(IPackholdTable* table, int capacity, CMatcherList& list) {
    CTableReader reader(table, m_columns);
    const int levelColumn = reader.Column(kLevelColumn), refs = reader.Column(kRefsColumn),
              edge = reader.Column(kEdgeColumn);
    return ReadRows(reader, [&](ScratchBuffer& scratch) {
        int level = 0;
        if (!reader.GetInt(levelColumn, &level)) return 0;
        const int count = reader.GetIntArray(refs, scratch.Ints());
        if (count <= 0 || count > capacity) return 0;
        if (!AddMatcher<Rule>(
                list,
                [&](Rule* rule) {
                    if (!rule->Init(scratch.Ints(), count, level)) return 0;
                    if (m_fold) ReadEdges(reader, edge, rule);
                    return 1;
                },
                count))
            return 0;
        // Only a rule that was set up raises the highest level.
        if (level > m_highestLevel) m_highestLevel = level;
        return 1;
    });
}

}  // namespace chatsieve
