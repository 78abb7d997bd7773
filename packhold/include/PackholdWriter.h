// Building packages: the in-memory form of a package (tables of rows of
// named, typed cells), checking it against the format's limits, encoding it to
// bytes or a file, and decoding a package back into the same form. The
// packhold-pack and packhold-dump tools are thin layers over this, and a rule
// compiler can be another.
//
// Every function reports failure as false (or -1) with an English sentence in
// `*error` when `error` is not null; none lets an exception escape. Encoding
// the same package with the same key always gives the same bytes.
//
// Limits (see docs/package-format.md): a column name is 1 to 255 bytes of
// printable ASCII other than space and ':', unique in its table; at most 1024
// columns a table; an int[] cell holds at most 256 integers and a bytes cell at
// most 1024 bytes (packhold::kMaxCellBytes); a text cell holds no NUL byte; a
// key holds no NUL byte; a whole package is at most 64 MiB.
#ifndef PACKHOLD_WRITER_H
#define PACKHOLD_WRITER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace packhold {

// The key the filter opens its rule package with, and the tools' default.
constexpr const char* kDefaultKey = "wxyz";

enum class CellType : unsigned char { kInt = 1, kIntArray = 2, kText = 3, kBytes = 4 };

// "int", "int[]", "str", "bytes": the names the TSV form uses.
const char* CellTypeName(CellType type);
// The type named `name` (as above); false for any other text.
bool ParseCellTypeName(const std::string& name, CellType* type);

struct Column {
    std::string name;
    CellType type;
};

// One cell of a row: a value of one of the four types, or no cell at all.
class Cell {
public:
    // No cell: the row has nothing in this column.
    Cell() = default;
    static Cell Int(std::int32_t value);
    static Cell IntArray(std::vector<std::int32_t> values);
    static Cell Text(std::string text);
    static Cell Bytes(std::vector<unsigned char> bytes);

    bool IsPresent() const { return m_present; }
    // Meaningful only for a present cell.
    CellType Type() const { return m_type; }
    std::int32_t IntValue() const { return m_int; }
    const std::vector<std::int32_t>& IntArrayValue() const { return m_ints; }
    const std::string& TextValue() const { return m_text; }
    const std::vector<unsigned char>& BytesValue() const { return m_bytes; }

    bool operator==(const Cell& other) const;
    bool operator!=(const Cell& other) const { return !(*this == other); }

private:
    bool m_present = false;
    CellType m_type = CellType::kInt;
    std::int32_t m_int = 0;
    std::vector<std::int32_t> m_ints;
    std::string m_text;
    std::vector<unsigned char> m_bytes;
};

// A table: its columns, and its rows, each holding exactly one Cell per
// column (an absent Cell where the row has none).
struct Table {
    std::vector<Column> columns;
    std::vector<std::vector<Cell>> rows;
};

// A package: its tables in order. A package without a table set holds no
// tables, and a reader's GetTableSet gives null for it.
struct Package {
    bool hasTableSet = true;
    std::vector<Table> tables;
};

// The cell of row `row` in the column named `name`, or an absent cell when
// the table has no such column.
const Cell& CellNamed(const Table& table, std::size_t row, const char* name);

bool operator==(const Table& a, const Table& b);
bool operator==(const Package& a, const Package& b);

// Checks a package against the format's rules and limits.
bool CheckPackage(const Package& package, std::string* error);

// Encodes a package packed with `key`. `*out` is replaced, and left empty on
// failure.
bool EncodePackage(const Package& package, const std::string& key, std::vector<unsigned char>* out, std::string* error);

// Decodes bytes packed with `key`, checking them exactly as the reader library
// does, into `*out`.
bool DecodePackage(const unsigned char* data, std::size_t size, const std::string& key, Package* out,
                   std::string* error);

// Writes `bytes` to `path` through a temporary file beside it, so that either
// the whole new file or the old state is there afterwards, never a part.
bool WriteFileAtomically(const std::string& path, const std::vector<unsigned char>& bytes, std::string* error);
// Reads a whole file.
bool ReadWholeFile(const std::string& path, std::vector<unsigned char>* out, std::string* error);

// Builds a package step by step, checking each step, so that a mistake is
// reported where it is made.
class CPackageWriter {
public:
    explicit CPackageWriter(std::string key = kDefaultKey);

    const std::string& Key() const { return m_key; }
    void SetKey(std::string key) { m_key = std::move(key); }
    // Off: the package has no table set (and then may have no tables).
    void SetTableSet(bool present) { m_package.hasTableSet = present; }

    // Adds an empty table; returns its 0-based index, or -1.
    int AddTable(std::vector<Column> columns, std::string* error);
    // Appends a row to table `table`: one Cell per column, in column order.
    bool AddRow(int table, std::vector<Cell> cells, std::string* error);

    const Package& GetPackage() const { return m_package; }

    bool WriteToBytes(std::vector<unsigned char>* out, std::string* error) const;
    bool WriteToFile(const std::string& path, std::string* error) const;

private:
    std::string m_key;
    Package m_package;
};

}  // namespace packhold

#endif
