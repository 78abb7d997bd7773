// The table reader reads the same cells through the package library's reader
// by number as through its rows by name, which is how libraries without the
// export are read.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "../packhold/PackholdTestUtil.h"
#include "load/CTableReader.h"

namespace chatsieve {
namespace {

using packhold::Cell;
using packhold::CellType;

// Rows that leave cells out, and a column the reader asks for that the
// table lacks.
packhold::Package RulesPackage() {
    packhold::Table table;
    table.columns = {{"level", CellType::kInt},
                     {"hzlist", CellType::kIntArray},
                     {"pinyin", CellType::kText},
                     {"code", CellType::kBytes},
                     {"edge", CellType::kInt}};
    table.rows.push_back(
        {Cell::Int(7), Cell::IntArray({200001, 200002}), Cell::Text("ni"), Cell::Bytes({0xC4, 0xE3}), Cell::Int(3)});
    table.rows.push_back({Cell(), Cell::IntArray({}), Cell(), Cell::Bytes({}), Cell()});
    table.rows.push_back({Cell::Int(-1), Cell(), Cell::Text(""), Cell(), Cell::Int(1)});
    packhold::Package package;
    package.tables = {table};
    return package;
}

// What one row reads, every column with every operation.
struct RowCells {
    std::vector<int> ints, arrays, bytes;
    std::vector<std::string> texts;
    bool operator==(const RowCells& other) const {
        return ints == other.ints && arrays == other.arrays && bytes == other.bytes && texts == other.texts;
    }
};

std::vector<RowCells> ReadAll(IPackholdTable* table, PackholdColumnsFn columns) {
    CTableReader reader(table, columns);
    const char* names[] = {"level", "hzlist", "pinyin", "code", "edge", "divide"};
    int numbers[6];
    for (int c = 0; c < 6; ++c) numbers[c] = reader.Column(names[c]);
    std::vector<RowCells> rows;
    for (int r = 0; r < reader.RowCount(); ++r) {
        EXPECT_TRUE(reader.Seek(r));
        RowCells row;
        for (int c : numbers) {
            int value = 99;
            row.ints.push_back(reader.GetInt(c, &value) ? value : -99);
            int ints[256];
            const int count = reader.GetIntArray(c, ints);
            row.arrays.push_back(count);
            for (int i = 0; i < count; ++i) row.arrays.push_back(ints[i]);
            unsigned char bytes[1024];
            const int length = reader.GetBytes(c, bytes);
            row.bytes.push_back(length);
            for (int i = 0; i < length; ++i) row.bytes.push_back(bytes[i]);
            const char* text = reader.GetString(c);
            row.texts.push_back(text ? std::string("=") + text : "null");
        }
        rows.push_back(row);
    }
    return rows;
}

TEST(CTableReader, ReadsByNumberWhatRowsGiveByName) {
    const std::string path = packhold_test::TestFileName(".res");
    packhold_test::WriteBytes(path, packhold_test::Encode(RulesPackage()));
    packhold_test::CRoot root;
    IPackholdFile* file = root->OpenFile(path.c_str(), 0, "wxyz");
    ASSERT_NE(file, nullptr);
    IPackholdTable* table = file->GetTableSet()->GetTable(0);
    const std::vector<RowCells> byNumber = ReadAll(table, &PackholdColumns);
    const std::vector<RowCells> byName = ReadAll(table, nullptr);
    ASSERT_EQ(byNumber.size(), 3u);
    EXPECT_TRUE(byNumber == byName);
    // The cells are there: the first row's level, references and text.
    EXPECT_EQ(byNumber[0].ints[0], 7);
    EXPECT_EQ(byNumber[0].texts[2], "=ni");
    EXPECT_EQ(byNumber[2].texts[2], "=");
    EXPECT_EQ(byNumber[1].ints[0], -99);
    file->Close();
    std::remove(path.c_str());
}

TEST(CTableReader, NamesPastItsRoomReadNothing) {
    CTableReader reader(nullptr, nullptr);
    for (int c = 0; c < CTableReader::kMaxColumns; ++c) EXPECT_EQ(reader.Column("x"), c);
    EXPECT_EQ(reader.Column("y"), -1);
}

}  // namespace
}  // namespace chatsieve
