#include "CScreener.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>

#include "CWhyNot.h"
#include "SyllableForms.h"
#include "compiler/CCharacterData.h"
#include "compiler/CCodePage936.h"
#include "format/RulePackage.h"
#include "host/CChatsieve.h"
#include "load/LevelOrder.h"
#include "matchers/CComboRule.h"
#include "matchers/CPhraseRule.h"
#include "matchers/CSyllable.h"
#include "matchers/ProcessLists.h"
#include "platform/AsciiText.h"
#include "platform/MbText.h"
#include "run/CAllowList.h"

namespace chatsieve::tools {

// The filter with its working text and its dormant rules in view: after a
// check, the working buffer holds the line as the rules saw it.
class CExplainingFilter final : public CChatsieve {
public:
    const char* WorkText() const { return m_workBuf ? m_workBuf : ""; }
    const CMatcherList& DormantRules() const { return m_dormantRules; }
    bool AllowListInUse() const { return m_useAllow && !m_allow.Empty(); }
};

namespace {

// "phrases.tsv:12" when the package says where the rule was written.
std::string SourceOf(const packhold::Table& table, std::size_t row) {
    const packhold::Cell& file = CellNamed(table, row, kFileColumn);
    const packhold::Cell& line = CellNamed(table, row, kLineColumn);
    if (!file.IsPresent() || !line.IsPresent()) return {};
    return file.TextValue() + ":" + std::to_string(line.IntValue());
}

}  // namespace

std::filesystem::path RulePackageUnder(const std::filesystem::path& root) {
    std::filesystem::path path = root;
    std::string part;
    for (const char* c = kRulePackagePath;; ++c) {
        if (*c != '\\' && *c != 0) {
            part += *c;
            continue;
        }
        path /= part;
        part.clear();
        if (*c == 0) return path;
    }
}

std::string RuleShortName(const Explanation& explanation) {
    if (!explanation.id.empty()) return explanation.id;
    if (!explanation.source.empty()) return explanation.source;
    return "#" + std::to_string(explanation.row);
}

CScreener::CScreener() = default;

CScreener::~CScreener() {
    // Uninit frees what the filter holds (and writes its log when the rules
    // switched it on); the object itself is then only list nodes.
    if (m_open) m_filter->Uninit();
}

bool CScreener::Open(const std::string& root, std::string* error) {
    return Load(root, RulePackageUnder(root).string(), error);
}

// The library opens its package only as Data/Scp/Chatsieve.res under the
// working folder, so a package named on the command line is staged in a
// scratch root of that shape, loaded, and the scratch root removed.
bool CScreener::OpenPackage(const std::string& file, std::string* error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        *error = file + ": no such rule package";
        return false;
    }
    const fs::path scratch =
        fs::temp_directory_path(ec) / ("chatsieve-" + std::to_string(std::random_device()()) + "-" +
                                       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    const fs::path target = RulePackageUnder(scratch);
    const bool staged = fs::create_directories(target.parent_path(), ec) && fs::copy_file(file, target, ec);
    const bool opened = staged && Load(scratch.string(), file, error);
    if (!staged) *error = file + ": cannot stage the package: " + ec.message();
    fs::remove_all(scratch, ec);
    return opened;
}

bool CScreener::Load(const std::string& root, const std::string& shownAs, std::string* error) {
    namespace fs = std::filesystem;
    const fs::path package = RulePackageUnder(root);
    std::vector<unsigned char> bytes;
    if (!packhold::ReadWholeFile(package.string(), &bytes, error) ||
        !packhold::DecodePackage(bytes.data(), bytes.size(), kRulePackageKey, &m_package, error)) {
        // Messages about the file name the user's copy, not a staged one.
        const std::string staged = package.string();
        for (std::size_t at = error->find(staged); at != std::string::npos; at = error->find(staged, at))
            error->replace(at, staged.size(), shownAs), at += shownAs.size();
        *error = shownAs + ": " + *error;
        return false;
    }
    std::error_code ec;
    const fs::path back = fs::current_path(ec);
    if (ec || (fs::current_path(root, ec), ec)) {
        *error = "cannot change to the folder " + root + ": " + ec.message();
        return false;
    }
    m_filter = std::make_unique<CExplainingFilter>();
    m_open = m_filter->Init() == 1;
    fs::current_path(back, ec);
    if (!m_open) {
        *error = shownAs + ": the filter could not load this rule package";
        return false;
    }
    m_packagePath = shownAs;
    if (!NameRules(error)) {
        *error = shownAs + ": " + *error;
        return false;
    }
    return true;
}

bool CScreener::NameRules(std::string* error) {
    // The loader lists the phrase rows, then the combination rows, and puts
    // them in checking order; the same order over the package's rows lines
    // them up with the filter's rule list followed by its dormant rules. A
    // pair that differs in kind or level means the two orders parted: the
    // package is refused rather than explained with another rule's names.
    std::vector<std::pair<int, RuleName>> order;
    for (const RuleTable t : {kPhraseTable, kComboTable}) {
        if (m_package.tables.size() <= static_cast<std::size_t>(t)) break;
        const packhold::Table& table = m_package.tables[t];
        for (std::size_t r = 0; r < table.rows.size(); ++r)
            order.push_back({CellNamed(table, r, kLevelColumn).IntValue(), RuleName{t == kComboTable, r}});
    }
    SortInCheckingOrder(order.begin(), order.end(), [](const std::pair<int, RuleName>& row) { return row.first; });
    std::vector<CMatcher*> listed;
    for (const auto* list : {&m_filter->Rules(), &m_filter->DormantRules()})
        for (CMatcherList::Node* node = list->First(); node; node = node->next) listed.push_back(node->matcher);
    if (listed.size() != order.size()) {
        *error = "the filter holds " + std::to_string(listed.size()) + " rules but the package's tables " +
                 std::to_string(order.size()) + " rows";
        return false;
    }
    for (std::size_t i = 0; i < listed.size(); ++i) {
        const RuleName& name = order[i].second;
        if (listed[i]->GetLevel() != order[i].first || (As<CComboRule>(listed[i]) != nullptr) != name.isCombo) {
            *error = std::string("the filter's rules are not in the order of the package's rows: ") +
                     (name.isCombo ? "combination" : "phrase") + " row " + std::to_string(name.row + 1) +
                     " does not line up";
            return false;
        }
        m_names.push_back({listed[i], name});
    }
    for (CMatcherList::Node* node = g_syllables.First(); node; node = node->next) m_syllables.push_back(node->matcher);
    return true;
}

bool CScreener::FindName(CMatcher* rule, RuleName* name) const {
    for (const auto& entry : m_names)
        if (entry.first == rule) {
            *name = entry.second;
            return true;
        }
    return false;
}

int CScreener::Screen(const std::string& line, int minLevel, std::string* masked) {
    // The filter writes up to size + 1 bytes and a terminator after them.
    masked->assign(line.size() + 2, '\0');
    const int level =
        m_filter->FilterText(line.c_str(), &(*masked)[0], static_cast<unsigned>(line.size() + 1), minLevel);
    masked->resize(std::min(line.size(), std::char_traits<char>::length(masked->c_str())));
    return level;
}

void CScreener::DescribeRun(CMatcher* phrase, const std::string& line, const std::string& work, int offset,
                            const std::vector<int>& map, PartMatch* part) const {
    const auto original = [&map](int at) {
        return at >= 0 && static_cast<std::size_t>(at) < map.size() ? map[static_cast<std::size_t>(at)] : 0;
    };
    std::vector<CMatcher*> syllables;
    if (auto* rule = As<CPhraseRule>(phrase)) {
        for (std::size_t i = 0; i < rule->Syllables().Size(); ++i) syllables.push_back(rule->Syllables()[i]);
    } else {
        syllables.push_back(phrase);
    }
    const packhold::Table& table = m_package.tables[kSyllableTable];
    int at = offset;
    for (CMatcher* matcher : syllables) {
        auto* syllable = static_cast<CSyllable*>(matcher);
        int length = 0;
        if (static_cast<std::size_t>(at) > work.size() || !syllable->MatchAt(work.c_str() + at, &length) || length <= 0)
            break;
        const std::size_t row =
            static_cast<std::size_t>(std::find(m_syllables.begin(), m_syllables.end(), matcher) - m_syllables.begin());
        SyllableMatch match;
        const std::string seen = work.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(length));
        // Where the package folds full-width letters the rules saw them as
        // plain ones; the line holds what the player wrote.
        for (int j = at; j < at + length; ++j)
            match.bytes +=
                line.substr(static_cast<std::size_t>(original(j)), static_cast<std::size_t>(m_filter->HostWidth(j)));
        const bool folded = match.bytes.size() != seen.size();
        match.start = original(at);
        match.end = original(at + length - 1) + m_filter->HostWidth(at + length - 1);
        match.form = HoldsCharacter(part->text, seen) ? kFormCharacterName
                     : IsVariantIn(part->text, seen)  ? kFormVariantName
                                                      : kFormHomophoneName;
        if (row < table.rows.size()) {
            const std::string& pinyin = CellNamed(table, row, kPinyinColumn).TextValue();
            const packhold::Cell& split = CellNamed(table, row, kSplitColumn);
            match.pinyin = pinyin;
            // The order the syllable itself tries its forms in. Full-width
            // pinyin is held where a split form would be.
            if (seen.size() == pinyin.size() && EqualsIgnoringCase(seen.c_str(), pinyin))
                match.form = folded ? kFormFullWidthName : kFormPinyinName;
            else if (split.IsPresent() && seen == split.TextValue())
                match.form = IsFullWidthLetters(seen) ? kFormFullWidthName : kFormSplitName;
        }
        part->syllables.push_back(match);
        at += length;
    }
}

bool CScreener::Explain(const std::string& line, Explanation* explanation) {
    *explanation = Explanation();
    const int level = m_filter->CheckText(line.c_str(), 0);
    if (level == 0) return false;
    const std::string work = m_filter->WorkText();
    const std::vector<int> map(g_positionMap.Data(), g_positionMap.Data() + g_positionMap.Size());
    const auto original = [&map](int at) {
        return at >= 0 && static_cast<std::size_t>(at) < map.size() ? map[static_cast<std::size_t>(at)] : 0;
    };

    std::vector<char> buffer(work.begin(), work.end());
    buffer.push_back(0);
    CMatcher* decider = nullptr;
    int offset = 0, length = 0, found = 0;
    // Each rule on its own view: expressions allowed for some rules alone are
    // hidden from those rules only.
    const auto viewOf = [&](CMatcher* rule) {
        char* view = m_filter->AllowListInUse() ? m_filter->AllowList().ViewFor(rule, buffer.data()) : nullptr;
        return view ? std::vector<char>(view, view + buffer.size()) : buffer;
    };
    std::vector<char> view;
    for (CMatcherList::Node* node = m_filter->Rules().First(); node && !decider; node = node->next) {
        view = viewOf(node->matcher);
        if (node->matcher->Match(view.data(), 0, &offset, &length, &found) == 1) decider = node->matcher;
    }
    if (!decider) return false;
    buffer = view;

    RuleName name{false, 0};
    const bool named = FindName(decider, &name);
    explanation->kind = As<CComboRule>(decider) ? "combination" : "phrase";
    explanation->level = found;
    explanation->start = original(offset);
    explanation->end =
        length > 0 ? original(offset + length - 1) + m_filter->HostWidth(offset + length - 1) : explanation->start;
    if (named) {
        const packhold::Table& table = m_package.tables[name.isCombo ? kComboTable : kPhraseTable];
        explanation->row = static_cast<int>(name.row) + 1;
        explanation->id = CellNamed(table, name.row, kIdColumn).TextValue();
        explanation->text = CellNamed(table, name.row, kTextColumn).TextValue();
        explanation->source = SourceOf(table, name.row);
        for (const packhold::Column& column : table.columns)
            if (column.name == kMatchColumn) {
                const packhold::Cell& match = CellNamed(table, name.row, kMatchColumn);
                explanation->match = match.IsPresent() ? match.TextValue() : "sound";
            }
        explanation->tags = CellNamed(table, name.row, kTagsColumn).TextValue();
    }

    const auto describe = [&](CMatcher* part, PartMatch* match) {
        int partOffset = 0, partLength = 0, partLevel = 0;
        if (part->Match(buffer.data(), 0, &partOffset, &partLength, &partLevel) != 1) return false;
        match->start = original(partOffset);
        match->end = partLength > 0
                         ? original(partOffset + partLength - 1) + m_filter->HostWidth(partOffset + partLength - 1)
                         : match->start;
        DescribeRun(part, line, std::string(buffer.data()), partOffset, map, match);
        return true;
    };
    if (auto* combo = As<CComboRule>(decider)) {
        for (CMatcherList::Node* node = combo->Parts().First(); node; node = node->next) {
            PartMatch part;
            RuleName partName{false, 0};
            if (As<CPhraseRule>(node->matcher)) {
                part.kind = "phrase";
                if (FindName(node->matcher, &partName)) {
                    const packhold::Table& phrases = m_package.tables[kPhraseTable];
                    part.name = CellNamed(phrases, partName.row, kIdColumn).TextValue();
                    part.text = CellNamed(phrases, partName.row, kTextColumn).TextValue();
                    if (part.name.empty()) part.name = SourceOf(phrases, partName.row);
                    if (part.name.empty()) part.name = "#" + std::to_string(partName.row + 1);
                }
            } else {
                part.kind = "syllable";
                part.text = explanation->text;
            }
            if (!describe(node->matcher, &part)) continue;
            if (part.kind == "syllable" && !part.syllables.empty()) part.name = part.syllables[0].pinyin;
            explanation->parts.push_back(part);
        }
    } else {
        PartMatch part;
        part.kind = "phrase";
        part.name = RuleShortName(*explanation);
        part.text = explanation->text;
        describe(decider, &part);
        explanation->parts.push_back(part);
    }
    return true;
}

int CScreener::ExplainMasking(const std::string& line, int minLevel, std::vector<MaskPass>* passes,
                              std::string* masked) {
    passes->clear();
    // Start from the copy the filter makes of the line: whole characters,
    // so a lead byte the line ends in is not in it.
    std::vector<char> copy(line.size() + 2, '\0');
    BoundedCopy(copy.data(), line.c_str(), line.size() + 1);
    masked->assign(copy.data());
    const int result = m_filter->CheckText(line.c_str(), 0);
    if (result == 0 || result < minLevel) return result;
    // The filter's own loop, pass for pass: a level above the ceiling is one
    // that masking brought about, and is reported in its turn.
    int reported = result;
    int ceiling = std::max(minLevel, result);
    for (int pass = 0; pass < kMaxMaskPasses; ++pass) {
        MaskPass step;
        Explain(*masked, &step.rule);
        const int level = m_filter->CheckText(masked->c_str(), 0);
        if (level > ceiling) {
            reported = std::max(reported, level);
            ceiling = level;
        } else if (level == 0 || level < minLevel) {
            break;
        } else {
            ceiling = level;
        }
        const int offset = m_filter->MatchOffset();
        const int length = m_filter->MatchLength();
        // As the filter masks: every byte of the match that leads back into
        // the line. A pass that masks nothing is not listed.
        const auto at = [](int i) { return static_cast<std::size_t>(i); };
        const std::size_t mapped = g_positionMap.Size();
        if (length <= 0 || offset < 0 || at(offset + length) > mapped) {
            for (int j = 0; j < length; ++j)
                if (at(offset + j) < mapped)
                    for (int k = 0; k < m_filter->HostWidth(offset + j); ++k)
                        (*masked)[at(g_positionMap[at(offset + j)] + k)] = '*';
            continue;
        }
        step.start = g_positionMap[at(offset)];
        step.end = g_positionMap[at(offset + length - 1)] + m_filter->HostWidth(offset + length - 1);
        step.before = masked->substr(at(step.start), at(step.end - step.start));
        for (int j = 0; j < length; ++j)
            for (int k = 0; k < m_filter->HostWidth(offset + j); ++k)
                (*masked)[at(g_positionMap[at(offset + j)] + k)] = '*';
        passes->push_back(step);
    }
    return reported;
}

bool CScreener::WhyNot(const std::string& line, WhyNotReport* report) {
    if (!m_whyNot) {
        std::vector<const CSyllable*> syllables;
        for (CMatcher* matcher : m_syllables) syllables.push_back(static_cast<const CSyllable*>(matcher));
        // A phrase's syllables as rows of the syllable table; false when one
        // is not there (a package the tools cannot name).
        const auto spell = [this](CMatcher* matcher, std::vector<int>* rows) {
            std::vector<CMatcher*> run;
            if (auto* phrase = As<CPhraseRule>(matcher)) {
                for (std::size_t i = 0; i < phrase->Syllables().Size(); ++i) run.push_back(phrase->Syllables()[i]);
            } else {
                run.push_back(matcher);
            }
            for (CMatcher* syllable : run) {
                const auto found = std::find(m_syllables.begin(), m_syllables.end(), syllable);
                if (found == m_syllables.end()) return false;
                rows->push_back(static_cast<int>(found - m_syllables.begin()));
            }
            return true;
        };
        // The rules that are tried on their own, in checking order.
        std::vector<CWhyNot::Rule> rules;
        for (const auto& [matcher, name] : m_names) {
            const packhold::Table& table = m_package.tables[name.isCombo ? kComboTable : kPhraseTable];
            CWhyNot::Rule rule;
            rule.name.kind = name.isCombo ? "combination" : "phrase";
            rule.name.row = static_cast<int>(name.row) + 1;
            rule.name.id = CellNamed(table, name.row, kIdColumn).TextValue();
            rule.name.text = CellNamed(table, name.row, kTextColumn).TextValue();
            rule.name.source = SourceOf(table, name.row);
            rule.name.level = CellNamed(table, name.row, kLevelColumn).IntValue();
            // A rule's variant rows would only repeat its own first row here.
            if (!IsTriedLevel(rule.name.level) || CellNamed(table, name.row, kVariantColumn).IsPresent()) continue;
            bool spelt = true;
            if (auto* combo = As<CComboRule>(matcher)) {
                for (CMatcherList::Node* node = combo->Parts().First(); node && spelt; node = node->next) {
                    std::pair<std::string, std::vector<int>> part;
                    spelt = spell(node->matcher, &part.second);
                    RuleName partName{false, 0};
                    if (!spelt) break;
                    if (As<CPhraseRule>(node->matcher) && FindName(node->matcher, &partName)) {
                        const packhold::Table& phrases = m_package.tables[kPhraseTable];
                        part.first = CellNamed(phrases, partName.row, kIdColumn).TextValue();
                        if (part.first.empty()) part.first = SourceOf(phrases, partName.row);
                        if (part.first.empty()) part.first = "#" + std::to_string(partName.row + 1);
                    } else {
                        part.first = static_cast<const CSyllable*>(node->matcher)->Romanised();
                    }
                    rule.parts.push_back(std::move(part));
                }
            } else {
                spelt = spell(matcher, &rule.syllables);
            }
            if (spelt) rules.push_back(std::move(rule));
        }
        m_whyNot = std::make_unique<CWhyNot>(std::move(syllables), std::move(rules));
    }
    if (m_filter->CheckText(line.c_str(), 0) != 0) return false;
    const std::string work = m_filter->WorkText();
    const std::vector<int> map(g_positionMap.Data(), g_positionMap.Data() + g_positionMap.Size());
    const unsigned char breakByte = m_filter->AllowListInUse() ? m_filter->AllowList().BreakByte() : 0;
    m_whyNot->Explain(work, map, static_cast<int>(line.size()), breakByte, report);
    return true;
}

bool CScreener::ExplainAllowed(const std::string& line, AllowedExplanation* allowed) {
    *allowed = AllowedExplanation();
    CAllowList& list = m_filter->AllowList();
    // Every occurrence is listed, not only those that hide what others do not.
    list.RecordEveryHit(true);
    allowed->level = m_filter->CheckText(line.c_str(), 0);
    list.RecordEveryHit(false);
    const std::vector<int> map(g_positionMap.Data(), g_positionMap.Data() + g_positionMap.Size());
    const auto original = [&map](int at) {
        return at >= 0 && static_cast<std::size_t>(at) < map.size() ? map[static_cast<std::size_t>(at)] : 0;
    };
    for (std::size_t i = 0; i < list.Hits().Size(); ++i) {
        const CAllowList::Hit& hit = list.Hits()[i];
        int written = 0;
        bool english = false;
        if (m_package.tables.size() > kAllowTable &&
            static_cast<std::size_t>(hit.entry) < m_package.tables[kAllowTable].rows.size()) {
            const packhold::Table& table = m_package.tables[kAllowTable];
            const packhold::Cell& lineCell = CellNamed(table, static_cast<std::size_t>(hit.entry), kLineColumn);
            written = lineCell.IntValue();
            // The compiler writes no line for the rows it adds.
            english =
                !lineCell.IsPresent() && std::any_of(table.columns.begin(), table.columns.end(),
                                                     [](const packhold::Column& c) { return c.name == kLineColumn; });
        }
        allowed->expressions.push_back(
            AllowedMatch{list.Text(hit.entry), hit.entry + 1, written, english, original(hit.offset),
                         original(hit.offset + hit.length - 1) + m_filter->HostWidth(hit.offset + hit.length - 1)});
    }
    if (allowed->expressions.empty()) return false;
    Explanation with;
    const bool decidedWith = allowed->level > 0 && Explain(line, &with);
    m_filter->UseAllowList(false);
    allowed->levelWithout = m_filter->CheckText(line.c_str(), 0);
    const bool decidedWithout = allowed->levelWithout > 0 && Explain(line, &allowed->without);
    m_filter->UseAllowList(true);
    // Unchanged when the same rule decides over the same span either way.
    return decidedWith != decidedWithout || allowed->level != allowed->levelWithout ||
           (decidedWith && (with.row != allowed->without.row || with.kind != allowed->without.kind ||
                            with.start != allowed->without.start || with.end != allowed->without.end));
}

}  // namespace chatsieve::tools
