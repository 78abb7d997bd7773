// CRuleLoader: one run of reading the rule package into matchers. It loads
// the package library, opens "Data\Scp\Chatsieve.res" and reads four tables in
// order: ignore-sets into the filter's list, syllables, phrase rules and
// combination rules into the process-wide lists (ProcessLists.h), recording
// the highest rule level and the player-words log switch on the way. RuleRefs
// resolve against the lists as they stand, so the tables' order is part of the
// format. On every exit the file is closed and the library unloaded; a run
// that fails keeps what it already listed, for the caller to destroy.
#ifndef CHATSIEVE_LOAD_CRULELOADER_H
#define CHATSIEVE_LOAD_CRULELOADER_H

#include "Packhold.h"
#include "format/RulePackage.h"
#include "load/CIPackholdHelper.h"
#include "matchers/CMatcherList.h"

namespace chatsieve {

class CMatcher;

class CRuleLoader {
public:
    // The run writes the filter's ignore-set list, log switch and highest level.
    CRuleLoader(CMatcherList& skipSets, int& logEnabled, int& highestLevel, const char* libraryName = kPackholdLibrary);

    // 1 when the rules were loaded (or the package has no table set), else 0.
    // An exception from the package library passes through, the library
    // released on its way.
    int Run();
    // Also reads a fifth table of allowed expressions into `allow`, when the
    // package has one written by our compiler (its first row has an "allow"
    // text); any other fifth table is not read. The list is whatever offers
    // `bool Add(const char* text, CMatcher* const* rules, int ruleCount)`: the
    // loader hands rows on and knows nothing of how they are searched, so
    // the structures built from them may depend on the loader, never the
    // other way round.
    template <class AllowList>
    void ReadAllowListInto(AllowList* allow) {
        m_allow = allow;
        m_addAllowed = [](void* list, const char* text, CMatcher* const* rules, int ruleCount) {
            return static_cast<AllowList*>(list)->Add(text, rules, ruleCount);
        };
    }
    // Also reads a sixth table of characters to fold into `fold`, when the
    // package has one (its first row has a "fold" cell). Only packages with
    // written-mode rules carry it, and phrase rows there may hold an "edge"
    // cell: letters and digits must not run into their match. The table is
    // whatever offers `bool Add(unsigned char lead, unsigned char low,
    // unsigned char high, int to)` and `bool Empty() const`.
    template <class FoldTable>
    void ReadFoldTableInto(FoldTable* fold) {
        m_fold = fold;
        m_addFolded = [](void* table, unsigned char lead, unsigned char low, unsigned char high, int to) {
            return static_cast<FoldTable*>(table)->Add(lead, low, high, to);
        };
        m_foldEmpty = [](const void* table) { return static_cast<const FoldTable*>(table)->Empty(); };
    }

private:
    int ReadSkipSets(IPackholdTable* table);
    int ReadAllowList(IPackholdTable* table);
    int ReadFoldTable(IPackholdTable* table);
    int ReadSyllables(IPackholdTable* table);
    template <class Rule>
    int ReadLevelRules(IPackholdTable* table, int capacity, CMatcherList& list);

    CMatcherList& m_skipSets;
    int& m_logEnabled;
    int& m_highestLevel;
    const char* m_libraryName;
    // The package library's reader by number for this run, null when it has none.
    PackholdColumnsFn m_columns = nullptr;
    void* m_allow = nullptr;
    bool (*m_addAllowed)(void* list, const char* text, CMatcher* const* rules, int ruleCount) = nullptr;
    void* m_fold = nullptr;
    bool (*m_addFolded)(void* table, unsigned char lead, unsigned char low, unsigned char high, int to) = nullptr;
    bool (*m_foldEmpty)(const void* table) = nullptr;
};

}  // namespace chatsieve

#endif
