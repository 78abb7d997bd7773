// The writer: what it refuses (so that no package it writes can be refused
// by the reader or overrun a caller's buffer), and that decoding gives back
// what was encoded, byte-identically when encoded again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PackholdTestUtil.h"
#include "PackholdWriter.h"

namespace {

using packhold::Cell;
using packhold::CellType;
using packhold::Column;
using packhold::CPackageWriter;
using packhold::Package;
using packhold::Table;

TEST(PackholdWriter, RefusesBadColumns) {
    const std::vector<std::vector<Column>> bad = {
        {},
        {{"", CellType::kInt}},
        {{"a:b", CellType::kInt}},
        {{"two words", CellType::kInt}},
        {{"tab\there", CellType::kInt}},
        {{std::string(256, 'n'), CellType::kInt}},
        {{"\xC4\xE3", CellType::kInt}},
        {{"same", CellType::kInt}, {"same", CellType::kText}},
        {{"typeless", static_cast<CellType>(0)}},
    };
    for (const std::vector<Column>& columns : bad) {
        CPackageWriter writer;
        std::string error;
        EXPECT_EQ(writer.AddTable(columns, &error), -1) << (columns.empty() ? "" : columns[0].name);
        EXPECT_FALSE(error.empty());
    }
    CPackageWriter writer;
    std::string error;
    EXPECT_EQ(writer.AddTable({{std::string(255, 'n'), CellType::kInt}, {"a.b-c_D9", CellType::kBytes}}, &error), 0)
        << error;
}

TEST(PackholdWriter, RefusesCellsTheReaderCouldNotHandOut) {
    CPackageWriter writer;
    std::string error;
    const int table = writer.AddTable(
        {{"n", CellType::kInt}, {"a", CellType::kIntArray}, {"s", CellType::kText}, {"b", CellType::kBytes}}, &error);
    ASSERT_EQ(table, 0) << error;
    const std::vector<std::vector<Cell>> bad = {
        {Cell::Text("1"), Cell(), Cell(), Cell()},                                 // wrong type
        {Cell(), Cell::IntArray(std::vector<std::int32_t>(257)), Cell(), Cell()},  // too many ints
        {Cell(), Cell(), Cell::Text(std::string("a\0b", 3)), Cell()},              // NUL in a text
        {Cell(), Cell(), Cell(), Cell::Bytes(std::vector<unsigned char>(1025))},   // too many bytes
        {Cell(), Cell(), Cell()},                                                  // a cell short
        {Cell(), Cell(), Cell(), Cell(), Cell()},                                  // a cell over
    };
    for (std::size_t i = 0; i < bad.size(); ++i) {
        error.clear();
        EXPECT_FALSE(writer.AddRow(table, bad[i], &error)) << i;
        EXPECT_FALSE(error.empty()) << i;
    }
    EXPECT_FALSE(writer.AddRow(1, {Cell()}, &error));
    EXPECT_TRUE(writer.AddRow(table,
                              {Cell(), Cell::IntArray(std::vector<std::int32_t>(256)), Cell::Text(""),
                               Cell::Bytes(std::vector<unsigned char>(1024))},
                              &error))
        << error;
    EXPECT_EQ(writer.GetPackage().tables[0].rows.size(), 1u);
}

TEST(PackholdWriter, RefusesTablesWithoutTableSetAndKeysWithNul) {
    CPackageWriter writer;
    std::string error;
    writer.SetTableSet(false);
    EXPECT_EQ(writer.AddTable({{"a", CellType::kInt}}, &error), -1);

    Package package;
    package.hasTableSet = false;
    package.tables.resize(1);
    package.tables[0].columns = {{"a", CellType::kInt}};
    std::vector<unsigned char> bytes = {1, 2, 3};
    EXPECT_FALSE(packhold::EncodePackage(package, "wxyz", &bytes, &error));
    EXPECT_TRUE(bytes.empty());

    package.hasTableSet = true;
    EXPECT_FALSE(packhold::EncodePackage(package, std::string("wx\0z", 4), &bytes, &error));
    EXPECT_TRUE(packhold::EncodePackage(package, "wxyz", &bytes, &error)) << error;
}

TEST(PackholdWriter, DecodeGivesBackWhatWasEncoded) {
    CPackageWriter writer("k3y");
    std::string error;
    ASSERT_EQ(writer.AddTable({{"code", CellType::kIntArray}, {"iscopy", CellType::kInt}}, &error), 0);
    ASSERT_EQ(
        writer.AddTable({{"pinyin", CellType::kText}, {"code", CellType::kBytes}, {"divide", CellType::kText}}, &error),
        1);
    ASSERT_TRUE(writer.AddRow(0, {Cell::IntArray({32, 47, -1, 0xA1, 0xA1, 0xFE}), Cell::Int(0)}, &error));
    ASSERT_TRUE(writer.AddRow(1, {Cell::Text("ni"), Cell::Bytes({0xC4, 0xE3}), Cell()}, &error));
    ASSERT_TRUE(
        writer.AddRow(1, {Cell::Text("hao"), Cell::Bytes({0xBA, 0xC3}), Cell::Text("\xC5\xAE\xD7\xD3")}, &error));
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(writer.WriteToBytes(&bytes, &error)) << error;

    Package decoded;
    ASSERT_TRUE(packhold::DecodePackage(bytes.data(), bytes.size(), "k3y", &decoded, &error)) << error;
    EXPECT_TRUE(decoded == writer.GetPackage());
    std::vector<unsigned char> again;
    ASSERT_TRUE(packhold::EncodePackage(decoded, "k3y", &again, &error));
    EXPECT_EQ(again, bytes);

    EXPECT_FALSE(packhold::DecodePackage(bytes.data(), bytes.size(), "wxyz", &decoded, &error));
    EXPECT_NE(error.find("another key"), std::string::npos) << error;
    EXPECT_FALSE(packhold::DecodePackage(bytes.data(), bytes.size() - 1, "k3y", &decoded, &error));
    EXPECT_FALSE(packhold::DecodePackage(nullptr, 0, "k3y", &decoded, &error));
}

TEST(PackholdWriter, WritesFilesWholeOrNotAtAll) {
    const std::string path = packhold_test::TestFileName(".res");
    CPackageWriter writer;
    std::string error;
    ASSERT_TRUE(writer.WriteToFile(path, &error)) << error;
    std::vector<unsigned char> expected;
    ASSERT_TRUE(writer.WriteToBytes(&expected, &error));
    EXPECT_EQ(packhold_test::ReadBytes(path), expected);
    // Replacing an existing file works too.
    ASSERT_EQ(writer.AddTable({{"a", CellType::kInt}}, &error), 0);
    ASSERT_TRUE(writer.WriteToFile(path, &error)) << error;
    ASSERT_TRUE(writer.WriteToBytes(&expected, &error));
    EXPECT_EQ(packhold_test::ReadBytes(path), expected);
    std::remove(path.c_str());

    EXPECT_FALSE(writer.WriteToFile("no-such-folder/x.res", &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
