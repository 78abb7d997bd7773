// The package library's interfaces: what a program sees of "Packhold.dll"
// (libPackhold.so on POSIX). The filter, the tools and any other
// implementation of the package library rely on this layout: each interface's
// virtual operations begin with exactly these, in this order.
//
// Calling order: CreatePackhold gives the root object; OpenFile gives an opened
// package; its table set, tables and rows belong to the opened file and stay
// valid until Close. Release gives the root object back; nothing obtained from
// it is used afterwards. Texts returned by a row stay valid until Close.
// Not thread-safe: one thread at a time per root object.
#ifndef PACKHOLD_H
#define PACKHOLD_H

#if defined(_WIN32)
#define PACKHOLD_CALL __cdecl
#if defined(PACKHOLD_BUILDING_LIBRARY)
#define PACKHOLD_API __declspec(dllexport)
#else
#define PACKHOLD_API
#endif
#else
#define PACKHOLD_CALL
#define PACKHOLD_API __attribute__((visibility("default")))
#endif

class IPackholdRow {
public:
    // The cell's text, or null when the row has no text cell of that name.
    virtual const char* GetString(const char* column) = 0;
    // Stores the integer cell through `value`; nonzero on success, 0 when the
    // row has no integer cell of that name. `reserved` is 0.
    virtual int GetInt(const char* column, int* value, int reserved) = 0;
    // Stores the integer-array cell into `values` and returns its count; 0 on
    // failure or for an empty array. `values` must hold kMaxCellBytes bytes.
    virtual int GetIntArray(const char* column, int* values, int reserved) = 0;
    // Stores the byte cell into `bytes` and returns its count; 0 on failure or
    // for an empty cell. `bytes` must hold kMaxCellBytes bytes.
    virtual int GetBytes(const char* column, unsigned char* bytes, int reserved) = 0;

protected:
    ~IPackholdRow() = default;
};

class IPackholdTable {
public:
    virtual int GetRowCount() = 0;
    virtual IPackholdRow* GetRow(int index) = 0;

protected:
    ~IPackholdTable() = default;
};

class IPackholdTableSet {
public:
    virtual IPackholdTable* GetTable(int index) = 0;

protected:
    ~IPackholdTableSet() = default;
};

class IPackholdFile {
public:
    virtual IPackholdTableSet* GetTableSet() = 0;
    virtual void Close() = 0;

protected:
    ~IPackholdFile() = default;
};

class IPackhold {
public:
    // Opens the package at `path` ('\' and '/' both separate folders) packed
    // with `key`; null when it cannot be opened, is damaged or has another key.
    virtual IPackholdFile* OpenFile(const char* path, int reserved, const char* key) = 0;
    virtual void Release() = 0;

protected:
    ~IPackhold() = default;
};

// A table read by row and column number, for readers that ask every row for
// the same few columns: each column is found by name once, and every cell
// read after that is a lookup by number, without a row object. Obtained
// from PackholdColumns for a table of an opened file; it lives as long as
// the table. The operations answer as IPackholdRow's of the same names do
// for that row and that column's name, and the same way (null or 0, nothing
// written) for a row or column outside the table.
class IPackholdColumns {
public:
    // The 0-based column named `name`, or -1 when the table has none.
    virtual int FindColumn(const char* name) = 0;
    virtual const char* GetStringAt(int row, int column) = 0;
    virtual int GetIntAt(int row, int column, int* value) = 0;
    virtual int GetIntArrayAt(int row, int column, int* values) = 0;
    virtual int GetBytesAt(int row, int column, unsigned char* bytes) = 0;

protected:
    ~IPackholdColumns() = default;
};

namespace packhold {
// The largest array or byte cell a package may hold, in bytes. A caller's
// buffer of this size is never written past.
constexpr int kMaxCellBytes = 1024;
// The version CreatePackhold expects as its first argument.
constexpr int kInterfaceVersion = 5;
}  // namespace packhold

// Stores a new root object through `root` and returns nonzero; 0 on failure.
extern "C" PACKHOLD_API int PACKHOLD_CALL CreatePackhold(int version, int reserved, IPackhold** root);

// The factory's type, for programs that load the library at run time.
typedef int(PACKHOLD_CALL* CreatePackholdFn)(int version, int reserved, IPackhold** root);

// The reader by number of `table`, which must come from this library's
// GetTable (a table of a file still open); null for a null table. Libraries
// that came before it lack the export: a program that loads the library at
// run time looks it up and reads by name when it is missing.
extern "C" PACKHOLD_API IPackholdColumns* PACKHOLD_CALL PackholdColumns(IPackholdTable* table);
typedef IPackholdColumns*(PACKHOLD_CALL* PackholdColumnsFn)(IPackholdTable* table);

#endif
