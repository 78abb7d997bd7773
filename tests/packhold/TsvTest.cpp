// The TSV form of the tools: what it accepts, where it points at mistakes
// (driven by the files in data/bad, each with the message it must give), and
// that formatting then parsing gives back any table.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "PackholdWriter.h"
#include "tools/Tsv.h"

namespace {

using packhold::Cell;
using packhold::CellType;
using packhold::Table;

Table Parse(const std::string& text) {
    Table table;
    packhold::TsvError error;
    EXPECT_TRUE(packhold::ParseTsv(text, &table, &error)) << error.line << ":" << error.column << ": " << error.message;
    return table;
}

TEST(PackholdTsv, ReadsEveryCellForm) {
    const Table table = Parse(
        "n:int\ta:int[]\ts:str\tb:bytes\n"
        "-2147483648\t1,-2,300000\tni\\thao\\n\\\\\\x41\\xc4\\xE3\tB7a0A5\n"
        "2147483647\t\"\"\t\"\"\t\"\"\n"
        "\t\t\t\n"
        "007\t5\t\"\"\"\tab\n");
    ASSERT_EQ(table.columns.size(), 4u);
    EXPECT_EQ(table.columns[1].type, CellType::kIntArray);
    ASSERT_EQ(table.rows.size(), 4u);
    EXPECT_EQ(table.rows[0][0], Cell::Int(INT32_MIN));
    EXPECT_EQ(table.rows[0][1], Cell::IntArray({1, -2, 300000}));
    EXPECT_EQ(table.rows[0][2], Cell::Text("ni\thao\n\\A\xC4\xE3"));
    EXPECT_EQ(table.rows[0][3], Cell::Bytes({0xB7, 0xA0, 0xA5}));
    EXPECT_EQ(table.rows[1][0], Cell::Int(INT32_MAX));
    EXPECT_EQ(table.rows[1][1], Cell::IntArray({}));
    EXPECT_EQ(table.rows[1][2], Cell::Text(""));
    EXPECT_EQ(table.rows[1][3], Cell::Bytes({}));
    for (const Cell& cell : table.rows[2]) EXPECT_FALSE(cell.IsPresent());
    EXPECT_EQ(table.rows[3][0], Cell::Int(7));
    EXPECT_EQ(table.rows[3][2], Cell::Text("\"\"\""));  // only an exact "" is the empty mark
}

TEST(PackholdTsv, LineEndings) {
    // CRLF files, a last line without newline, and the one-column table in
    // which an empty line is a row without its cell.
    const Table crlf = Parse("a:int\tb:str\r\n1\tx\r\n2\ty");
    ASSERT_EQ(crlf.rows.size(), 2u);
    EXPECT_EQ(crlf.rows[0][1], Cell::Text("x"));
    EXPECT_EQ(crlf.rows[1][1], Cell::Text("y"));

    const Table single = Parse("a:int\n\n5\n\n");
    ASSERT_EQ(single.rows.size(), 3u);
    EXPECT_FALSE(single.rows[0][0].IsPresent());
    EXPECT_EQ(single.rows[1][0], Cell::Int(5));
    EXPECT_FALSE(single.rows[2][0].IsPresent());

    EXPECT_TRUE(Parse("a:int\n").rows.empty());
}

TEST(PackholdTsv, FormatThenParseGivesTheTableBack) {
    std::string everyByte;
    for (int c = 1; c < 256; ++c) everyByte.push_back(static_cast<char>(c));
    Table table;
    table.columns = {
        {"s", CellType::kText}, {"b", CellType::kBytes}, {"a", CellType::kIntArray}, {"n", CellType::kInt}};
    table.rows = {
        {Cell::Text(everyByte), Cell::Bytes({0x00, 0xFF, 0x0A}), Cell::IntArray({INT32_MIN, 0, INT32_MAX}),
         Cell::Int(-1)},
        {Cell::Text("\"\""), Cell::Bytes({}), Cell::IntArray({}), Cell()},
        {Cell::Text(""), Cell(), Cell(), Cell::Int(0)},
        {Cell::Text("trailing CR\r"), Cell(), Cell(), Cell()},
        {Cell(), Cell(), Cell(), Cell()},
    };
    const std::string text = packhold::FormatTsv(table);
    EXPECT_TRUE(Parse(text) == table) << text;

    Table single;
    single.columns = {{"x", CellType::kText}};
    single.rows = {{Cell()}, {Cell::Text("a")}, {Cell()}};
    EXPECT_TRUE(Parse(packhold::FormatTsv(single)) == single);
}

// ---- bad inputs: data/bad/NAME.tsv must fail with data/bad/NAME.expected

std::vector<std::string> BadInputs() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(PACKHOLD_TEST_DATA "/bad")) {
        if (entry.path().extension() == ".tsv") names.push_back(entry.path().stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class PackholdTsvBadInput : public testing::TestWithParam<std::string> {};

TEST_P(PackholdTsvBadInput, FailsWithItsMessage) {
    const std::string base = std::string(PACKHOLD_TEST_DATA "/bad/") + GetParam();
    std::string expected = ReadText(base + ".expected");
    while (!expected.empty() && (expected.back() == '\n' || expected.back() == '\r')) expected.pop_back();
    ASSERT_FALSE(expected.empty()) << "missing " << base << ".expected";

    Table table;
    packhold::TsvError error;
    ASSERT_FALSE(packhold::ParseTsv(ReadText(base + ".tsv"), &table, &error));
    EXPECT_EQ(std::to_string(error.line) + ":" + std::to_string(error.column) + ": " + error.message, expected);
}

INSTANTIATE_TEST_SUITE_P(Files, PackholdTsvBadInput, testing::ValuesIn(BadInputs()),
                         [](const testing::TestParamInfo<std::string>& param) {
                             std::string name = param.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
