#include "FuzzPackage.h"

#include <filesystem>

#include "format/RulePackage.h"

namespace chatsieve::fuzz {

namespace {

using packhold::Cell;
using packhold::CellType;

// Mostly the cell the loader wants, sometimes (unless strict) none or one of
// another type.
template <class Make>
Cell Maybe(FuzzedDataProvider& in, bool strict, Make make) {
    switch (strict ? 2 : in.ConsumeIntegralInRange(0, 15)) {
        case 0:
            return Cell();
        case 1:
            return Cell::Text("x");
        default:
            return make();
    }
}

std::vector<int> Ints(FuzzedDataProvider& in, int most, int low, int high) {
    std::vector<int> values(in.ConsumeIntegralInRange(0, most));
    for (int& v : values) v = in.ConsumeIntegralInRange(low, high);
    return values;
}

// A RuleRef: usually a row that exists, sometimes anything.
int Ref(FuzzedDataProvider& in, bool strict, int syllables, int phrases) {
    switch (in.ConsumeIntegralInRange(strict ? 1 : 0, 7)) {
        case 0:
            return in.ConsumeIntegral<int>();
        case 1:
            return 300001 + in.ConsumeIntegralInRange(0, strict ? phrases - 1 : phrases);
        default:
            return 200001 + in.ConsumeIntegralInRange(0, strict ? syllables - 1 : syllables);
    }
}

}  // namespace

packhold::Package MakePackage(FuzzedDataProvider& in, bool strict) {
    packhold::Package package;
    package.hasTableSet = strict || in.ConsumeIntegralInRange(0, 31) != 0;
    const int tableCount = !strict && in.ConsumeIntegralInRange(0, 15) == 0 ? in.ConsumeIntegralInRange(0, 5) : 4;
    package.tables.resize(static_cast<std::size_t>(tableCount));
    const char* const columns[4][3] = {{kCodeColumn, kLogColumn, nullptr},
                                       {kPinyinColumn, kCodeColumn, kSplitColumn},
                                       {kLevelColumn, kRefsColumn, nullptr},
                                       {kLevelColumn, kRefsColumn, nullptr}};
    const CellType types[4][3] = {{CellType::kIntArray, CellType::kInt},
                                  {CellType::kText, CellType::kBytes, CellType::kText},
                                  {CellType::kInt, CellType::kIntArray},
                                  {CellType::kInt, CellType::kIntArray}};
    const int syllables = in.ConsumeIntegralInRange(strict ? 1 : 0, 6);
    const int phrases = in.ConsumeIntegralInRange(strict ? 1 : 0, 6);
    const int rowsOf[4] = {in.ConsumeIntegralInRange(strict ? 1 : 0, 2), syllables, phrases,
                           in.ConsumeIntegralInRange(0, 4)};
    for (int t = 0; t < tableCount && t < 4; ++t) {
        packhold::Table& table = package.tables[static_cast<std::size_t>(t)];
        for (int c = 0; c < 3 && columns[t][c]; ++c) table.columns.push_back({columns[t][c], types[t][c]});
        for (int r = 0; r < rowsOf[t]; ++r) {
            std::vector<Cell> row;
            if (t == 0) {
                std::vector<int> values = Ints(in, 12, 0, 260);
                if (strict) {
                    // s single-byte pairs, -1, d two-byte triples.
                    const std::size_t singles = 2 * in.ConsumeIntegralInRange<std::size_t>(0, values.size() / 2);
                    values.resize(singles + (values.size() - singles) / 3 * 3);
                    values.insert(values.begin() + static_cast<std::ptrdiff_t>(singles), -1);
                } else {
                    values.insert(values.begin() + in.ConsumeIntegralInRange<std::ptrdiff_t>(0, values.size()), -1);
                }
                row.push_back(Maybe(in, strict, [&] { return Cell::IntArray(values); }));
                row.push_back(Maybe(in, strict, [&] { return Cell::Int(in.ConsumeIntegralInRange(0, 1)); }));
            } else if (t == 1) {
                row.push_back(Maybe(in, strict, [&] { return Cell::Text(in.ConsumeRandomLengthString(6)); }));
                row.push_back(Maybe(in, strict, [&] {
                    std::vector<unsigned char> codes =
                        in.ConsumeBytes<unsigned char>(in.ConsumeIntegralInRange(strict ? 3 : 0, strict ? 9 : 12));
                    return Cell::Bytes(codes);
                }));
                row.push_back(in.ConsumeBool() ? Cell() : Cell::Text(in.ConsumeRandomLengthString(6)));
            } else {
                row.push_back(
                    Maybe(in, strict, [&] { return Cell::Int(in.ConsumeIntegralInRange(strict ? 0 : -2, 70)); }));
                std::vector<int> refs(in.ConsumeIntegralInRange(strict ? 1 : 0, t == 2 ? 4 : 3));
                for (int& ref : refs) ref = Ref(in, strict, syllables, phrases);
                row.push_back(Maybe(in, strict, [&] { return Cell::IntArray(refs); }));
            }
            table.rows.push_back(row);
        }
    }
    // Last, so that inputs made before it read the same: sometimes the
    // written mode's tables, with edges on the phrase rows and the fold table
    // after an empty allow table.
    if (package.tables.size() == 4 && in.ConsumeBool()) {
        packhold::Table& phraseTable = package.tables[kPhraseTable];
        phraseTable.columns.push_back({kEdgeColumn, CellType::kInt});
        for (std::vector<Cell>& row : phraseTable.rows) {
            while (row.size() + 1 < phraseTable.columns.size()) row.push_back(Cell());
            const int edges = in.ConsumeIntegralInRange(0, 3);
            row.push_back(edges ? Cell::Int(edges) : Cell());
        }
        package.tables.emplace_back();
        package.tables[kAllowTable].columns = {{kAllowColumn, CellType::kText},
                                               {kAllowRulesColumn, CellType::kIntArray}};
        packhold::Table fold;
        fold.columns = {{kFoldColumn, CellType::kBytes}, {kFoldToColumn, CellType::kInt}};
        const unsigned char ranges[3][3] = {{0xA3, 0xB0, 0xB9}, {0xA3, 0xC1, 0xDA}, {0xA3, 0xE1, 0xFA}};
        for (const auto& range : ranges)
            if (!strict || in.ConsumeBool())
                fold.rows.push_back({Cell::Bytes({range[0], range[1], range[2]}), Cell::Int(range[1] - 0x80)});
        package.tables.push_back(fold);
    }
    if (!package.hasTableSet) package.tables.clear();
    return package;
}

bool WritePackage(const packhold::Package& package) {
    std::vector<unsigned char> bytes;
    if (!packhold::EncodePackage(package, packhold::kDefaultKey, &bytes, nullptr)) return false;
    std::filesystem::create_directories("Data/Scp");
    return packhold::WriteFileAtomically("Data/Scp/Chatsieve.res", bytes, nullptr);
}

}  // namespace chatsieve::fuzz
