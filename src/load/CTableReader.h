// CTableReader: reads one table of the package row by row, each cell by the
// name of its column. Where the package library offers its reader by number
// (PackholdColumns), each name is looked up once for the table and every
// cell read is a lookup by row and column number; with a library that came
// before it, each row is fetched and asked by name, as such libraries expect.
// Both ways give the same cells: a missing row, column or cell, or one of
// another type, reads as null or 0.
//
// Order: Column for each name read, then for each row Seek, then its reads.
// The reader holds nothing of the library's; the table must stay open while
// it is used.
#ifndef CHATSIEVE_LOAD_CTABLEREADER_H
#define CHATSIEVE_LOAD_CTABLEREADER_H

#include "Packhold.h"

namespace chatsieve {

class CTableReader {
public:
    static constexpr int kMaxColumns = 8;

    // `columns` is the library's export PackholdColumns, or null.
    CTableReader(IPackholdTable* table, PackholdColumnsFn columns);
    CTableReader(const CTableReader&) = delete;
    CTableReader& operator=(const CTableReader&) = delete;

    // Names a column to read and gives the number the reads take for it
    // (0 for the first named, and so on); -1 past kMaxColumns names.
    int Column(const char* name);
    int RowCount() { return m_table->GetRowCount(); }
    // Goes to row `index`; false when the library gives no row for it. The
    // reads below take a number Column gave (not -1).
    bool Seek(int index) {
        m_index = index;
        if (m_columns) return true;
        m_row = m_table->GetRow(index);
        return m_row != nullptr;
    }

    const char* GetString(int column) {
        return m_columns ? m_columns->GetStringAt(m_index, m_numbers[column]) : m_row->GetString(m_names[column]);
    }
    int GetInt(int column, int* value) {
        return m_columns ? m_columns->GetIntAt(m_index, m_numbers[column], value)
                         : m_row->GetInt(m_names[column], value, 0);
    }
    int GetIntArray(int column, int* values) {
        return m_columns ? m_columns->GetIntArrayAt(m_index, m_numbers[column], values)
                         : m_row->GetIntArray(m_names[column], values, 0);
    }
    int GetBytes(int column, unsigned char* bytes) {
        return m_columns ? m_columns->GetBytesAt(m_index, m_numbers[column], bytes)
                         : m_row->GetBytes(m_names[column], bytes, 0);
    }

private:
    IPackholdTable* m_table;
    IPackholdColumns* m_columns;  // null: read by name through rows
    IPackholdRow* m_row = nullptr;
    int m_index = -1;
    int m_count = 0;
    const char* m_names[kMaxColumns] = {};
    int m_numbers[kMaxColumns] = {};
};

}  // namespace chatsieve

#endif
