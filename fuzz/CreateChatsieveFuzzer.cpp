// CreateChatsieve on arbitrary rule tables, then FilterText on a few lines
// and Uninit. The input is read as a description of the four tables and packed
// with the package writer, so that structurally valid packages reach the
// loader instead of every input dying at the package's integrity check.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Chatsieve.h"
#include "FuzzSupport.h"
#include "PackholdWriter.h"
#include "matchers/ProcessLists.h"

namespace {

using packhold::Cell;
using packhold::CellType;

// Mostly the cell the loader wants, sometimes none or one of another type.
template <class Make>
Cell Maybe(FuzzedDataProvider& in, Make make) {
    switch (in.ConsumeIntegralInRange(0, 15)) {
        case 0: return Cell();
        case 1: return Cell::Text("x");
        default: return make();
    }
}

std::vector<int> Ints(FuzzedDataProvider& in, int most, int low, int high) {
    std::vector<int> values(in.ConsumeIntegralInRange(0, most));
    for (int& v : values) v = in.ConsumeIntegralInRange(low, high);
    return values;
}

// A RuleRef: usually a row that exists, sometimes anything.
int Ref(FuzzedDataProvider& in, int syllables, int phrases) {
    switch (in.ConsumeIntegralInRange(0, 7)) {
        case 0: return in.ConsumeIntegral<int>();
        case 1: return 300001 + in.ConsumeIntegralInRange(0, phrases);
        default: return 200001 + in.ConsumeIntegralInRange(0, syllables);
    }
}

packhold::Package MakePackage(FuzzedDataProvider& in) {
    packhold::Package package;
    package.hasTableSet = in.ConsumeIntegralInRange(0, 31) != 0;
    const int tableCount = in.ConsumeIntegralInRange(0, 15) == 0 ? in.ConsumeIntegralInRange(0, 5) : 4;
    package.tables.resize(static_cast<std::size_t>(tableCount));
    const char* const columns[4][3] = {
        {"code", "iscopy", nullptr}, {"pinyin", "code", "divide"}, {"level", "hzlist", nullptr}, {"level", "hzlist", nullptr}};
    const CellType types[4][3] = {{CellType::kIntArray, CellType::kInt},
                                  {CellType::kText, CellType::kBytes, CellType::kText},
                                  {CellType::kInt, CellType::kIntArray},
                                  {CellType::kInt, CellType::kIntArray}};
    const int syllables = in.ConsumeIntegralInRange(0, 6);
    const int phrases = in.ConsumeIntegralInRange(0, 6);
    const int rowsOf[4] = {in.ConsumeIntegralInRange(0, 2), syllables, phrases, in.ConsumeIntegralInRange(0, 4)};
    for (int t = 0; t < tableCount && t < 4; ++t) {
        packhold::Table& table = package.tables[static_cast<std::size_t>(t)];
        for (int c = 0; c < 3 && columns[t][c]; ++c) table.columns.push_back({columns[t][c], types[t][c]});
        for (int r = 0; r < rowsOf[t]; ++r) {
            std::vector<Cell> row;
            if (t == 0) {
                std::vector<int> values = Ints(in, 12, 0, 260);
                values.insert(values.begin() + in.ConsumeIntegralInRange<std::ptrdiff_t>(0, values.size()), -1);
                row.push_back(Maybe(in, [&] { return Cell::IntArray(values); }));
                row.push_back(Maybe(in, [&] { return Cell::Int(in.ConsumeIntegralInRange(0, 1)); }));
            } else if (t == 1) {
                row.push_back(Maybe(in, [&] { return Cell::Text(in.ConsumeRandomLengthString(6)); }));
                row.push_back(Maybe(in, [&] {
                    std::vector<unsigned char> codes = in.ConsumeBytes<unsigned char>(in.ConsumeIntegralInRange(0, 12));
                    return Cell::Bytes(codes);
                }));
                row.push_back(in.ConsumeBool() ? Cell() : Cell::Text(in.ConsumeRandomLengthString(6)));
            } else {
                row.push_back(Maybe(in, [&] { return Cell::Int(in.ConsumeIntegralInRange(-2, 70)); }));
                std::vector<int> refs(in.ConsumeIntegralInRange(0, t == 2 ? 4 : 3));
                for (int& ref : refs) ref = Ref(in, syllables, phrases);
                row.push_back(Maybe(in, [&] { return Cell::IntArray(refs); }));
            }
            table.rows.push_back(row);
        }
    }
    if (!package.hasTableSet) package.tables.clear();
    return package;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char*** argv) {
    // The package library lies beside the fuzzer; work in a folder of our own.
    const auto folder = std::filesystem::absolute((*argv)[0]).parent_path() / "fuzz-create";
    std::filesystem::create_directories(folder / "Data" / "Scp");
    chatsieve::fuzz::HoldPackageLibrary();
    std::filesystem::current_path(folder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    packhold::Package package = MakePackage(in);
    std::vector<unsigned char> bytes;
    if (!packhold::EncodePackage(package, "wxyz", &bytes, nullptr)) return 0;
    if (!packhold::WriteFileAtomically("Data/Scp/Chatsieve.res", bytes, nullptr)) std::abort();

    IChatsieve* filter = nullptr;
    if (!CreateChatsieve(&filter)) {
        // A failed creation leaves nothing behind for the next one.
        if (!chatsieve::g_syllables.Empty() || !chatsieve::g_phrases.Empty() || !chatsieve::g_combos.Empty())
            std::abort();
        return 0;
    }
    char out[128];
    for (int i = 0; i < 3; ++i) {
        const std::string line = in.ConsumeRandomLengthString(100);
        const int level = filter->FilterText(line.c_str(), out, sizeof out - 1, in.ConsumeIntegralInRange(0, 3));
        if (level < 0) std::abort();
    }
    filter->Uninit();
    if (!chatsieve::g_syllables.Empty() || !chatsieve::g_positionMap.Empty()) std::abort();
    return 0;
}
