#include "load/CTableReader.h"

namespace chatsieve {

CTableReader::CTableReader(IPackholdTable* table, PackholdColumnsFn columns)
    : m_table(table), m_columns(columns ? columns(table) : nullptr) {}

int CTableReader::Column(const char* name) {
    if (m_count == kMaxColumns) return -1;
    m_names[m_count] = name;
    // A column the table lacks reads as -1, which every read refuses.
    m_numbers[m_count] = m_columns ? m_columns->FindColumn(name) : -1;
    return m_count++;
}

}  // namespace chatsieve
