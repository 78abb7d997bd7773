#include "compiler/AllowTable.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <unordered_map>
#include <utility>

#include "compiler/CAuthoringTable.h"
#include "compiler/CCodePage936.h"
#include "format/RulePackage.h"
#include "platform/AsciiText.h"

namespace chatsieve::tools {

namespace {

using packhold::Cell;
using packhold::CellType;

void AddError(std::vector<Diagnostic>* diagnostics, const SourcePos& pos, std::string message) {
    diagnostics->push_back(Diagnostic{Diagnostic::Severity::kError, pos, std::move(message), {}});
}

// The rules that have ids, by id: an expression names rules by id, and
// looking each one up through every rule made reading quadratic.
std::unordered_map<std::string, RuleRefSource> RulesById(const RuleSetSource& rules) {
    std::unordered_map<std::string, RuleRefSource> ids;
    for (int t = 0; t < 2; ++t) {
        const std::vector<RuleSource>& table = t == 0 ? rules.phrases : rules.combos;
        for (std::size_t i = 0; i < table.size(); ++i)
            if (!table[i].id.empty()) ids.emplace(table[i].id, RuleRefSource{t == 1, static_cast<int>(i)});
    }
    return ids;
}

}  // namespace

void ReadAllowTable(const std::string& folder, RuleSetSource* rules, std::vector<Diagnostic>* diagnostics) {
    const std::string path = folder.empty() ? kAllowFile : (folder.back() == '/' ? folder : folder + "/") + kAllowFile;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return;
    CAuthoringTable table(path, {"allow", "rules", "note"});
    if (!table.Load(path, diagnostics)) return;
    const std::unordered_map<std::string, RuleRefSource> ids = RulesById(*rules);
    for (const AuthoringRow& row : table.Rows()) {
        AllowSource allow;
        allow.pos = row.pos;
        allow.text = row.fields[0].text;
        allow.textPos = row.fields[0].pos;
        allow.rulesPos = row.fields[1].pos;
        allow.note = row.fields[2].text;
        bool ok = true;
        TextError error;
        if (allow.text.empty()) {
            AddError(diagnostics, allow.textPos, "an allowed expression cannot be empty");
            ok = false;
        } else if (!CCodePage936::Instance().FromUtf8(allow.text, &allow.bytes, &error)) {
            SourcePos pos = allow.textPos;
            pos.column += error.column - 1;
            AddError(diagnostics, pos, "allowed expression: " + error.message);
            ok = false;
        } else if (allow.bytes.size() > kMaxAllowBytes) {
            AddError(diagnostics, allow.textPos,
                     "an allowed expression holds at most " + std::to_string(kMaxAllowBytes) +
                         " bytes in code page 936; this one has " + std::to_string(allow.bytes.size()));
            ok = false;
        }
        const std::string& names = row.fields[1].text;
        int referenceCount = 0;
        for (std::size_t i = 0; i < names.size();) {
            if (names[i] == ' ') {
                ++i;
                continue;
            }
            const std::size_t end = std::min(names.find(' ', i), names.size());
            const std::string id = names.substr(i, end - i);
            SourcePos pos = allow.rulesPos;
            pos.column += CountCharacters(names, i);
            const auto found = ids.find(id);
            const RuleRefSource ref = found == ids.end() ? RuleRefSource() : found->second;
            const RuleSource* rule =
                found == ids.end()
                    ? nullptr
                    : &(ref.isCombo ? rules->combos : rules->phrases)[static_cast<std::size_t>(ref.index)];
            if (!rule) {
                AddError(diagnostics, pos, "no phrase or combination has the id '" + id + "'");
                ok = false;
            } else if (!ref.isCombo && rule->level == 0) {
                AddError(diagnostics, pos,
                         "'" + id +
                             "' is a phrase of level 0, which is never checked on its own; name the "
                             "combinations that use it");
                ok = false;
            } else if (referenceCount + RowCount(*rule, ref.isCombo, *rules) > 256) {
                AddError(diagnostics, pos,
                         "an allowed expression names at most 256 rule rows (each rule compiles to two or three)");
                ok = false;
            } else {
                referenceCount += RowCount(*rule, ref.isCombo, *rules);
                allow.rules.push_back(ref);
            }
            i = end;
        }
        if (ok) rules->allow.push_back(allow);
    }
}

namespace {

// Where the filter folds full-width letters and digits before the allowed
// expressions are looked for, an expression written with them must be
// folded too, or it would never be found.
std::string FoldedForFilter(const RuleSetSource& rules, const std::string& bytes) {
    if (!FoldsFullWidth(rules)) return bytes;
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead >= 0x81 && lead <= 0xFE && i + 1 < bytes.size()) {
            const auto trail = static_cast<unsigned char>(bytes[i + 1]);
            const bool folds = lead == 0xA3 && ((trail >= 0xB0 && trail <= 0xB9) || (trail >= 0xC1 && trail <= 0xDA) ||
                                                (trail >= 0xE1 && trail <= 0xFA));
            if (folds)
                out += static_cast<char>(trail - 0x80);
            else
                out += bytes.substr(i, 2);
            ++i;
            continue;
        }
        out += bytes[i];
    }
    return out;
}

}  // namespace

std::string StripLikeALine(const std::string& text, const RuleSetSource& rules) {
    std::string kept;
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const std::size_t n = GbkStepWithin(text.data(), i, text.size());
        bool strip = false;
        for (const IgnoreSetSource& set : rules.ignoreSets) {
            if (n == 1)
                for (const ByteRange& r : set.singles) strip = strip || (b >= r.low && b <= r.high);
            else
                for (const CodeRange& r : set.doubles) {
                    const auto t = static_cast<unsigned char>(text[i + 1]);
                    strip = strip || (b == r.lead && t >= r.low && t <= r.high);
                }
        }
        if (!strip) kept.append(text, i, n);
        i += n;
    }
    return kept;
}

void FoldDuplicateAllowed(RuleSetSource* rules) {
    // The filter would hold each copy and record a hit for each at every
    // occurrence; one row does the same work.
    std::map<std::pair<std::string, std::vector<std::pair<bool, int>>>, int> first;
    for (std::size_t a = 0; a < rules->allow.size(); ++a) {
        AllowSource& allow = rules->allow[a];
        std::vector<std::pair<bool, int>> covered;
        for (const RuleRefSource& ref : allow.rules) covered.emplace_back(ref.isCombo, ref.index);
        std::sort(covered.begin(), covered.end());
        covered.erase(std::unique(covered.begin(), covered.end()), covered.end());
        const auto found = first.emplace(
            std::make_pair(FoldedForFilter(*rules, StripLikeALine(allow.bytes, *rules)), covered), static_cast<int>(a));
        if (!found.second) allow.duplicateOf = found.first->second;
    }
}

std::vector<packhold::Column> AllowTableColumns() {
    return {{kAllowColumn, CellType::kText},
            {kAllowRulesColumn, CellType::kIntArray},
            {kNoteColumn, CellType::kText},
            {kLineColumn, CellType::kInt}};
}

void AddAllowTable(const RuleSetSource& rules, const PackageRows& rows, packhold::Package* package) {
    if (rules.allow.empty()) return;
    packhold::Table table;
    // "line" says where each expression was written, for the tools; the
    // filter reads the first three columns only.
    table.columns = AllowTableColumns();
    for (const AllowSource& allow : rules.allow) {
        if (allow.duplicateOf >= 0) continue;
        std::vector<std::int32_t> refs;
        for (const RuleRefSource& ref : allow.rules)
            for (int row : (ref.isCombo ? rows.comboRows : rows.phraseRows)[static_cast<std::size_t>(ref.index)])
                refs.push_back(EncodeRuleRef(ref.isCombo ? kComboKind : kPhraseKind, row));
        table.rows.push_back(
            {Cell::Text(FoldedForFilter(rules, allow.bytes)), refs.empty() ? Cell() : Cell::IntArray(refs),
             allow.note.empty() ? Cell() : Cell::Text(allow.note), allow.english ? Cell() : Cell::Int(allow.pos.line)});
    }
    package->tables.push_back(std::move(table));
}

bool DecompileAllowTable(const packhold::Package& package, const std::vector<std::string>& phraseIds,
                         const std::vector<std::string>& comboIds, const std::vector<bool> (&repeats)[2],
                         std::string* text, std::vector<std::string>* notes, std::string* error) {
    text->clear();
    if (package.tables.size() <= kAllowTable) return true;
    const packhold::Table& table = package.tables[kAllowTable];
    int columns[4] = {-1, -1, -1, -1};
    const std::vector<packhold::Column> wanted = AllowTableColumns();
    for (std::size_t c = 0; c < table.columns.size(); ++c)
        for (std::size_t w = 0; w < wanted.size(); ++w)
            if (table.columns[c].name == wanted[w].name && table.columns[c].type == wanted[w].type)
                columns[w] = static_cast<int>(c);
    // The filter reads the table only when its first row has an expression.
    if (columns[0] < 0 || table.rows.empty() || !table.rows[0][static_cast<std::size_t>(columns[0])].IsPresent()) {
        if (!table.rows.empty()) notes->push_back("table 5 is not a table of allowed expressions and was left out");
        return true;
    }
    const CCodePage936& codePage = CCodePage936::Instance();
    // Each expression goes back on its line, as the rules do. A row without
    // a line, in a table that has the column, is one the compiler added for
    // an English word and adds again.
    const auto lineOf = [&](std::size_t r) {
        return columns[3] < 0 ? 0 : table.rows[r][static_cast<std::size_t>(columns[3])].IntValue();
    };
    std::vector<std::size_t> written;
    for (std::size_t r = 0; r < table.rows.size(); ++r)
        if (columns[3] < 0 || table.rows[r][static_cast<std::size_t>(columns[3])].IsPresent()) written.push_back(r);
    if (written.empty()) return true;
    *text = lineOf(written[0]) == 2 ? "" : "# Decompiled by chatsieve decompile; see docs/rules.md for the format.\n";
    *text += "allow\trules\tnote\n";
    int nextLine = lineOf(written[0]) == 2 ? 2 : 3;
    for (const std::size_t r : written) {
        const std::vector<Cell>& row = table.rows[r];
        const int line = lineOf(r);
        if (line > nextLine && line - nextLine <= kMaxLineGap) {
            text->append(static_cast<std::size_t>(line - nextLine), '\n');
            nextLine = line;
        }
        ++nextLine;
        const std::string where = std::string(kAllowFile) + " row " + std::to_string(r + 1);
        const Cell& expression = row[static_cast<std::size_t>(columns[0])];
        std::string utf8, note;
        TextError failure;
        if (!expression.IsPresent() || expression.TextValue().empty() ||
            expression.TextValue().size() > kMaxAllowBytes ||
            !codePage.ToUtf8(expression.TextValue(), &utf8, &failure)) {
            *error = where + ": the filter would refuse this allowed expression";
            return false;
        }
        std::string names;
        if (columns[1] >= 0) {
            for (std::int32_t ref : row[static_cast<std::size_t>(columns[1])].IntArrayValue()) {
                const RefEntry named = DecodeRuleRef(ref);
                const int kind = named.kind, index = named.index;
                const std::vector<std::string>* ids = kind == kPhraseKind  ? &phraseIds
                                                      : kind == kComboKind ? &comboIds
                                                                           : nullptr;
                if (!ids || index < 0 || static_cast<std::size_t>(index) >= ids->size() ||
                    (*ids)[static_cast<std::size_t>(index)].empty()) {
                    *error = where + ": the reference " + std::to_string(ref) + " names no rule with an id";
                    return false;
                }
                const std::vector<bool>& repeated = repeats[kind == kPhraseKind ? 0 : 1];
                if (static_cast<std::size_t>(index) < repeated.size() && repeated[static_cast<std::size_t>(index)])
                    continue;
                names += (names.empty() ? "" : " ") + (*ids)[static_cast<std::size_t>(index)];
            }
        }
        // Notes are for people only and kept as written, in UTF-8.
        if (columns[2] >= 0) note = row[static_cast<std::size_t>(columns[2])].TextValue();
        for (std::string* field : {&utf8, &note})
            for (char& c : *field)
                if (c == '\t' || c == '\n' || c == '\r') c = ' ';
        *text += utf8 + "\t" + names + "\t" + note + "\n";
    }
    return true;
}

}  // namespace chatsieve::tools
