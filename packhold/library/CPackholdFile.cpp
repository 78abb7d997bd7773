#include "library/CPackholdFile.h"

#include <cstring>

#include "format/Allocate.h"
#include "format/PackFormat.h"
#include "library/CPackhold.h"
#include "library/FileBytes.h"

namespace packhold {

using namespace format;

// ---- rows

void CPackholdRow::Attach(CPackholdTable* table, const IndexRow* row) {
    m_table = table;
    m_row = row;
}

const IndexCell* CPackholdRow::Find(const char* column, unsigned char type) const {
    const long c = m_table->Column(column, type);
    return c < 0 ? nullptr : m_table->Index().FindCell(*m_row, static_cast<std::uint32_t>(c));
}

const char* CPackholdRow::GetString(const char* column) noexcept { return m_table->StringOf(Find(column, kTypeText)); }

int CPackholdRow::GetInt(const char* column, int* value, int /*reserved*/) noexcept {
    return value ? m_table->IntOf(Find(column, kTypeInt), value) : 0;
}

int CPackholdRow::GetIntArray(const char* column, int* values, int /*reserved*/) noexcept {
    return values ? m_table->IntArrayOf(Find(column, kTypeIntArray), values) : 0;
}

int CPackholdRow::GetBytes(const char* column, unsigned char* bytes, int /*reserved*/) noexcept {
    return bytes ? m_table->BytesOf(Find(column, kTypeBytes), bytes) : 0;
}

// ---- tables and the table set

void CPackholdTable::Attach(const CPackageIndex* index, const IndexTable* table, CPackholdRow* rows) {
    m_index = index;
    m_table = table;
    m_rows = rows;
    // Row counts fit in an int: each row takes at least two bytes of a file
    // no larger than kMaxFileBytes.
    m_rowCount = static_cast<int>(table->rowCount);
    m_columns = &index->Column(table->firstColumn);
    m_indexRows = table->rowCount ? &index->Row(table->firstRow) : nullptr;
    m_columnCount = table->columnCount;
    m_image = index->Image();
    for (int r = 0; r < m_rowCount; ++r)
        rows[r].Attach(this, &index->Row(table->firstRow + static_cast<std::uint32_t>(r)));
}

namespace {

// Whether `name` holds the text `kept` of `length` bytes, none of them NUL.
// A byte of `name` is read only while the ones before it matched, so never
// past its terminator, which differs from every byte of `kept`.
bool SameText(const char* kept, std::size_t length, const char* name) {
    for (std::size_t i = 0; i < length; ++i)
        if (kept[i] != name[i]) return false;
    return name[length] == 0;
}

}  // namespace

long CPackholdTable::Column(const char* name, unsigned char type) {
    if (!name) return -1;
    // A reader asks each row for its names in the same order as the row
    // before, so the name asked for now is mostly the one kept after the
    // last answer: the search starts there.
    for (int i = 0, k = m_nextProbe; i < m_keptCount; ++i, k = k + 1 < m_keptCount ? k + 1 : 0) {
        const KeptName& kept = m_kept[k];
        if (kept.name == name && kept.type == type && SameText(kept.text, kept.length, name)) {
            m_nextProbe = k + 1 < m_keptCount ? k + 1 : 0;
            return kept.column;
        }
    }
    long column = m_index->FindColumn(*m_table, name);
    if (column >= 0 && m_index->Column(m_table->firstColumn + static_cast<std::uint32_t>(column)).type != type)
        column = -1;
    const std::size_t length = std::strlen(name);
    if (length < kKeptNameBytes) {
        KeptName& kept = m_kept[m_nextKept];
        m_nextKept = (m_nextKept + 1) % kKeptNames;
        kept.name = name;
        std::memcpy(kept.text, name, length + 1);
        kept.length = length;
        kept.type = type;
        kept.column = column;
        if (m_keptCount < kKeptNames) ++m_keptCount;
        m_nextProbe = m_nextKept < m_keptCount ? m_nextKept : 0;
    }
    return column;
}

const char* CPackholdTable::StringOf(const IndexCell* cell) const {
    // The index made sure the text is NUL-terminated inside the image.
    return cell ? reinterpret_cast<const char*>(m_image + cell->dataOffset) : nullptr;
}

int CPackholdTable::IntOf(const IndexCell* cell, int* value) const {
    if (!cell) return 0;
    *value = LoadI32(m_image + cell->dataOffset);
    return 1;
}

int CPackholdTable::IntArrayOf(const IndexCell* cell, int* values) const {
    if (!cell) return 0;
    // cell->count <= kMaxArrayInts, so a kMaxCellBytes buffer always suffices.
    const unsigned char* p = m_image + cell->dataOffset;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ && __SIZEOF_INT__ == 4
    // The cell's bytes are the ints as such a processor holds them.
    if (cell->count) std::memcpy(values, p, 4 * static_cast<std::size_t>(cell->count));
#else
    for (std::uint32_t i = 0; i < cell->count; ++i) values[i] = LoadI32(p + 4 * i);
#endif
    return static_cast<int>(cell->count);
}

int CPackholdTable::BytesOf(const IndexCell* cell, unsigned char* bytes) const {
    if (!cell) return 0;
    if (cell->count) std::memcpy(bytes, m_image + cell->dataOffset, cell->count);
    return static_cast<int>(cell->count);
}

const IndexCell* CPackholdTable::CellAt(int row, int column, unsigned char type) const {
    // Unsigned compares take the negative numbers too.
    if (static_cast<unsigned>(row) >= static_cast<unsigned>(m_rowCount) ||
        static_cast<std::uint32_t>(column) >= m_columnCount)
        return nullptr;
    const std::uint32_t c = static_cast<std::uint32_t>(column);
    if (m_columns[c].type != type) return nullptr;
    return m_index->FindCell(m_indexRows[row], c);
}

int CPackholdTable::FindColumn(const char* name) noexcept {
    // Column counts are at most kMaxColumns, so the number fits an int.
    return static_cast<int>(m_index->FindColumn(*m_table, name));
}

const char* CPackholdTable::GetStringAt(int row, int column) noexcept {
    return StringOf(CellAt(row, column, kTypeText));
}

int CPackholdTable::GetIntAt(int row, int column, int* value) noexcept {
    return value ? IntOf(CellAt(row, column, kTypeInt), value) : 0;
}

int CPackholdTable::GetIntArrayAt(int row, int column, int* values) noexcept {
    return values ? IntArrayOf(CellAt(row, column, kTypeIntArray), values) : 0;
}

int CPackholdTable::GetBytesAt(int row, int column, unsigned char* bytes) noexcept {
    return bytes ? BytesOf(CellAt(row, column, kTypeBytes), bytes) : 0;
}

int CPackholdTable::GetRowCount() noexcept { return m_rowCount; }

IPackholdRow* CPackholdTable::GetRow(int index) noexcept {
    return index >= 0 && index < m_rowCount ? &m_rows[index] : nullptr;
}

void CPackholdTableSet::Attach(CPackholdTable* tables, int tableCount) {
    m_tables = tables;
    m_tableCount = tableCount;
}

IPackholdTable* CPackholdTableSet::GetTable(int index) noexcept {
    return index >= 0 && index < m_tableCount ? &m_tables[index] : nullptr;
}

// ---- the file

CPackholdFile* CPackholdFile::Open(CPackhold* owner, const char* path, const char* key) {
    CPackholdFile* file = New<CPackholdFile>(owner);
    if (!file) return nullptr;
    if (!file->Load(path, key)) {
        delete file;
        return nullptr;
    }
    return file;
}

CPackholdFile::~CPackholdFile() {
    FreeArray(m_rows);
    FreeArray(m_tables);
    // The index refers into the image; it is emptied by its own destructor,
    // which runs after this body but touches only its own arrays.
    FreeArray(m_image);
}

bool CPackholdFile::Load(const char* path, const char* key) {
    if (!path || !key) return false;
    if (!ReadFileBytes(path, kMaxFileBytes, &m_image, &m_imageSize)) return false;
    if (!m_index.Build(m_image, m_imageSize, key)) return false;

    const std::uint32_t tableCount = m_index.TableCount();
    std::uint32_t rowTotal = 0;
    for (std::uint32_t t = 0; t < tableCount; ++t) rowTotal += m_index.Table(t).rowCount;
    m_tables = AllocateArray<CPackholdTable>(tableCount);
    m_rows = AllocateArray<CPackholdRow>(rowTotal);
    if (!m_tables || !m_rows) return false;
    for (std::uint32_t t = 0; t < tableCount; ++t) {
        const IndexTable& table = m_index.Table(t);
        m_tables[t].Attach(&m_index, &table, m_rows + table.firstRow);
    }
    m_tableSet.Attach(m_tables, static_cast<int>(tableCount));
    return true;
}

IPackholdTableSet* CPackholdFile::GetTableSet() noexcept { return m_index.HasTableSet() ? &m_tableSet : nullptr; }

void CPackholdFile::Close() noexcept {
    if (m_owner) m_owner->Forget(this);
    delete this;
}

}  // namespace packhold
