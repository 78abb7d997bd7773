// The package library as its callers see it: through the exported factory and
// the interfaces of the real shared library, on packages made by the
// writer and on damaged or doctored ones.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Packhold.h"
#include "PackholdTestUtil.h"
#include "PackholdWriter.h"
#include "format/PackFormat.h"

namespace {

using packhold::Cell;
using packhold::CellType;
using packhold::Column;
using packhold::Package;
using packhold::Table;
using packhold_test::CRoot;
using packhold_test::Encode;
using packhold_test::Reseal;
using packhold_test::TestFileName;
using packhold_test::WriteBytes;

// Every cell type, with the extremes a reader could get wrong.
Package AllTypesPackage() {
    Table rules;
    rules.columns = {{"level", CellType::kInt},
                     {"hzlist", CellType::kIntArray},
                     {"pinyin", CellType::kText},
                     {"code", CellType::kBytes}};
    std::vector<std::int32_t> full(256);
    for (int i = 0; i < 256; ++i) full[static_cast<std::size_t>(i)] = i * 7919 - 1000000;
    std::vector<unsigned char> allBytes(1024);
    for (int i = 0; i < 1024; ++i) allBytes[static_cast<std::size_t>(i)] = static_cast<unsigned char>(255 - i % 256);
    rules.rows.push_back({Cell::Int(INT_MIN), Cell::IntArray({200001, -1, INT_MAX}), Cell::Text("\xC4\xE3\xBA\xC3 hao"),
                          Cell::Bytes({0xB7, 0xA0, 0x00, 0xA5})});
    rules.rows.push_back({Cell::Int(INT_MAX), Cell::IntArray(full), Cell::Text(""), Cell::Bytes(allBytes)});
    rules.rows.push_back({Cell(), Cell(), Cell(), Cell()});
    rules.rows.push_back({Cell::Int(0), Cell::IntArray({}), Cell(), Cell::Bytes({})});
    Table flags;
    flags.columns = {{"iscopy", CellType::kInt}};
    flags.rows.push_back({Cell::Int(1)});
    Package package;
    package.tables = {rules, flags};
    return package;
}

class PackholdReader : public testing::Test {
protected:
    // Writes `bytes` to a file of this test and opens it.
    IPackholdFile* OpenBytes(const std::vector<unsigned char>& bytes, const char* key = "wxyz") {
        WriteBytes(m_path, bytes);
        return m_root->OpenFile(m_path.c_str(), 0, key);
    }
    bool Opens(const std::vector<unsigned char>& bytes, const char* key = "wxyz") {
        IPackholdFile* file = OpenBytes(bytes, key);
        if (!file) return false;
        file->Close();
        return true;
    }
    void TearDown() override { std::remove(m_path.c_str()); }

    CRoot m_root;
    std::string m_path = TestFileName(".res");
};

TEST(PackholdFactory, RefusesOtherVersionsAndNullRoot) {
    IPackhold* root = reinterpret_cast<IPackhold*>(0x1);
    EXPECT_EQ(CreatePackhold(4, 0, &root), 0);
    EXPECT_EQ(CreatePackhold(6, 0, &root), 0);
    EXPECT_EQ(root, reinterpret_cast<IPackhold*>(0x1));
    EXPECT_EQ(CreatePackhold(packhold::kInterfaceVersion, 0, nullptr), 0);
    ASSERT_EQ(CreatePackhold(packhold::kInterfaceVersion, 0, &root), 1);
    ASSERT_NE(root, nullptr);
    root->Release();
}

TEST_F(PackholdReader, ReadsBackEveryCellType) {
    const Package package = AllTypesPackage();
    IPackholdFile* file = OpenBytes(Encode(package));
    ASSERT_NE(file, nullptr);
    IPackholdTableSet* set = file->GetTableSet();
    ASSERT_NE(set, nullptr);
    IPackholdTable* rules = set->GetTable(0);
    ASSERT_NE(rules, nullptr);
    ASSERT_EQ(rules->GetRowCount(), 4);

    // Texts must stay put while other rows are read, until Close.
    std::vector<const char*> texts;
    for (int r = 0; r < 4; ++r) {
        const std::vector<Cell>& expected = package.tables[0].rows[static_cast<std::size_t>(r)];
        IPackholdRow* row = rules->GetRow(r);
        ASSERT_NE(row, nullptr);
        SCOPED_TRACE(r);

        int level = 12345;
        EXPECT_EQ(row->GetInt("level", &level, 0), expected[0].IsPresent() ? 1 : 0);
        EXPECT_EQ(level, expected[0].IsPresent() ? expected[0].IntValue() : 12345);

        int ints[256 + 1];
        ints[256] = 0x5A5A5A5A;  // must survive a full cell
        const int count = row->GetIntArray("hzlist", ints, 0);
        const std::vector<std::int32_t> expectedInts = expected[1].IntArrayValue();
        ASSERT_EQ(count, static_cast<int>(expectedInts.size()));
        EXPECT_EQ(std::vector<std::int32_t>(ints, ints + count), expectedInts);
        EXPECT_EQ(ints[256], 0x5A5A5A5A);

        const char* text = row->GetString("pinyin");
        if (expected[2].IsPresent()) {
            ASSERT_NE(text, nullptr);
            EXPECT_EQ(std::string(text), expected[2].TextValue());
        } else {
            EXPECT_EQ(text, nullptr);
        }
        texts.push_back(text);

        unsigned char bytes[1024 + 1];
        bytes[1024] = 0xEE;
        const int length = row->GetBytes("code", bytes, 0);
        const std::vector<unsigned char>& expectedBytes = expected[3].BytesValue();
        ASSERT_EQ(length, static_cast<int>(expectedBytes.size()));
        EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + length), expectedBytes);
        EXPECT_EQ(bytes[1024], 0xEE);
    }
    EXPECT_STREQ(texts[0], "\xC4\xE3\xBA\xC3 hao");
    EXPECT_STREQ(texts[1], "");

    IPackholdTable* flags = set->GetTable(1);
    ASSERT_NE(flags, nullptr);
    int iscopy = 0;
    ASSERT_NE(flags->GetRow(0), nullptr);
    EXPECT_EQ(flags->GetRow(0)->GetInt("iscopy", &iscopy, 0), 1);
    EXPECT_EQ(iscopy, 1);

    // Indexes outside the tables and rows give null, never a neighbour.
    EXPECT_EQ(set->GetTable(2), nullptr);
    EXPECT_EQ(set->GetTable(-1), nullptr);
    EXPECT_EQ(set->GetTable(INT_MAX), nullptr);
    EXPECT_EQ(rules->GetRow(4), nullptr);
    EXPECT_EQ(rules->GetRow(-1), nullptr);
    EXPECT_EQ(flags->GetRow(1), nullptr);
    file->Close();
}

TEST_F(PackholdReader, AbsentColumnsAndWrongTypesFailWithoutWriting) {
    IPackholdFile* file = OpenBytes(Encode(AllTypesPackage()));
    ASSERT_NE(file, nullptr);
    IPackholdRow* row = file->GetTableSet()->GetTable(0)->GetRow(0);
    ASSERT_NE(row, nullptr);

    // Each column read with each operation: only the matching one succeeds.
    const char* columns[] = {"level", "hzlist", "pinyin", "code", "divide", "", nullptr};
    for (int c = 0; c < 7; ++c) {
        SCOPED_TRACE(c);
        int value = 77;
        int ints[256] = {77};
        unsigned char bytes[1024] = {77};
        EXPECT_EQ(row->GetInt(columns[c], &value, 0) != 0, c == 0);
        EXPECT_EQ(row->GetIntArray(columns[c], ints, 0) != 0, c == 1);
        EXPECT_EQ(row->GetString(columns[c]) != nullptr, c == 2);
        EXPECT_EQ(row->GetBytes(columns[c], bytes, 0) != 0, c == 3);
        EXPECT_EQ(value == 77, c != 0);
        EXPECT_EQ(ints[0] == 77, c != 1);
        EXPECT_EQ(bytes[0] == 77, c != 3);
    }
    // Null storage is refused rather than written through.
    EXPECT_EQ(row->GetInt("level", nullptr, 0), 0);
    EXPECT_EQ(row->GetIntArray("hzlist", nullptr, 0), 0);
    EXPECT_EQ(row->GetBytes("code", nullptr, 0), 0);
    // Column names are matched exactly, not by prefix or case.
    EXPECT_EQ(row->GetString("pinyi"), nullptr);
    EXPECT_EQ(row->GetString("pinyinx"), nullptr);
    EXPECT_EQ(row->GetString("PINYIN"), nullptr);
    file->Close();
}

// A table remembers the names it was asked for; a caller that writes
// another name into the same buffer, or asks for more names than are kept,
// still gets the cell of the name it gives now, in every row.
TEST_F(PackholdReader, ColumnNamesAskedAgainAnswerForTheirTextNow) {
    IPackholdFile* file = OpenBytes(Encode(AllTypesPackage()));
    ASSERT_NE(file, nullptr);
    IPackholdTable* table = file->GetTableSet()->GetTable(0);
    char name[32];
    for (int round = 0; round < 3; ++round) {
        for (int r = 0; r < 2; ++r) {
            SCOPED_TRACE(round * 10 + r);
            IPackholdRow* row = table->GetRow(r);
            int value = 0;
            std::strcpy(name, "level");
            ASSERT_EQ(row->GetInt(name, &value, 0), 1);
            EXPECT_EQ(value, r == 0 ? INT_MIN : INT_MAX);
            std::strcpy(name, "pinyin");
            EXPECT_EQ(row->GetInt(name, &value, 0), 0);
            ASSERT_NE(row->GetString(name), nullptr);
            EXPECT_STREQ(row->GetString(name), r == 0 ? "\xC4\xE3\xBA\xC3 hao" : "");
            std::strcpy(name, "levels");
            EXPECT_EQ(row->GetInt(name, &value, 0), 0);
            std::strcpy(name, "leve");
            EXPECT_EQ(row->GetInt(name, &value, 0), 0);
            // More names than the table keeps, each a buffer of its own.
            char others[12][8];
            for (int k = 0; k < 12; ++k) {
                std::snprintf(others[k], sizeof others[k], "x%d", k);
                EXPECT_EQ(row->GetString(others[k]), nullptr);
            }
            std::strcpy(others[round], "code");
            unsigned char bytes[1024];
            EXPECT_EQ(row->GetBytes(others[round], bytes, 0), r == 0 ? 4 : 1024);
        }
    }
    file->Close();
}

// The reader by number answers every cell as the row asked by the column's
// name does, with every operation, and refuses rows and columns outside the
// table the same way, without writing.
TEST_F(PackholdReader, ReadsByNumberAsByName) {
    IPackholdFile* file = OpenBytes(Encode(AllTypesPackage()));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(PackholdColumns(nullptr), nullptr);
    IPackholdTable* table = file->GetTableSet()->GetTable(0);
    IPackholdColumns* columns = PackholdColumns(table);
    ASSERT_NE(columns, nullptr);
    const char* names[] = {"level", "hzlist", "pinyin", "code"};
    for (int c = 0; c < 4; ++c) EXPECT_EQ(columns->FindColumn(names[c]), c);
    EXPECT_EQ(columns->FindColumn("divide"), -1);
    EXPECT_EQ(columns->FindColumn("leve"), -1);
    EXPECT_EQ(columns->FindColumn(""), -1);
    EXPECT_EQ(columns->FindColumn(nullptr), -1);

    for (int r = -1; r <= 4; ++r) {
        IPackholdRow* row = table->GetRow(r);
        for (int c = -1; c <= 4; ++c) {
            SCOPED_TRACE(r * 10 + c);
            const char* name = c >= 0 && c < 4 ? names[c] : "none";
            int value = 77, byName = 77;
            EXPECT_EQ(columns->GetIntAt(r, c, &value), row ? row->GetInt(name, &byName, 0) : 0);
            EXPECT_EQ(value, byName);
            int ints[257] = {77}, intsByName[257] = {77};
            const int count = columns->GetIntArrayAt(r, c, ints);
            EXPECT_EQ(count, row ? row->GetIntArray(name, intsByName, 0) : 0);
            EXPECT_EQ(std::vector<int>(ints, ints + count + 1), std::vector<int>(intsByName, intsByName + count + 1));
            EXPECT_EQ(columns->GetStringAt(r, c), row ? row->GetString(name) : nullptr);
            unsigned char bytes[1025] = {77}, bytesByName[1025] = {77};
            const int length = columns->GetBytesAt(r, c, bytes);
            EXPECT_EQ(length, row ? row->GetBytes(name, bytesByName, 0) : 0);
            EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + length + 1),
                      std::vector<unsigned char>(bytesByName, bytesByName + length + 1));
        }
    }
    EXPECT_EQ(columns->GetIntAt(0, 0, nullptr), 0);
    EXPECT_EQ(columns->GetIntArrayAt(0, 1, nullptr), 0);
    EXPECT_EQ(columns->GetBytesAt(0, 3, nullptr), 0);

    // Each table answers for its own columns.
    IPackholdColumns* flags = PackholdColumns(file->GetTableSet()->GetTable(1));
    ASSERT_NE(flags, nullptr);
    EXPECT_EQ(flags->FindColumn("iscopy"), 0);
    EXPECT_EQ(flags->FindColumn("level"), -1);
    int iscopy = 0;
    EXPECT_EQ(flags->GetIntAt(0, 0, &iscopy), 1);
    EXPECT_EQ(iscopy, 1);
    EXPECT_EQ(flags->GetIntAt(1, 0, &iscopy), 0);
    file->Close();
}

TEST_F(PackholdReader, KeyMustMatchExactly) {
    const std::vector<unsigned char> bytes = Encode(AllTypesPackage(), "abcd");
    EXPECT_TRUE(Opens(bytes, "abcd"));
    EXPECT_FALSE(Opens(bytes, "wxyz"));
    EXPECT_FALSE(Opens(bytes, "abc"));
    EXPECT_FALSE(Opens(bytes, "abcde"));
    EXPECT_FALSE(Opens(bytes, "ABCD"));
    EXPECT_FALSE(Opens(bytes, ""));
    EXPECT_FALSE(Opens(bytes, nullptr));
    EXPECT_TRUE(Opens(Encode(AllTypesPackage(), ""), ""));
    // The key is not kept in clear.
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text.find("abcd"), std::string::npos);
}

TEST_F(PackholdReader, TableSetMayBeAbsentOrEmpty) {
    Package none;
    none.hasTableSet = false;
    IPackholdFile* file = OpenBytes(Encode(none));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->GetTableSet(), nullptr);
    file->Close();

    Package empty;
    file = OpenBytes(Encode(empty));
    ASSERT_NE(file, nullptr);
    ASSERT_NE(file->GetTableSet(), nullptr);
    EXPECT_EQ(file->GetTableSet()->GetTable(0), nullptr);
    file->Close();

    Table noRows;
    noRows.columns = {{"code", CellType::kIntArray}};
    Package oneEmpty;
    oneEmpty.tables = {noRows};
    file = OpenBytes(Encode(oneEmpty));
    ASSERT_NE(file, nullptr);
    ASSERT_NE(file->GetTableSet()->GetTable(0), nullptr);
    EXPECT_EQ(file->GetTableSet()->GetTable(0)->GetRowCount(), 0);
    EXPECT_EQ(file->GetTableSet()->GetTable(0)->GetRow(0), nullptr);
    file->Close();
}

TEST_F(PackholdReader, BackslashesSeparateFolders) {
    namespace fs = std::filesystem;
    const std::string folder = TestFileName(".dir");
    fs::remove_all(folder);
    fs::create_directories(fs::path(folder) / "Data" / "Scp");
    WriteBytes(folder + "/Data/Scp/Chatsieve.res", Encode(AllTypesPackage()));

    for (const std::string& path : {folder + "\\Data\\Scp\\Chatsieve.res", folder + "/Data\\Scp/Chatsieve.res",
                                    folder + "/Data/Scp/Chatsieve.res"}) {
        IPackholdFile* file = m_root->OpenFile(path.c_str(), 0, "wxyz");
        EXPECT_NE(file, nullptr) << path;
        if (file) file->Close();
    }
    EXPECT_EQ(m_root->OpenFile((folder + "\\Data\\Scp\\Missing.res").c_str(), 0, "wxyz"), nullptr);
    EXPECT_EQ(m_root->OpenFile((folder + "\\Data\\Scp").c_str(), 0, "wxyz"), nullptr);
    EXPECT_EQ(m_root->OpenFile(nullptr, 0, "wxyz"), nullptr);
    EXPECT_EQ(m_root->OpenFile("", 0, "wxyz"), nullptr);
    fs::remove_all(folder);
}

// A small package of every cell type, for the damage loops.
std::vector<unsigned char> SmallPackage() {
    Table table;
    table.columns = {
        {"n", CellType::kInt}, {"a", CellType::kIntArray}, {"s", CellType::kText}, {"b", CellType::kBytes}};
    table.rows.push_back({Cell::Int(3), Cell::IntArray({200001, 200002}), Cell::Text("ni"), Cell::Bytes({0xC4, 0xE3})});
    table.rows.push_back({Cell(), Cell::IntArray({7}), Cell(), Cell::Bytes({1})});
    Table second;
    second.columns = {{"x", CellType::kText}};
    second.rows.push_back({Cell::Text("y")});
    Package package;
    package.tables = {table, second};
    return Encode(package);
}

TEST_F(PackholdReader, EveryTruncationIsRefused) {
    const std::vector<unsigned char> good = SmallPackage();
    ASSERT_TRUE(Opens(good));
    for (std::size_t size = 0; size < good.size(); ++size) {
        EXPECT_FALSE(Opens(std::vector<unsigned char>(good.begin(), good.begin() + static_cast<long>(size))))
            << "cut to " << size << " bytes";
    }
    std::vector<unsigned char> longer = good;
    longer.push_back(0);
    EXPECT_FALSE(Opens(longer));
}

TEST_F(PackholdReader, EverySingleByteChangeIsRefused) {
    const std::vector<unsigned char> good = SmallPackage();
    ASSERT_TRUE(Opens(good));
    // The byte is patched in place: rewriting the whole file each time costs
    // a flush per write on some file systems and makes this loop slow.
    std::FILE* patch = std::fopen(m_path.c_str(), "r+b");
    ASSERT_NE(patch, nullptr);
    int accepted = 0;
    for (std::size_t i = 0; i < good.size() && accepted < 10; ++i) {
        for (int value = 0; value < 256; ++value) {
            if (value == good[i]) continue;
            ASSERT_EQ(std::fseek(patch, static_cast<long>(i), SEEK_SET), 0);
            ASSERT_NE(std::fputc(value, patch), EOF);
            ASSERT_EQ(std::fflush(patch), 0);
            IPackholdFile* file = m_root->OpenFile(m_path.c_str(), 0, "wxyz");
            if (file) {
                file->Close();
                ADD_FAILURE() << "byte " << i << " set to " << value << " still opens";
                ++accepted;
            }
        }
        ASSERT_EQ(std::fseek(patch, static_cast<long>(i), SEEK_SET), 0);
        ASSERT_NE(std::fputc(good[i], patch), EOF);
    }
    std::fclose(patch);
    EXPECT_TRUE(Opens(good));
    RecordProperty("changes_tried", static_cast<int>(good.size() * 255));
}

// Doctored packages whose checksum and size are right: the structure checks
// alone must refuse them. Offsets follow the layout in docs/package-format.md.
class PackholdStructure : public PackholdReader {
protected:
    // One table, one column `name` of `type`, one row holding `cell`.
    static std::vector<unsigned char> OneCell(CellType type, const Cell& cell) {
        Table table;
        table.columns = {{"c", type}};
        table.rows.push_back({cell});
        Package package;
        package.tables = {table};
        return Encode(package);
    }
    // Where the row's single cell starts: header, one directory entry, the
    // table head, the column definition (type, length, "c"), the cell count.
    static constexpr std::size_t kCell = 32 + 8 + 8 + 3 + 2;
    static constexpr std::size_t kPayload = kCell + 2;
};

TEST_F(PackholdStructure, OversizedArrayAndByteCellsAreRefused) {
    using packhold::format::StoreU32;
    std::vector<unsigned char> ints = OneCell(CellType::kIntArray, Cell::IntArray(std::vector<std::int32_t>(256, 5)));
    ASSERT_TRUE(Opens(ints));
    ints.insert(ints.end(), {5, 0, 0, 0});
    StoreU32(ints.data() + kPayload, 257);
    Reseal(&ints);
    EXPECT_FALSE(Opens(ints));

    std::vector<unsigned char> bytes = OneCell(CellType::kBytes, Cell::Bytes(std::vector<unsigned char>(1024, 9)));
    ASSERT_TRUE(Opens(bytes));
    bytes.push_back(9);
    StoreU32(bytes.data() + kPayload, 1025);
    Reseal(&bytes);
    EXPECT_FALSE(Opens(bytes));
}

TEST_F(PackholdStructure, MalformedCellsAreRefused) {
    const std::vector<unsigned char> text = OneCell(CellType::kText, Cell::Text("abc"));
    std::vector<unsigned char> bad = text;
    Reseal(&bad);
    ASSERT_TRUE(Opens(bad)) << "resealing alone must not break a package";

    bad = text;
    bad[kPayload + 4 + 1] = 0;  // a NUL inside the text
    Reseal(&bad);
    EXPECT_FALSE(Opens(bad));

    bad = text;
    bad[kPayload + 4 + 3] = 'd';  // no terminator
    Reseal(&bad);
    EXPECT_FALSE(Opens(bad));

    bad = text;
    packhold::format::StoreU32(bad.data() + kPayload, 0xFFFFFFF0u);  // length far past the end
    Reseal(&bad);
    EXPECT_FALSE(Opens(bad));

    // Lengths at the edge of size arithmetic: where size_t has 32 bits, a
    // length of 0xFFFFFFFF plus its terminator wraps to 0; one byte more than
    // the table holds must fail too, whatever the word size. No NUL follows
    // the length, so a reader that went on to look for one would run off the
    // end of the package (which a 32-bit sanitizer build reports).
    for (std::uint32_t length : {0xFFFFFFFFu, 0xFFFFFFFEu, 4u}) {
        bad = text;
        packhold::format::StoreU32(bad.data() + kPayload, length);
        bad[kPayload + 4 + 3] = 'd';
        Reseal(&bad);
        EXPECT_FALSE(Opens(bad)) << "text length " << length;
    }
    std::vector<unsigned char> ints = OneCell(CellType::kIntArray, Cell::IntArray({1, 2}));
    for (std::uint32_t count : {0xFFFFFFFFu, 0x40000001u, 3u}) {
        bad = ints;
        packhold::format::StoreU32(bad.data() + kPayload, count);
        Reseal(&bad);
        EXPECT_FALSE(Opens(bad)) << "array count " << count;
    }

    bad = text;
    bad[kCell] = 1;  // a cell in column 1 of a one-column table
    Reseal(&bad);
    EXPECT_FALSE(Opens(bad));

    bad = text;
    bad[32 + 8 + 8] = 9;  // unknown column type
    Reseal(&bad);
    EXPECT_FALSE(Opens(bad));

    bad = text;
    bad[32 + 8 + 8 + 2] = ':';  // a column name the writer never makes
    Reseal(&bad);
    EXPECT_FALSE(Opens(bad));

    bad = text;
    bad.push_back(0);  // a byte after the last row
    Reseal(&bad);
    EXPECT_FALSE(Opens(bad));
}

TEST_F(PackholdStructure, MalformedHeadersAreRefused) {
    using namespace packhold::format;
    const std::vector<unsigned char> good = OneCell(CellType::kInt, Cell::Int(1));

    std::vector<unsigned char> bad = good;
    StoreU32(bad.data() + kOffFlags, kFlagTableSet | 2);  // a flag from a later format
    Reseal(&bad);
    EXPECT_FALSE(Opens(bad));

    bad = good;
    StoreU32(bad.data() + kOffFlags, 0);  // tables in a package without a table set
    Reseal(&bad);
    EXPECT_FALSE(Opens(bad));

    bad = good;
    StoreU16(bad.data() + kOffVersion, kFormatVersion + 1);
    Reseal(&bad);
    EXPECT_FALSE(Opens(bad));

    bad = good;
    StoreU32(bad.data() + kHeaderBytes, kHeaderBytes + 8 + 1);  // a gap before the table
    Reseal(&bad);
    EXPECT_FALSE(Opens(bad));

    bad = good;
    StoreU32(bad.data() + kOffTableCount, 0x10000000u);  // a directory far past the end
    Reseal(&bad);
    EXPECT_FALSE(Opens(bad));

    // Two columns of one name would make lookups ambiguous.
    Table twice;
    twice.columns = {{"ab", CellType::kInt}, {"ac", CellType::kInt}};
    Package package;
    package.tables = {twice};
    bad = Encode(package);
    bad[32 + 8 + 8 + 2 + 2 + 2 + 1] = 'b';
    Reseal(&bad);
    EXPECT_FALSE(Opens(bad));
}

TEST_F(PackholdReader, ReleaseFreesFilesLeftOpen) {
    // Leak checking (the sanitizer build) is what judges this test.
    WriteBytes(m_path, SmallPackage());
    IPackhold* root = nullptr;
    ASSERT_EQ(CreatePackhold(packhold::kInterfaceVersion, 0, &root), 1);
    IPackholdFile* first = root->OpenFile(m_path.c_str(), 0, "wxyz");
    IPackholdFile* second = root->OpenFile(m_path.c_str(), 0, "wxyz");
    IPackholdFile* third = root->OpenFile(m_path.c_str(), 0, "wxyz");
    ASSERT_TRUE(first && second && third);
    second->Close();
    EXPECT_NE(first->GetTableSet()->GetTable(1)->GetRow(0)->GetString("x"), nullptr);
    root->Release();
}

}  // namespace
