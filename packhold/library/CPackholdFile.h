// The objects that an opened package hands out: the file, its table set, its
// tables and their rows. The file owns the package image, its index and every
// table and row object; all of them live until Close, which frees them at
// once. Every check happened when the file was opened (CPackageIndex), so the
// operations here only look up and copy.
//
// A row's operations, for a column name that is null, absent from the table,
// absent from the row, or of another type than the operation reads: GetString
// gives null, the others 0, and nothing is written to the caller's storage.
// No operation throws.
#ifndef PACKHOLD_LIBRARY_CPACKHOLDFILE_H
#define PACKHOLD_LIBRARY_CPACKHOLDFILE_H

#include <cstddef>
#include <cstdint>

#include "Packhold.h"
#include "format/Allocate.h"
#include "format/CPackageIndex.h"

namespace packhold {

class CPackhold;
class CPackholdFile;
class CPackholdTable;

class CPackholdRow final : public IPackholdRow {
public:
    CPackholdRow() = default;
    ~CPackholdRow() = default;

    const char* GetString(const char* column) noexcept override;
    int GetInt(const char* column, int* value, int reserved) noexcept override;
    int GetIntArray(const char* column, int* values, int reserved) noexcept override;
    int GetBytes(const char* column, unsigned char* bytes, int reserved) noexcept override;

    void Attach(CPackholdTable* table, const IndexRow* row);

private:
    // The row's cell named `column` if it has type `type`, else null.
    const IndexCell* Find(const char* column, unsigned char type) const;

    CPackholdTable* m_table = nullptr;
    const IndexRow* m_row = nullptr;
};

// A table is also its own reader by number (IPackholdColumns), which
// PackholdColumns hands out.
class CPackholdTable final : public IPackholdTable, public IPackholdColumns {
public:
    CPackholdTable() = default;
    ~CPackholdTable() = default;

    int GetRowCount() noexcept override;
    // Null for an index outside 0 .. GetRowCount() - 1.
    IPackholdRow* GetRow(int index) noexcept override;

    int FindColumn(const char* name) noexcept override;
    const char* GetStringAt(int row, int column) noexcept override;
    int GetIntAt(int row, int column, int* value) noexcept override;
    int GetIntArrayAt(int row, int column, int* values) noexcept override;
    int GetBytesAt(int row, int column, unsigned char* bytes) noexcept override;

    void Attach(const CPackageIndex* index, const IndexTable* table, CPackholdRow* rows);

    const CPackageIndex& Index() const { return *m_index; }
    // The 0-based column named `name` with type `type`, or -1. A reader asks
    // every row for the same few columns, so the last names asked for are
    // kept with their answers, each checked against the text it was kept
    // with: a caller may reuse its buffer for another name.
    long Column(const char* name, unsigned char type);

    // What a row's operations hand out of `cell` (null: none), shared by
    // both ways of reading.
    const char* StringOf(const IndexCell* cell) const;
    int IntOf(const IndexCell* cell, int* value) const;
    int IntArrayOf(const IndexCell* cell, int* values) const;
    int BytesOf(const IndexCell* cell, unsigned char* bytes) const;

private:
    // The cell of row `row` in column `column` if that column has type
    // `type`; null for a row or column outside the table, or none.
    const IndexCell* CellAt(int row, int column, unsigned char type) const;

    static constexpr int kKeptNames = 8;
    static constexpr std::size_t kKeptNameBytes = 24;  // longer names are looked up each time
    struct KeptName {
        const char* name;  // the caller's pointer; null: an empty slot
        char text[kKeptNameBytes];
        std::size_t length;  // of text
        unsigned char type;
        long column;
    };

    const CPackageIndex* m_index = nullptr;
    const IndexTable* m_table = nullptr;
    CPackholdRow* m_rows = nullptr;  // owned by the file
    int m_rowCount = 0;
    // The index's entries for this table, and the image, kept at hand: a
    // reader by number asks for hundreds of thousands of cells.
    const IndexColumn* m_columns = nullptr;
    const IndexRow* m_indexRows = nullptr;
    std::uint32_t m_columnCount = 0;
    const unsigned char* m_image = nullptr;
    KeptName m_kept[kKeptNames] = {};
    int m_nextKept = 0;
    int m_keptCount = 0;  // slots of m_kept in use, the first ones
    int m_nextProbe = 0;  // below m_keptCount: where Column's search starts
};

class CPackholdTableSet final : public IPackholdTableSet {
public:
    CPackholdTableSet() = default;
    ~CPackholdTableSet() = default;

    // Null for an index outside 0 .. table count - 1.
    IPackholdTable* GetTable(int index) noexcept override;

    void Attach(CPackholdTable* tables, int tableCount);

private:
    CPackholdTable* m_tables = nullptr;  // owned by the file
    int m_tableCount = 0;
};

class CPackholdFile final : public IPackholdFile {
public:
    // Reads, checks and indexes the package at `path`; null when anything
    // fails. `owner` is told of the file so that its Release can free a file
    // left open.
    static CPackholdFile* Open(CPackhold* owner, const char* path, const char* key);

    // Null for a package written without a table set.
    IPackholdTableSet* GetTableSet() noexcept override;
    // Frees the file and everything obtained from it.
    void Close() noexcept override;

    // Links in the owner's list of open files.
    CPackholdFile* m_prevOpen = nullptr;
    CPackholdFile* m_nextOpen = nullptr;

private:
    friend class CPackhold;
    explicit CPackholdFile(CPackhold* owner) : m_owner(owner) {}
    ~CPackholdFile();
    CPackholdFile(const CPackholdFile&) = delete;
    CPackholdFile& operator=(const CPackholdFile&) = delete;
    template <class T, class... Args>
    friend T* New(Args&&... args);

    bool Load(const char* path, const char* key);

    CPackhold* m_owner;
    unsigned char* m_image = nullptr;
    std::size_t m_imageSize = 0;
    CPackageIndex m_index;
    CPackholdTableSet m_tableSet;
    CPackholdTable* m_tables = nullptr;
    CPackholdRow* m_rows = nullptr;
};

}  // namespace packhold

#endif
