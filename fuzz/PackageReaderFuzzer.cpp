// The package reader on arbitrary files: OpenFile, then every table, row and
// cell through the library's interface, and every cell through the index.
// The checksum, size and key fields are set to match the input, so that
// mutations reach the structure instead of all dying at the integrity check.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "Packhold.h"
#include "format/CPackageIndex.h"
#include "format/PackFormat.h"
#include "format/RulePackage.h"

namespace {

using namespace chatsieve;

// The rule package's columns, and a name no table has.
const char* const kColumns[] = {kCodeColumn,  kLogColumn,  kPinyinColumn, kSplitColumn,
                                kLevelColumn, kRefsColumn, kIdColumn,     ""};

void WalkRow(IPackholdRow* row) {
    int ints[packhold::kMaxCellBytes / 4];
    unsigned char bytes[packhold::kMaxCellBytes];
    for (const char* column : kColumns) {
        if (const char* text = row->GetString(column)) (void)std::string(text);
        int value = 0;
        row->GetInt(column, &value, 0);
        row->GetIntArray(column, ints, 0);
        row->GetBytes(column, bytes, 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<unsigned char> image(data, data + size);
    if (image.size() >= packhold::format::kHeaderBytes) {
        using namespace packhold::format;
        StoreU64(image.data() + kOffKeyTag, KeyTag("wxyz", 4));
        StoreU32(image.data() + kOffFileBytes, static_cast<std::uint32_t>(image.size()));
        StoreU32(image.data() + kOffChecksum, Crc32(image.data() + kChecksumStart, image.size() - kChecksumStart));
    }

    packhold::CPackageIndex index;
    if (index.Build(image.data(), image.size(), "wxyz")) {
        unsigned sum = 0;
        for (std::uint32_t t = 0; t < index.TableCount(); ++t) {
            const packhold::IndexTable& table = index.Table(t);
            for (std::uint32_t r = 0; r < table.rowCount; ++r) {
                const packhold::IndexRow& row = index.Row(table.firstRow + r);
                for (std::uint32_t c = 0; c < row.cellCount; ++c) {
                    const packhold::IndexCell& cell = index.Cell(row.firstCell + c);
                    const std::size_t width =
                        index.Column(table.firstColumn + cell.column).type == packhold::format::kTypeText ||
                                index.Column(table.firstColumn + cell.column).type == packhold::format::kTypeBytes
                            ? 1
                            : 4;
                    for (std::size_t i = 0; i < cell.count * width; ++i) sum += index.Image()[cell.dataOffset + i];
                }
            }
        }
        (void)sum;
    }

    static const std::string path = "fuzz-package-" + std::to_string(getpid()) + ".res";
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(image.data(), 1, image.size(), file);
        std::fclose(file);
    }
    IPackhold* root = nullptr;
    if (!CreatePackhold(packhold::kInterfaceVersion, 0, &root) || !root) return 0;
    if (IPackholdFile* file = root->OpenFile(path.c_str(), 0, "wxyz")) {
        if (IPackholdTableSet* tables = file->GetTableSet()) {
            for (int t = 0; IPackholdTable* table = tables->GetTable(t); ++t)
                for (int r = 0; r < table->GetRowCount(); ++r)
                    if (IPackholdRow* row = table->GetRow(r)) WalkRow(row);
        }
        file->Close();
    }
    root->Release();
    // The file is only the way into the reader; none is left behind.
    std::remove(path.c_str());
    return 0;
}
