#include "library/CPackholdFile.h"

#include <cstring>

#include "format/Allocate.h"
#include "format/PackFormat.h"
#include "library/CPackhold.h"
#include "library/FileBytes.h"

namespace packhold {

using namespace format;

// ---- rows

void CPackholdRow::Attach(const CPackageIndex* index, const IndexTable* table, const IndexRow* row) {
    m_index = index;
    m_table = table;
    m_row = row;
}

const IndexCell* CPackholdRow::Find(const char* column, unsigned char type) const {
    const long c = m_index->FindColumn(*m_table, column);
    if (c < 0) return nullptr;
    const std::uint32_t position = static_cast<std::uint32_t>(c);
    if (m_index->Column(m_table->firstColumn + position).type != type) return nullptr;
    return m_index->FindCell(*m_row, position);
}

const char* CPackholdRow::GetString(const char* column) noexcept {
    const IndexCell* cell = Find(column, kTypeText);
    // The index made sure the text is NUL-terminated inside the image.
    return cell ? reinterpret_cast<const char*>(m_index->Image() + cell->dataOffset) : nullptr;
}

int CPackholdRow::GetInt(const char* column, int* value, int /*reserved*/) noexcept {
    if (!value) return 0;
    const IndexCell* cell = Find(column, kTypeInt);
    if (!cell) return 0;
    *value = LoadI32(m_index->Image() + cell->dataOffset);
    return 1;
}

int CPackholdRow::GetIntArray(const char* column, int* values, int /*reserved*/) noexcept {
    if (!values) return 0;
    const IndexCell* cell = Find(column, kTypeIntArray);
    if (!cell) return 0;
    // cell->count <= kMaxArrayInts, so a kMaxCellBytes buffer always suffices.
    const unsigned char* p = m_index->Image() + cell->dataOffset;
    for (std::uint32_t i = 0; i < cell->count; ++i) values[i] = LoadI32(p + 4 * i);
    return static_cast<int>(cell->count);
}

int CPackholdRow::GetBytes(const char* column, unsigned char* bytes, int /*reserved*/) noexcept {
    if (!bytes) return 0;
    const IndexCell* cell = Find(column, kTypeBytes);
    if (!cell) return 0;
    if (cell->count) std::memcpy(bytes, m_index->Image() + cell->dataOffset, cell->count);
    return static_cast<int>(cell->count);
}

// ---- tables and the table set

void CPackholdTable::Attach(CPackholdRow* rows, int rowCount) {
    m_rows = rows;
    m_rowCount = rowCount;
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
        for (std::uint32_t r = 0; r < table.rowCount; ++r)
            m_rows[table.firstRow + r].Attach(&m_index, &table, &m_index.Row(table.firstRow + r));
        // Row counts fit in an int: each row takes at least two bytes of a
        // file no larger than kMaxFileBytes.
        m_tables[t].Attach(m_rows + table.firstRow, static_cast<int>(table.rowCount));
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
