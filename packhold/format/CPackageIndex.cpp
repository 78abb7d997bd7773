#include "format/CPackageIndex.h"

#include <cstring>

#include "format/Allocate.h"
#include "format/PackFormat.h"

namespace packhold {

using namespace format;

CPackageIndex::~CPackageIndex() { Clear(); }

void CPackageIndex::Clear() {
    FreeArray(m_tables);
    FreeArray(m_columns);
    FreeArray(m_rows);
    FreeArray(m_cells);
    m_tables = nullptr;
    m_columns = nullptr;
    m_rows = nullptr;
    m_cells = nullptr;
    m_image = nullptr;
    m_hasTableSet = false;
    m_tableCount = 0;
}

bool CPackageIndex::Fail(const char* text, std::size_t offset) {
    Clear();
    m_error = text;
    m_errorOffset = offset;
    return false;
}

bool CPackageIndex::Build(const unsigned char* image, std::size_t size, const char* key) {
    Clear();
    m_error = "";
    m_errorOffset = 0;
    m_wrongKey = false;
    if (!image || !key) return Fail("no package or no key given", 0);
    m_image = image;
    if (!CheckHeader(size, key)) return false;
    m_tables = AllocateRawArray<IndexTable>(m_tableCount);
    if (!m_tables) return Fail("out of memory", 0);
    return WalkTables(size);
}

template <class T>
bool CPackageIndex::Room(T*& array, std::uint32_t& capacity, std::uint32_t used, std::size_t more) {
    if (more <= capacity - used) return true;
    // Half again at least, so that a table's rows and cells are copied a
    // bounded number of times however the package is laid out.
    std::size_t grown = static_cast<std::size_t>(capacity) + capacity / 2 + 16;
    if (grown < used + more) grown = used + more;
    T* bigger = AllocateRawArray<T>(grown);
    if (!bigger) return Fail("out of memory", 0);
    if (used) std::memcpy(bigger, array, sizeof(T) * used);
    FreeArray(array);
    array = bigger;
    capacity = static_cast<std::uint32_t>(grown);
    return true;
}

bool CPackageIndex::CheckHeader(std::size_t size, const char* key) {
    const unsigned char* p = m_image;
    if (size < kHeaderBytes) return Fail("file is too short for a package header", size);
    if (std::memcmp(p + kOffMagic, kMagic, sizeof kMagic) != 0) return Fail("not a package (bad magic)", kOffMagic);
    if (LoadU16(p + kOffVersion) != kFormatVersion) return Fail("unsupported format version", kOffVersion);
    if (LoadU16(p + kOffHeaderBytes) != kHeaderBytes) return Fail("unsupported header size", kOffHeaderBytes);
    if (size > kMaxFileBytes) return Fail("file is larger than a package may be", 0);
    if (LoadU32(p + kOffFileBytes) != size) return Fail("file size differs from the recorded size", kOffFileBytes);
    if (LoadU32(p + kOffChecksum) != Crc32(p + kChecksumStart, size - kChecksumStart))
        return Fail("checksum mismatch: the file is damaged", kOffChecksum);
    std::uint32_t flags = LoadU32(p + kOffFlags);
    if (flags & ~kKnownFlags) return Fail("unknown header flags", kOffFlags);
    if (LoadU64(p + kOffKeyTag) != KeyTag(key, std::strlen(key))) {
        Fail("the package was packed with another key", kOffKeyTag);
        m_wrongKey = true;
        return false;
    }
    m_hasTableSet = (flags & kFlagTableSet) != 0;
    std::uint32_t tableCount = LoadU32(p + kOffTableCount);
    if (!m_hasTableSet && tableCount != 0) return Fail("tables in a package without a table set", kOffTableCount);
    if (tableCount > (size - kHeaderBytes) / (kDirectoryEntryBytes + kTableHeadBytes))
        return Fail("table count exceeds the file", kOffTableCount);
    m_tableCount = tableCount;
    return true;
}

namespace {

// Whether the `count` bytes at `text` hold no NUL and a NUL follows them. The
// text and its NUL lie before `limit`, the end of the image.
inline bool EndsText(const unsigned char* text, std::uint32_t count, const unsigned char* limit) {
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // Most texts of a package are short: two words say where the first NUL
    // of 16 bytes is, which is cheaper than a call. A word's lowest flagged
    // byte is its first NUL (a borrow only moves up from a NUL).
    if (count < 16 && static_cast<std::size_t>(limit - text) >= 16) {
        constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
        std::uint64_t low = 0, high = 0;
        std::memcpy(&low, text, 8);
        std::memcpy(&high, text + 8, 8);
        const std::uint64_t lowNuls = (low - kOnes) & ~low & kHighs;
        const std::uint64_t highNuls = (high - kOnes) & ~high & kHighs;
        const std::uint32_t first = lowNuls    ? static_cast<std::uint32_t>(__builtin_ctzll(lowNuls)) / 8
                                    : highNuls ? 8 + static_cast<std::uint32_t>(__builtin_ctzll(highNuls)) / 8
                                               : 16;
        return first == count;
    }
#else
    (void)limit;
#endif
    return std::memchr(text, 0, count) == nullptr && text[count] == 0;
}

}  // namespace

#if defined(__GNUC__)
__attribute__((noinline))
#endif
bool CPackageIndex::CheckCell(std::size_t& p, std::size_t end, std::uint32_t columnCount, std::uint32_t next,
                              const unsigned char* types, IndexCell* cell) {
    const unsigned char* image = m_image;
    // Every read below first makes sure `n` more bytes lie in the table.
    auto has = [&](std::size_t n) { return n <= end - p; };
    if (!has(2)) return Fail("cell runs past its table", p);
    const std::uint32_t column = LoadU16(image + p);
    if (column >= columnCount || column < next) return Fail("cell columns out of order or out of range", p);
    p += 2;
    // Each type checks its cell and steps past it in one go.
    const std::size_t data = p + (types[column] == kTypeInt ? 0 : 4);
    std::uint32_t count = 1;
    switch (types[column]) {
        case kTypeInt:
            if (!has(4)) return Fail("integer cell runs past its table", p);
            p += 4;
            break;
        case kTypeIntArray:
            if (!has(4)) return Fail("array cell runs past its table", p);
            count = LoadU32(image + p);
            if (count > kMaxArrayInts) return Fail("array cell larger than the limit", p);
            p += 4;
            if (count > (end - p) / 4) return Fail("array cell runs past its table", p);
            p += static_cast<std::size_t>(count) * 4;
            break;
        case kTypeText:
            if (!has(4)) return Fail("text cell runs past its table", p);
            count = LoadU32(image + p);
            p += 4;
            // `count + 1` would wrap for a count of 0xFFFFFFFF where size_t has
            // 32 bits; compare without adding.
            if (count >= end - p) return Fail("text cell runs past its table", p);
            if (std::memchr(image + p, 0, count) != nullptr) return Fail("text cell holds a NUL byte", p);
            if (image[p + count] != 0) return Fail("text cell lacks its terminator", p + count);
            p += static_cast<std::size_t>(count) + 1;
            break;
        default:  // kTypeBytes
            if (!has(4)) return Fail("byte cell runs past its table", p);
            count = LoadU32(image + p);
            if (count > kMaxByteCells) return Fail("byte cell larger than the limit", p);
            p += 4;
            if (!has(count)) return Fail("byte cell runs past its table", p);
            p += count;
            break;
    }
    *cell = IndexCell{column, static_cast<std::uint32_t>(data), count};
    return true;
}

bool CPackageIndex::WalkTables(std::size_t size) {
    const unsigned char* image = m_image;
    const unsigned char* const limit = image + size;
    std::uint32_t columnTotal = 0, rowTotal = 0, cellTotal = 0;
    std::uint32_t columnCapacity = 0, rowCapacity = 0, cellCapacity = 0;
    std::size_t expected = kHeaderBytes + static_cast<std::size_t>(m_tableCount) * kDirectoryEntryBytes;
    // Column types of the table being walked; kMaxColumns bounds it.
    unsigned char types[kMaxColumns];

    for (std::uint32_t t = 0; t < m_tableCount; ++t) {
        const std::size_t entry = kHeaderBytes + static_cast<std::size_t>(t) * kDirectoryEntryBytes;
        const std::size_t start = LoadU32(image + entry);
        const std::size_t length = LoadU32(image + entry + 4);
        if (start != expected) return Fail("table does not start where the previous one ends", entry);
        if (length > size - start) return Fail("table runs past the end of the file", entry + 4);
        const std::size_t end = start + length;
        std::size_t p = start;
        const unsigned char* const stop = image + end;
        // Every read below first makes sure `n` more bytes lie in the table.
        auto has = [&](std::size_t n) { return n <= end - p; };

        if (!has(kTableHeadBytes)) return Fail("table too short for its head", p);
        const std::uint32_t columnCount = LoadU16(image + p);
        if (LoadU16(image + p + 2) != 0) return Fail("reserved table field is not zero", p + 2);
        const std::uint32_t rowCount = LoadU32(image + p + 4);
        if (columnCount == 0 || columnCount > kMaxColumns) return Fail("column count out of range", p);
        m_tables[t] = IndexTable{columnTotal, columnCount, rowTotal, rowCount};
        p += kTableHeadBytes;
        if (!Room(m_columns, columnCapacity, columnTotal, columnCount)) return false;

        for (std::uint32_t c = 0; c < columnCount; ++c) {
            if (!has(2)) return Fail("column definition runs past its table", p);
            const unsigned char type = image[p];
            const std::uint32_t nameLength = image[p + 1];
            if (type < kTypeInt || type > kTypeBytes) return Fail("unknown column type", p);
            p += 2;
            if (!has(nameLength)) return Fail("column name runs past its table", p);
            if (!IsValidColumnName(image + p, nameLength)) return Fail("invalid column name", p);
            // Names must be unique, or a lookup by name would be ambiguous.
            for (std::uint32_t k = 0; k < c; ++k) {
                const IndexColumn& other = m_columns[columnTotal + k];
                if (other.nameLength == nameLength && std::memcmp(image + other.nameOffset, image + p, nameLength) == 0)
                    return Fail("duplicate column name", p);
            }
            m_columns[columnTotal + c] = IndexColumn{static_cast<std::uint32_t>(p), nameLength, type};
            types[c] = type;
            p += nameLength;
        }
        columnTotal += columnCount;

        // Room for every row and cell the table can hold at once, bounded
        // by its bytes as much as by its head's count: a row takes two bytes
        // at least, a cell six, and a row holds a cell per column at most.
        const std::size_t rowsThatFit = (end - p) / 2;
        const std::size_t rowsClaimed = rowCount < rowsThatFit ? rowCount : rowsThatFit;
        const std::size_t cellsThatFit = (end - p) / 6;
        const std::size_t cellsClaimed = rowsClaimed * columnCount;
        if (!Room(m_rows, rowCapacity, rowTotal, rowsClaimed) ||
            !Room(m_cells, cellCapacity, cellTotal, cellsClaimed < cellsThatFit ? cellsClaimed : cellsThatFit))
            return false;
        for (std::uint32_t r = 0; r < rowCount; ++r) {
            if (!has(2)) return Fail("row runs past its table", p);
            const std::uint32_t cellCount = LoadU16(image + p);
            if (cellCount > columnCount) return Fail("row has more cells than its table has columns", p);
            // Mostly the room made for the whole table holds the row.
            if (cellCount > cellCapacity - cellTotal && !Room(m_cells, cellCapacity, cellTotal, cellCount))
                return false;
            m_rows[rowTotal] = IndexRow{cellTotal, cellCount};
            p += 2;
            // Written through a local pointer: stores through the member
            // would have it read again a cell.
            IndexCell* cell = m_cells + cellTotal;
            cellTotal += cellCount;
            std::uint32_t next = 0;  // the lowest column the next cell may name
            // The cells as the writer lays them out are checked here, through
            // pointers kept in registers; any other is checked again one
            // rule at a time (CheckCell), which also names what is wrong.
            const unsigned char* at = image + p;
            for (std::uint32_t k = 0; k < cellCount; ++k, ++cell) {
                // Every cell holds its column and four bytes more: an integer
                // or a count. next <= column < columnCount in one compare, as
                // next <= columnCount.
                const std::uint32_t column = stop - at >= 6 ? LoadU16(at) : kMaxColumns;
                if (column - next < columnCount - next) {
                    const unsigned char type = types[column];
                    const std::uint32_t word = LoadU32(at + 2);
                    const std::uint32_t offset = static_cast<std::uint32_t>(at - image);
                    if (type == kTypeInt) {
                        *cell = IndexCell{column, offset + 2, 1};
                        at += 6;
                        next = column + 1;
                        continue;
                    }
                    const std::size_t left = static_cast<std::size_t>(stop - at) - 6;  // after the count
                    std::size_t bytes = word;
                    bool whole;
                    if (type == kTypeText) {
                        whole = word < left && EndsText(at + 6, word, limit);
                        bytes += 1;
                    } else if (type == kTypeIntArray) {
                        whole = word <= kMaxArrayInts && bytes * 4 <= left;
                        bytes *= 4;
                    } else {
                        whole = word <= kMaxByteCells && bytes <= left;
                    }
                    if (whole) {
                        *cell = IndexCell{column, offset + 6, word};
                        at += 6 + bytes;
                        next = column + 1;
                        continue;
                    }
                }
                std::size_t from = static_cast<std::size_t>(at - image);
                if (!CheckCell(from, end, columnCount, next, types, cell)) return false;
                at = image + from;
                next = cell->column + 1;
            }
            p = static_cast<std::size_t>(at - image);
            ++rowTotal;
        }
        if (p != end) return Fail("table has bytes after its last row", p);
        expected = end;
    }
    if (expected != size) return Fail("bytes after the last table", expected);
    return true;
}

long CPackageIndex::FindColumn(const IndexTable& table, const char* name) const {
    if (!name) return -1;
    const std::size_t length = std::strlen(name);
    for (std::uint32_t c = 0; c < table.columnCount; ++c) {
        const IndexColumn& column = m_columns[table.firstColumn + c];
        if (column.nameLength == length && std::memcmp(m_image + column.nameOffset, name, length) == 0)
            return static_cast<long>(c);
    }
    return -1;
}

const IndexCell* CPackageIndex::FindCellLeftOut(const IndexRow& row, std::uint32_t column) const {
    // The cell of `column` is at most the row's cell `column`.
    const std::uint32_t at = column < row.cellCount ? column : row.cellCount;
    if (at < row.cellCount && m_cells[row.firstCell + at].column == column) return &m_cells[row.firstCell + at];
    // A row that leaves columns out has the later ones right before that:
    // the cell just below is tried first, then a binary search below it.
    if (at > 0 && m_cells[row.firstCell + at - 1].column == column) return &m_cells[row.firstCell + at - 1];
    std::uint32_t low = 0, high = at;
    while (low < high) {
        const std::uint32_t mid = low + (high - low) / 2;
        const IndexCell& cell = m_cells[row.firstCell + mid];
        if (cell.column == column) return &cell;
        if (cell.column < column)
            low = mid + 1;
        else
            high = mid;
    }
    return nullptr;
}

}  // namespace packhold
