#include "PackholdWriter.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include "Packhold.h"
#include "format/CPackageIndex.h"
#include "format/PackFormat.h"

namespace packhold {

using namespace format;

namespace {

bool SetError(std::string* error, const std::string& text) {
    if (error) {
        try {
            *error = text;
        } catch (...) {
            // Out of memory while reporting: the false result still says it.
        }
    }
    return false;
}

// Runs `body`, turning any exception into a false result with its text.
template <class Body>
bool Guarded(std::string* error, Body body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return SetError(error, "out of memory");
    } catch (const std::exception& e) {
        return SetError(error, e.what());
    } catch (...) {
        return SetError(error, "unexpected failure");
    }
}

std::string TablePlace(std::size_t table) { return "table " + std::to_string(table); }

std::string CellPlace(std::size_t table, std::size_t row, const Column& column) {
    return TablePlace(table) + ", row " + std::to_string(row) + ", column '" + column.name + "'";
}

bool CheckColumns(const std::vector<Column>& columns, const std::string& place, std::string* error) {
    if (columns.empty()) return SetError(error, place + ": a table needs at least one column");
    if (columns.size() > kMaxColumns)
        return SetError(error, place + ": more than " + std::to_string(kMaxColumns) + " columns");
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const Column& column = columns[i];
        const std::string& name = column.name;
        if (!IsValidColumnName(reinterpret_cast<const unsigned char*>(name.data()), name.size()))
            return SetError(error, place + ": invalid column name '" + name +
                                       "' (1 to 255 printable ASCII characters other than space and ':')");
        const unsigned char type = static_cast<unsigned char>(column.type);
        if (type < kTypeInt || type > kTypeBytes) return SetError(error, place + ": column '" + name + "' has no type");
        for (std::size_t k = 0; k < i; ++k) {
            if (columns[k].name == name) return SetError(error, place + ": duplicate column name '" + name + "'");
        }
    }
    return true;
}

// The place is spelt out only for an error: every cell of a package is checked.
bool CheckCell(const Cell& cell, const Column& column, std::size_t table, std::size_t row, std::string* error) {
    if (!cell.IsPresent()) return true;
    const auto place = [&] { return CellPlace(table, row, column); };
    if (cell.Type() != column.type)
        return SetError(error, place() + ": a " + CellTypeName(cell.Type()) + " cell in a " +
                                   CellTypeName(column.type) + " column");
    switch (cell.Type()) {
        case CellType::kIntArray:
            if (cell.IntArrayValue().size() > kMaxArrayInts)
                return SetError(error, place() + ": more than " + std::to_string(kMaxArrayInts) + " integers");
            break;
        case CellType::kBytes:
            if (cell.BytesValue().size() > kMaxByteCells)
                return SetError(error, place() + ": more than " + std::to_string(kMaxByteCells) + " bytes");
            break;
        case CellType::kText:
            if (cell.TextValue().find('\0') != std::string::npos)
                return SetError(error, place() + ": a text cannot hold a NUL byte");
            break;
        case CellType::kInt:
            break;
    }
    return true;
}

bool CheckRow(const std::vector<Cell>& row, const std::vector<Column>& columns, std::size_t table, std::size_t index,
              std::string* error) {
    if (row.size() != columns.size())
        return SetError(error, TablePlace(table) + ", row " + std::to_string(index) + ": " +
                                   std::to_string(row.size()) + " cells for " + std::to_string(columns.size()) +
                                   " columns");
    for (std::size_t c = 0; c < row.size(); ++c) {
        if (!CheckCell(row[c], columns[c], table, index, error)) return false;
    }
    return true;
}

bool CheckKey(const std::string& key, std::string* error) {
    if (key.find('\0') != std::string::npos) return SetError(error, "the key cannot hold a NUL byte");
    return true;
}

class CByteSink {
public:
    explicit CByteSink(std::vector<unsigned char>* out) : m_out(out) {}
    void U8(unsigned v) { m_out->push_back(static_cast<unsigned char>(v)); }
    void U16(std::uint32_t v) {
        U8(v & 0xFFu);
        U8((v >> 8) & 0xFFu);
    }
    void U32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) U8((v >> (8 * i)) & 0xFFu);
    }
    void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
    void Raw(const void* data, std::size_t size) {
        const unsigned char* p = static_cast<const unsigned char*>(data);
        m_out->insert(m_out->end(), p, p + size);
    }

private:
    std::vector<unsigned char>* m_out;
};

void EncodeTable(const Table& table, std::vector<unsigned char>* out) {
    CByteSink sink(out);
    sink.U16(static_cast<std::uint32_t>(table.columns.size()));
    sink.U16(0);
    sink.U32(static_cast<std::uint32_t>(table.rows.size()));
    for (const Column& column : table.columns) {
        sink.U8(static_cast<unsigned char>(column.type));
        sink.U8(static_cast<unsigned>(column.name.size()));
        sink.Raw(column.name.data(), column.name.size());
    }
    for (const std::vector<Cell>& row : table.rows) {
        std::uint32_t present = 0;
        for (const Cell& cell : row) present += cell.IsPresent() ? 1 : 0;
        sink.U16(present);
        for (std::size_t c = 0; c < row.size(); ++c) {
            const Cell& cell = row[c];
            if (!cell.IsPresent()) continue;
            sink.U16(static_cast<std::uint32_t>(c));
            switch (cell.Type()) {
                case CellType::kInt:
                    sink.I32(cell.IntValue());
                    break;
                case CellType::kIntArray:
                    sink.U32(static_cast<std::uint32_t>(cell.IntArrayValue().size()));
                    for (std::int32_t v : cell.IntArrayValue()) sink.I32(v);
                    break;
                case CellType::kText:
                    sink.U32(static_cast<std::uint32_t>(cell.TextValue().size()));
                    sink.Raw(cell.TextValue().data(), cell.TextValue().size());
                    sink.U8(0);
                    break;
                case CellType::kBytes:
                    sink.U32(static_cast<std::uint32_t>(cell.BytesValue().size()));
                    sink.Raw(cell.BytesValue().data(), cell.BytesValue().size());
                    break;
            }
        }
    }
}

}  // namespace

const char* CellTypeName(CellType type) {
    switch (type) {
        case CellType::kInt:
            return "int";
        case CellType::kIntArray:
            return "int[]";
        case CellType::kText:
            return "str";
        case CellType::kBytes:
            return "bytes";
    }
    return "?";
}

bool ParseCellTypeName(const std::string& name, CellType* type) {
    for (CellType t : {CellType::kInt, CellType::kIntArray, CellType::kText, CellType::kBytes}) {
        if (name == CellTypeName(t)) {
            *type = t;
            return true;
        }
    }
    return false;
}

Cell Cell::Int(std::int32_t value) {
    Cell cell;
    cell.m_present = true;
    cell.m_type = CellType::kInt;
    cell.m_int = value;
    return cell;
}

Cell Cell::IntArray(std::vector<std::int32_t> values) {
    Cell cell;
    cell.m_present = true;
    cell.m_type = CellType::kIntArray;
    cell.m_ints = std::move(values);
    return cell;
}

Cell Cell::Text(std::string text) {
    Cell cell;
    cell.m_present = true;
    cell.m_type = CellType::kText;
    cell.m_text = std::move(text);
    return cell;
}

Cell Cell::Bytes(std::vector<unsigned char> bytes) {
    Cell cell;
    cell.m_present = true;
    cell.m_type = CellType::kBytes;
    cell.m_bytes = std::move(bytes);
    return cell;
}

bool Cell::operator==(const Cell& other) const {
    if (m_present != other.m_present) return false;
    if (!m_present) return true;
    if (m_type != other.m_type) return false;
    switch (m_type) {
        case CellType::kInt:
            return m_int == other.m_int;
        case CellType::kIntArray:
            return m_ints == other.m_ints;
        case CellType::kText:
            return m_text == other.m_text;
        case CellType::kBytes:
            return m_bytes == other.m_bytes;
    }
    return false;
}

const Cell& CellNamed(const Table& table, std::size_t row, const char* name) {
    static const Cell kNone;
    for (std::size_t i = 0; i < table.columns.size(); ++i)
        if (table.columns[i].name == name) return table.rows[row][i];
    return kNone;
}

bool operator==(const Table& a, const Table& b) {
    if (a.columns.size() != b.columns.size()) return false;
    for (std::size_t i = 0; i < a.columns.size(); ++i) {
        if (a.columns[i].name != b.columns[i].name || a.columns[i].type != b.columns[i].type) return false;
    }
    return a.rows == b.rows;
}

bool operator==(const Package& a, const Package& b) { return a.hasTableSet == b.hasTableSet && a.tables == b.tables; }

bool CheckPackage(const Package& package, std::string* error) {
    return Guarded(error, [&] {
        if (!package.hasTableSet && !package.tables.empty())
            return SetError(error, "a package without a table set cannot hold tables");
        for (std::size_t t = 0; t < package.tables.size(); ++t) {
            const Table& table = package.tables[t];
            if (!CheckColumns(table.columns, TablePlace(t), error)) return false;
            for (std::size_t r = 0; r < table.rows.size(); ++r) {
                if (!CheckRow(table.rows[r], table.columns, t, r, error)) return false;
            }
        }
        return true;
    });
}

bool EncodePackage(const Package& package, const std::string& key, std::vector<unsigned char>* out,
                   std::string* error) {
    if (!out) return SetError(error, "no output given");
    out->clear();
    bool ok = Guarded(error, [&] {
        if (!CheckKey(key, error) || !CheckPackage(package, error)) return false;
        std::vector<std::vector<unsigned char>> tables(package.tables.size());
        const std::size_t count = package.tables.size();
        std::size_t size = kHeaderBytes + count * kDirectoryEntryBytes;
        for (std::size_t t = 0; t < count; ++t) {
            EncodeTable(package.tables[t], &tables[t]);
            size += tables[t].size();
            if (size > kMaxFileBytes)
                return SetError(error, "the package would be larger than " + std::to_string(kMaxFileBytes) + " bytes");
        }
        out->assign(kHeaderBytes + count * kDirectoryEntryBytes, 0);
        unsigned char* header = out->data();
        std::memcpy(header + kOffMagic, kMagic, sizeof kMagic);
        StoreU16(header + kOffVersion, kFormatVersion);
        StoreU16(header + kOffHeaderBytes, kHeaderBytes);
        StoreU32(header + kOffFileBytes, static_cast<std::uint32_t>(size));
        StoreU32(header + kOffFlags, package.hasTableSet ? kFlagTableSet : 0);
        StoreU64(header + kOffKeyTag, KeyTag(key.data(), key.size()));
        StoreU32(header + kOffTableCount, static_cast<std::uint32_t>(count));
        std::size_t offset = out->size();
        for (std::size_t t = 0; t < count; ++t) {
            unsigned char* entry = out->data() + kHeaderBytes + t * kDirectoryEntryBytes;
            StoreU32(entry, static_cast<std::uint32_t>(offset));
            StoreU32(entry + 4, static_cast<std::uint32_t>(tables[t].size()));
            offset += tables[t].size();
        }
        for (const std::vector<unsigned char>& table : tables) out->insert(out->end(), table.begin(), table.end());
        StoreU32(out->data() + kOffChecksum, Crc32(out->data() + kChecksumStart, out->size() - kChecksumStart));
        return true;
    });
    if (!ok) out->clear();
    return ok;
}

bool DecodePackage(const unsigned char* data, std::size_t size, const std::string& key, Package* out,
                   std::string* error) {
    if (!out || (!data && size != 0)) return SetError(error, "no package given");
    static const unsigned char kNothing = 0;
    if (!data) data = &kNothing;
    return Guarded(error, [&] {
        if (!CheckKey(key, error)) return false;
        CPackageIndex index;
        if (!index.Build(data, size, key.c_str()))
            return SetError(error,
                            std::string(index.ErrorText()) + " (at byte " + std::to_string(index.ErrorOffset()) + ")");
        Package package;
        package.hasTableSet = index.HasTableSet();
        package.tables.resize(index.TableCount());
        for (std::uint32_t t = 0; t < index.TableCount(); ++t) {
            const IndexTable& indexTable = index.Table(t);
            Table& table = package.tables[t];
            for (std::uint32_t c = 0; c < indexTable.columnCount; ++c) {
                const IndexColumn& column = index.Column(indexTable.firstColumn + c);
                table.columns.push_back(
                    Column{std::string(reinterpret_cast<const char*>(data + column.nameOffset), column.nameLength),
                           static_cast<CellType>(column.type)});
            }
            table.rows.resize(indexTable.rowCount);
            for (std::uint32_t r = 0; r < indexTable.rowCount; ++r) {
                const IndexRow& indexRow = index.Row(indexTable.firstRow + r);
                std::vector<Cell>& row = table.rows[r];
                row.resize(indexTable.columnCount);
                for (std::uint32_t k = 0; k < indexRow.cellCount; ++k) {
                    const IndexCell& cell = index.Cell(indexRow.firstCell + k);
                    const unsigned char* p = data + cell.dataOffset;
                    switch (static_cast<CellType>(table.columns[cell.column].type)) {
                        case CellType::kInt:
                            row[cell.column] = Cell::Int(LoadI32(p));
                            break;
                        case CellType::kIntArray: {
                            std::vector<std::int32_t> values(cell.count);
                            for (std::uint32_t i = 0; i < cell.count; ++i) values[i] = LoadI32(p + 4 * i);
                            row[cell.column] = Cell::IntArray(std::move(values));
                            break;
                        }
                        case CellType::kText:
                            row[cell.column] = Cell::Text(std::string(reinterpret_cast<const char*>(p), cell.count));
                            break;
                        case CellType::kBytes:
                            row[cell.column] = Cell::Bytes(std::vector<unsigned char>(p, p + cell.count));
                            break;
                    }
                }
            }
        }
        *out = std::move(package);
        return true;
    });
}

bool WriteFileAtomically(const std::string& path, const std::vector<unsigned char>& bytes, std::string* error) {
    return Guarded(error, [&] {
        const std::string temporary = path + ".tmp";
        std::FILE* file = std::fopen(temporary.c_str(), "wb");
        if (!file) return SetError(error, "cannot create " + temporary);
        bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        written = (std::fclose(file) == 0) && written;
        if (!written) {
            std::remove(temporary.c_str());
            return SetError(error, "cannot write " + temporary);
        }
        // rename does not replace an existing file everywhere (Windows), so
        // the old file goes first; a failure between the two leaves the new
        // file complete under its temporary name.
        if (std::rename(temporary.c_str(), path.c_str()) != 0) {
            std::remove(path.c_str());
            if (std::rename(temporary.c_str(), path.c_str()) != 0) {
                std::remove(temporary.c_str());
                return SetError(error, "cannot rename " + temporary + " to " + path);
            }
        }
        return true;
    });
}

bool ReadWholeFile(const std::string& path, std::vector<unsigned char>* out, std::string* error) {
    if (!out) return SetError(error, "no output given");
    return Guarded(error, [&] {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (!file) return SetError(error, "cannot open " + path);
        std::vector<unsigned char> bytes;
        unsigned char buffer[65536];
        std::size_t n;
        bool tooLarge = false;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
            bytes.insert(bytes.end(), buffer, buffer + n);
            // Far beyond any package or table; keeps a wrong argument (a
            // device, a huge file) from eating memory.
            if (bytes.size() > 4 * static_cast<std::size_t>(kMaxFileBytes)) {
                tooLarge = true;
                break;
            }
        }
        const bool failed = std::ferror(file) != 0;
        std::fclose(file);
        if (tooLarge) return SetError(error, path + " is too large");
        if (failed) return SetError(error, "cannot read " + path);
        *out = std::move(bytes);
        return true;
    });
}

CPackageWriter::CPackageWriter(std::string key) : m_key(std::move(key)) {}

int CPackageWriter::AddTable(std::vector<Column> columns, std::string* error) {
    int index = -1;
    Guarded(error, [&] {
        if (!m_package.hasTableSet) return SetError(error, "a package without a table set cannot hold tables");
        if (!CheckColumns(columns, TablePlace(m_package.tables.size()), error)) return false;
        Table table;
        table.columns = std::move(columns);
        m_package.tables.push_back(std::move(table));
        index = static_cast<int>(m_package.tables.size() - 1);
        return true;
    });
    return index;
}

bool CPackageWriter::AddRow(int table, std::vector<Cell> cells, std::string* error) {
    return Guarded(error, [&] {
        if (table < 0 || static_cast<std::size_t>(table) >= m_package.tables.size())
            return SetError(error, "no table " + std::to_string(table));
        Table& target = m_package.tables[static_cast<std::size_t>(table)];
        if (!CheckRow(cells, target.columns, static_cast<std::size_t>(table), target.rows.size(), error)) return false;
        target.rows.push_back(std::move(cells));
        return true;
    });
}

bool CPackageWriter::WriteToBytes(std::vector<unsigned char>* out, std::string* error) const {
    return EncodePackage(m_package, m_key, out, error);
}

bool CPackageWriter::WriteToFile(const std::string& path, std::string* error) const {
    std::vector<unsigned char> bytes;
    return EncodePackage(m_package, m_key, &bytes, error) && WriteFileAtomically(path, bytes, error);
}

}  // namespace packhold
