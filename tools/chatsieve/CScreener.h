// CScreener: the filter as the chatsieve command runs it, with the means to
// tell why a line got its level. It links the filter's internals, loads the
// rule package from a root folder (the filter opens "Data\Scp\Chatsieve.res"
// relative to the working directory, so the screener moves there for the
// load and back), or from a package file anywhere, copied for the load into
// a scratch root of that shape; it reads the same package itself to name
// the rules. Messages name a package as the user gave it.
//
// Explaining repeats the filter's own check on the line and walks the rule
// list in checking order to find the rule that decided; it then asks that
// rule's syllables, one by one, which written form they matched. Masking is
// explained by replaying the filter's passes with whole checks, and a line of
// level 0 by CWhyNot on the text the rules saw. One screener per process,
// like the filter.
#ifndef CHATSIEVE_TOOLS_CHATSIEVE_CSCREENER_H
#define CHATSIEVE_TOOLS_CHATSIEVE_CSCREENER_H

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "PackholdWriter.h"
#include "SyllableForms.h"

namespace chatsieve {
class CMatcher;
}

namespace chatsieve::tools {

class CExplainingFilter;
class CWhyNot;
struct WhyNotReport;
struct WhyNotStep;

struct SyllableMatch {
    std::string pinyin;
    std::string form;   // one of the written forms below
    std::string bytes;  // as matched, code page 936
    int start = 0;      // byte offsets in the line, end exclusive
    int end = 0;
};

struct PartMatch {
    std::string kind;  // "phrase" or "syllable"
    std::string name;  // phrase id, "#row" without one, or the syllable's pinyin
    std::string text;  // the part as its rule writes it, code page 936
    int start = 0;
    int end = 0;
    std::vector<SyllableMatch> syllables;
};

struct Explanation {
    std::string kind;  // "phrase" or "combination"
    std::string id;    // may be empty
    int row = 0;       // 1-based row of its table
    int level = 0;
    std::string text;    // the rule as written, code page 936
    std::string source;  // "phrases.tsv:12"; empty for packages that do not say
    std::string tags;    // "cheat,contact"; may be empty
    // "written" or "sound" in packages that hold written-mode rules; empty
    // in the others, whose rules are all sound.
    std::string match;
    int start = 0;  // the span the filter reports (and masks), in the line
    int end = 0;
    std::vector<PartMatch> parts;  // a phrase has one part: itself
};

// Where the filter opens its rules when `root` is its working folder:
// kRulePackagePath with this system's separators.
std::filesystem::path RulePackageUnder(const std::filesystem::path& root);

// How messages name a rule: its id, else where it was written, else "#row".
std::string RuleShortName(const Explanation& explanation);

// An occurrence of an allowed expression in a line.
struct AllowedMatch {
    std::string text;      // the expression as the package holds it, code page 936
    int row = 0;           // 1-based row of the allow table
    int line = 0;          // its line in allow.tsv; 0 when the package does not say
    bool english = false;  // added by the compiler for an English word (EnglishWords.h)
    int start = 0;         // byte offsets in the line, end exclusive
    int end = 0;
};

// What the allowed expressions in a line let through: the line's level with
// them and without them, and the rule that decides without them.
struct AllowedExplanation {
    int level = 0;
    int levelWithout = 0;
    Explanation without;  // when levelWithout > 0
    std::vector<AllowedMatch> expressions;
};

// One pass of masking: the rule that decided it and the bytes it turned to
// '*' (first to last; bytes between them that ignore-sets strip are kept).
struct MaskPass {
    Explanation rule;
    int start = 0;  // byte offsets in the line, end exclusive
    int end = 0;
    std::string before;  // bytes [start, end) as they stood before the pass
};

class CScreener {
public:
    CScreener();
    ~CScreener();
    CScreener(const CScreener&) = delete;
    CScreener& operator=(const CScreener&) = delete;

    // Loads "Data/Scp/Chatsieve.res" under `root`. False with `*error`.
    bool Open(const std::string& root, std::string* error);
    // Loads the rule package `file` wherever it is; errors name `file`.
    bool OpenPackage(const std::string& file, std::string* error);
    // The package loaded, as the user named it (or the root's package).
    const std::string& PackagePath() const { return m_packagePath; }
    // The level of the line and its masked copy (level `minLevel` and up).
    int Screen(const std::string& line, int minLevel, std::string* masked);
    // Why the line has the level it has; false when it has level 0.
    bool Explain(const std::string& line, Explanation* explanation);
    // Masks the line as Screen does, with a whole check for every pass (the
    // filter's faster passes must agree with those), naming the rule behind
    // each pass. Returns the level and leaves the masked copy in `masked`.
    int ExplainMasking(const std::string& line, int minLevel, std::vector<MaskPass>* passes, std::string* masked);
    // Why the line has level 0: what in it keeps rules from matching, and
    // the rules closest to matching; false when the line has a level.
    bool WhyNot(const std::string& line, WhyNotReport* report);
    // Whether allowed expressions in the line changed what decides it; false
    // when none occurs or the line comes out the same without them.
    bool ExplainAllowed(const std::string& line, AllowedExplanation* allowed);

private:
    struct RuleName {
        bool isCombo;
        std::size_t row;  // 0-based
    };
    bool Load(const std::string& root, const std::string& shownAs, std::string* error);
    // Pairs each of the filter's rules with its row of the package; false,
    // with `*error`, when the two do not line up.
    bool NameRules(std::string* error);
    // The syllables of `phrase` found at `offset` of the stripped text
    // `work`, each with the bytes of `line` (the host's) it stands on.
    void DescribeRun(CMatcher* phrase, const std::string& line, const std::string& work, int offset,
                     const std::vector<int>& map, PartMatch* part) const;
    bool FindName(CMatcher* rule, RuleName* name) const;

    std::unique_ptr<CExplainingFilter> m_filter;
    bool m_open = false;
    std::string m_packagePath;
    packhold::Package m_package;
    std::vector<std::pair<CMatcher*, RuleName>> m_names;
    std::vector<CMatcher*> m_syllables;
    std::unique_ptr<CWhyNot> m_whyNot;  // made at the first WhyNot
};

}  // namespace chatsieve::tools

#endif
