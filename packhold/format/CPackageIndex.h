// CPackageIndex: checks a whole package image once and records where each
// table, column, row and cell lies in it, so that everything read afterwards
// is a lookup with no further checks. The reader library and packhold-dump
// both stand on it, so a package that one of them accepts the other accepts
// too.
//
// Build refuses an image unless every check passes: magic, format version,
// size, checksum, flags, key tag, and every count, length and offset of every
// table, which must also be laid out exactly as the writer lays them out (no
// gaps, no overlaps, no bytes left over). After a successful Build a cell's
// data is known to lie inside the image, array and byte cells hold at most
// kMaxCellBytes bytes, and every text is followed by a NUL and holds none.
//
// The index does not own the image; the image must outlive it. Nothing here
// throws; memory comes from format/Allocate.h.
#ifndef PACKHOLD_FORMAT_CPACKAGEINDEX_H
#define PACKHOLD_FORMAT_CPACKAGEINDEX_H

#include <cstddef>
#include <cstdint>

namespace packhold {

struct IndexTable {
    std::uint32_t firstColumn;  // into the index's column array
    std::uint32_t columnCount;
    std::uint32_t firstRow;  // into the index's row array
    std::uint32_t rowCount;
};

struct IndexColumn {
    std::uint32_t nameOffset;  // into the image; the name is not NUL-terminated
    std::uint32_t nameLength;
    unsigned char type;  // format::kType*
};

struct IndexRow {
    std::uint32_t firstCell;  // into the index's cell array
    std::uint32_t cellCount;
};

struct IndexCell {
    std::uint32_t column;      // 0-based within its table; cells of a row ascend
    std::uint32_t dataOffset;  // first value byte (ints: little-endian, 4 each)
    std::uint32_t count;       // ints for int and int[], bytes for str and bytes
};

class CPackageIndex {
public:
    CPackageIndex() = default;
    ~CPackageIndex();
    CPackageIndex(const CPackageIndex&) = delete;
    CPackageIndex& operator=(const CPackageIndex&) = delete;

    // Checks `image` against `key` (NUL-terminated) and indexes it. On
    // failure returns false and leaves the index empty; ErrorText and
    // ErrorOffset say what was wrong and at which byte.
    bool Build(const unsigned char* image, std::size_t size, const char* key);

    // A fixed English sentence, or "" after a successful Build.
    const char* ErrorText() const { return m_error; }
    std::size_t ErrorOffset() const { return m_errorOffset; }
    // True when Build failed only because the key differs.
    bool WrongKey() const { return m_wrongKey; }

    bool HasTableSet() const { return m_hasTableSet; }
    std::uint32_t TableCount() const { return m_tableCount; }
    const IndexTable& Table(std::uint32_t i) const { return m_tables[i]; }
    const IndexColumn& Column(std::uint32_t i) const { return m_columns[i]; }
    const IndexRow& Row(std::uint32_t i) const { return m_rows[i]; }
    const IndexCell& Cell(std::uint32_t i) const { return m_cells[i]; }
    const unsigned char* Image() const { return m_image; }

    // The 0-based column of `table` named `name`, or -1.
    long FindColumn(const IndexTable& table, const char* name) const;
    // The cell of `row` in column `column` (0-based within its table), or null.
    // Cells ascend by column from 0, so in a row that leaves no column out
    // the cell of `column` is the row's cell `column`: one compare, inline.
    // A row that leaves columns out before its last cell mostly has the last
    // column, the one asked for past its cell count, there: one more.
    const IndexCell* FindCell(const IndexRow& row, std::uint32_t column) const {
        const IndexCell* cells = m_cells + row.firstCell;
        if (column < row.cellCount) {
            if (cells[column].column == column) return &cells[column];
        } else if (row.cellCount > 0 && cells[row.cellCount - 1].column == column) {
            return &cells[row.cellCount - 1];
        }
        return FindCellLeftOut(row, column);
    }

private:
    bool Fail(const char* text, std::size_t offset);
    bool CheckHeader(std::size_t size, const char* key);
    // Walks every table once, checking it and filling the arrays as it goes.
    bool WalkTables(std::size_t size);
    // Checks the cell at `p` of the table ending at `end` one rule at a
    // time, the columns before `next` taken: steps `p` past it and fills
    // `cell`, or fails the build naming the first rule it breaks.
    bool CheckCell(std::size_t& p, std::size_t end, std::uint32_t columnCount, std::uint32_t next,
                   const unsigned char* types, IndexCell* cell);
    // Makes room in `array` (holding `used` of `capacity`) for `more`
    // entries; false, having failed the build, when memory ran out.
    template <class T>
    bool Room(T*& array, std::uint32_t& capacity, std::uint32_t used, std::size_t more);
    void Clear();
    // FindCell in a row that leaves columns out.
    const IndexCell* FindCellLeftOut(const IndexRow& row, std::uint32_t column) const;

    const unsigned char* m_image = nullptr;
    bool m_hasTableSet = false;
    std::uint32_t m_tableCount = 0;
    IndexTable* m_tables = nullptr;
    IndexColumn* m_columns = nullptr;
    IndexRow* m_rows = nullptr;
    IndexCell* m_cells = nullptr;
    const char* m_error = "";
    std::size_t m_errorOffset = 0;
    bool m_wrongKey = false;
};

}  // namespace packhold

#endif
