// The package index against a plain reading of the table layout, one check
// at a time in the order docs/package-format.md gives them: on packages the
// writer makes and on the same packages with cells changed, both must accept
// the same ones, index them alike and refuse the others with the same error
// at the same byte. The index steps over most cells by quicker checks of its
// own; this is what holds them to the layout's.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "PackholdTestUtil.h"
#include "PackholdWriter.h"
#include "format/CPackageIndex.h"
#include "format/PackFormat.h"

namespace {

using namespace packhold::format;
using packhold::Cell;
using packhold::CellType;
using packhold::Package;
using packhold::Table;

struct Reading {
    bool ok = true;
    std::string error;
    std::size_t offset = 0;
    std::vector<packhold::IndexTable> tables;
    std::vector<packhold::IndexColumn> columns;
    std::vector<packhold::IndexRow> rows;
    std::vector<packhold::IndexCell> cells;
};

bool Fail(Reading* reading, const char* error, std::size_t offset) {
    reading->ok = false;
    reading->error = error;
    reading->offset = offset;
    return false;
}

// The tables of a package whose header is known to be right.
bool ReadTables(const unsigned char* image, std::size_t size, Reading* r) {
    const std::uint32_t tableCount = LoadU32(image + kOffTableCount);
    std::size_t expected = kHeaderBytes + std::size_t{tableCount} * kDirectoryEntryBytes;
    for (std::uint32_t t = 0; t < tableCount; ++t) {
        const std::size_t entry = kHeaderBytes + std::size_t{t} * kDirectoryEntryBytes;
        const std::size_t start = LoadU32(image + entry), length = LoadU32(image + entry + 4);
        if (start != expected) return Fail(r, "table does not start where the previous one ends", entry);
        if (length > size - start) return Fail(r, "table runs past the end of the file", entry + 4);
        const std::size_t end = start + length;
        std::size_t p = start;
        auto has = [&](std::size_t n) { return n <= end - p; };
        if (!has(kTableHeadBytes)) return Fail(r, "table too short for its head", p);
        const std::uint32_t columnCount = LoadU16(image + p);
        if (LoadU16(image + p + 2) != 0) return Fail(r, "reserved table field is not zero", p + 2);
        const std::uint32_t rowCount = LoadU32(image + p + 4);
        if (columnCount == 0 || columnCount > kMaxColumns) return Fail(r, "column count out of range", p);
        r->tables.push_back({static_cast<std::uint32_t>(r->columns.size()), columnCount,
                             static_cast<std::uint32_t>(r->rows.size()), rowCount});
        p += kTableHeadBytes;
        const std::size_t firstColumn = r->columns.size();
        for (std::uint32_t c = 0; c < columnCount; ++c) {
            if (!has(2)) return Fail(r, "column definition runs past its table", p);
            const unsigned char type = image[p];
            const std::uint32_t nameLength = image[p + 1];
            if (type < kTypeInt || type > kTypeBytes) return Fail(r, "unknown column type", p);
            p += 2;
            if (!has(nameLength)) return Fail(r, "column name runs past its table", p);
            if (!IsValidColumnName(image + p, nameLength)) return Fail(r, "invalid column name", p);
            for (std::size_t k = firstColumn; k < r->columns.size(); ++k)
                if (r->columns[k].nameLength == nameLength &&
                    std::memcmp(image + r->columns[k].nameOffset, image + p, nameLength) == 0)
                    return Fail(r, "duplicate column name", p);
            r->columns.push_back({static_cast<std::uint32_t>(p), nameLength, type});
            p += nameLength;
        }
        for (std::uint32_t row = 0; row < rowCount; ++row) {
            if (!has(2)) return Fail(r, "row runs past its table", p);
            const std::uint32_t cellCount = LoadU16(image + p);
            if (cellCount > columnCount) return Fail(r, "row has more cells than its table has columns", p);
            r->rows.push_back({static_cast<std::uint32_t>(r->cells.size()), cellCount});
            p += 2;
            long previous = -1;
            for (std::uint32_t k = 0; k < cellCount; ++k) {
                if (!has(2)) return Fail(r, "cell runs past its table", p);
                const std::uint32_t column = LoadU16(image + p);
                if (column >= columnCount || static_cast<long>(column) <= previous)
                    return Fail(r, "cell columns out of order or out of range", p);
                previous = column;
                p += 2;
                const unsigned char type = r->columns[firstColumn + column].type;
                const std::size_t data = p + (type == kTypeInt ? 0 : 4);
                std::uint32_t count = 1;
                if (type == kTypeInt) {
                    if (!has(4)) return Fail(r, "integer cell runs past its table", p);
                    p += 4;
                } else if (type == kTypeIntArray) {
                    if (!has(4)) return Fail(r, "array cell runs past its table", p);
                    count = LoadU32(image + p);
                    if (count > kMaxArrayInts) return Fail(r, "array cell larger than the limit", p);
                    p += 4;
                    if (count > (end - p) / 4) return Fail(r, "array cell runs past its table", p);
                    p += std::size_t{count} * 4;
                } else if (type == kTypeText) {
                    if (!has(4)) return Fail(r, "text cell runs past its table", p);
                    count = LoadU32(image + p);
                    p += 4;
                    if (count >= end - p) return Fail(r, "text cell runs past its table", p);
                    for (std::uint32_t i = 0; i < count; ++i)
                        if (image[p + i] == 0) return Fail(r, "text cell holds a NUL byte", p);
                    if (image[p + count] != 0) return Fail(r, "text cell lacks its terminator", p + count);
                    p += std::size_t{count} + 1;
                } else {
                    if (!has(4)) return Fail(r, "byte cell runs past its table", p);
                    count = LoadU32(image + p);
                    if (count > kMaxByteCells) return Fail(r, "byte cell larger than the limit", p);
                    p += 4;
                    if (!has(count)) return Fail(r, "byte cell runs past its table", p);
                    p += count;
                }
                r->cells.push_back({column, static_cast<std::uint32_t>(data), count});
            }
        }
        if (p != end) return Fail(r, "table has bytes after its last row", p);
        expected = end;
    }
    if (expected != size) return Fail(r, "bytes after the last table", expected);
    return true;
}

// Builds the index of `image` and compares it with the plain reading.
void ExpectSameReading(const std::vector<unsigned char>& image, const std::string& what) {
    Reading expected;
    ReadTables(image.data(), image.size(), &expected);
    packhold::CPackageIndex index;
    const bool ok = index.Build(image.data(), image.size(), "wxyz");
    ASSERT_EQ(ok, expected.ok) << what << ": " << index.ErrorText() << " / " << expected.error;
    if (!ok) {
        EXPECT_EQ(index.ErrorText(), expected.error) << what;
        EXPECT_EQ(index.ErrorOffset(), expected.offset) << what << ": " << expected.error;
        return;
    }
    ASSERT_EQ(index.TableCount(), expected.tables.size()) << what;
    for (std::size_t t = 0; t < expected.tables.size(); ++t) {
        const packhold::IndexTable& table = index.Table(static_cast<std::uint32_t>(t));
        EXPECT_EQ(table.rowCount, expected.tables[t].rowCount) << what;
        EXPECT_EQ(table.firstRow, expected.tables[t].firstRow) << what;
        EXPECT_EQ(table.columnCount, expected.tables[t].columnCount) << what;
    }
    for (std::size_t i = 0; i < expected.rows.size(); ++i) {
        const packhold::IndexRow& row = index.Row(static_cast<std::uint32_t>(i));
        ASSERT_EQ(row.firstCell, expected.rows[i].firstCell) << what << ", row " << i;
        ASSERT_EQ(row.cellCount, expected.rows[i].cellCount) << what << ", row " << i;
    }
    for (std::size_t i = 0; i < expected.cells.size(); ++i) {
        const packhold::IndexCell& cell = index.Cell(static_cast<std::uint32_t>(i));
        ASSERT_EQ(cell.column, expected.cells[i].column) << what << ", cell " << i;
        ASSERT_EQ(cell.dataOffset, expected.cells[i].dataOffset) << what << ", cell " << i;
        ASSERT_EQ(cell.count, expected.cells[i].count) << what << ", cell " << i;
    }
}

// A table of every type with rows that leave cells out, and texts of every
// length around the words the index reads them by (8 and 16 bytes).
Package RandomPackage(std::mt19937& random) {
    Package package;
    const int tables = 1 + static_cast<int>(random() % 3);
    for (int t = 0; t < tables; ++t) {
        Table table;
        const int columns = 1 + static_cast<int>(random() % 6);
        for (int c = 0; c < columns; ++c)
            table.columns.push_back({"c" + std::to_string(c), static_cast<CellType>(1 + random() % 4)});
        const int rows = static_cast<int>(random() % 12);
        for (int r = 0; r < rows; ++r) {
            std::vector<Cell> row;
            for (const packhold::Column& column : table.columns) {
                if (random() % 5 == 0) {
                    row.push_back(Cell());
                    continue;
                }
                const std::size_t length = random() % 4 == 0 ? random() % 40 : random() % 18;
                switch (column.type) {
                    case CellType::kInt:
                        row.push_back(Cell::Int(static_cast<std::int32_t>(random())));
                        break;
                    case CellType::kIntArray:
                        row.push_back(Cell::IntArray(std::vector<std::int32_t>(length % 9, 7)));
                        break;
                    case CellType::kText: {
                        std::string text;
                        for (std::size_t i = 0; i < length; ++i) text += static_cast<char>(1 + random() % 255);
                        row.push_back(Cell::Text(text));
                        break;
                    }
                    default:
                        row.push_back(Cell::Bytes(std::vector<unsigned char>(length, 0)));
                        break;
                }
            }
            table.rows.push_back(row);
        }
        package.tables.push_back(table);
    }
    return package;
}

TEST(PackageIndex, IndexesWhatTheWriterWritesAsTheLayoutReads) {
    std::mt19937 random(11);
    for (int i = 0; i < 300; ++i) {
        const std::vector<unsigned char> image = packhold_test::Encode(RandomPackage(random));
        ASSERT_FALSE(image.empty());
        ExpectSameReading(image, "package " + std::to_string(i));
    }
}

// Changed bytes after the directory, resealed so that only the structure
// checks see them: single bytes (NULs into texts, terminators taken away,
// columns out of order) and whole counts (lengths past the end, over the
// limits, one off either way).
TEST(PackageIndex, RefusesChangedCellsWithTheLayoutsError) {
    std::mt19937 random(23);
    int refused = 0, tried = 0;
    for (int i = 0; i < 300; ++i) {
        const std::vector<unsigned char> good = packhold_test::Encode(RandomPackage(random));
        const std::size_t tables = LoadU32(good.data() + kOffTableCount);
        const std::size_t first = kHeaderBytes + tables * kDirectoryEntryBytes;
        if (good.size() <= first + 1) continue;
        for (int change = 0; change < 20; ++change) {
            std::vector<unsigned char> bad = good;
            const std::size_t at = first + random() % (bad.size() - first);
            std::string what = "package " + std::to_string(i) + ", byte " + std::to_string(at);
            if (change % 2 == 0) {
                const unsigned char values[] = {0, 1, 2, 3, 4, 5, 0xFF, static_cast<unsigned char>(random())};
                bad[at] = values[random() % sizeof values];
                what += " set to " + std::to_string(bad[at]);
            } else if (at + 4 <= bad.size()) {
                const std::uint32_t old = LoadU32(bad.data() + at);
                const std::uint32_t counts[] = {old + 1, old - 1, 15, 16, 7, 8, 256, 257, 1024, 1025, 0xFFFFFFFFu};
                StoreU32(bad.data() + at, counts[random() % (sizeof counts / sizeof counts[0])]);
                what += " counts " + std::to_string(LoadU32(bad.data() + at));
            }
            if (change % 5 == 4) bad.resize(bad.size() - 1 - random() % 3);  // a table cut short
            if (bad.size() < first) continue;
            packhold_test::Reseal(&bad);
            Reading expected;
            ReadTables(bad.data(), bad.size(), &expected);
            refused += expected.ok ? 0 : 1;
            ++tried;
            ExpectSameReading(bad, what);
        }
    }
    // Most changes break a package, so that the errors above are compared.
    EXPECT_GT(refused, tried / 2);
}

}  // namespace
