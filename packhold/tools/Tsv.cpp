#include "tools/Tsv.h"

#include <cstdint>
#include <vector>

#include "Packhold.h"

namespace packhold {

namespace {

constexpr std::size_t kMaxInts = static_cast<std::size_t>(kMaxCellBytes) / 4;
constexpr std::size_t kMaxBytes = static_cast<std::size_t>(kMaxCellBytes);
const char kEmptyMark[] = "\"\"";

struct Field {
    std::string text;
    std::size_t column;  // 1-based
};

std::vector<Field> SplitFields(const std::string& line) {
    std::vector<Field> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(
            Field{line.substr(start, tab == std::string::npos ? std::string::npos : tab - start), start + 1});
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

bool Fail(TsvError* error, std::size_t line, std::size_t column, std::string message) {
    error->line = line;
    error->column = column;
    error->message = std::move(message);
    return false;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Parses text[begin, end) as a decimal 32-bit integer.
bool ParseInt(const std::string& text, std::size_t begin, std::size_t end, std::int32_t* value, const char** problem) {
    std::size_t i = begin;
    const bool negative = i < end && text[i] == '-';
    if (negative) ++i;
    if (i == end) {
        *problem = "expected a decimal integer";
        return false;
    }
    std::int64_t magnitude = 0;
    for (; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            *problem = "expected a decimal integer";
            return false;
        }
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > 2147483648LL) {
            *problem = "integer out of range";
            return false;
        }
    }
    if (!negative && magnitude > 2147483647LL) {
        *problem = "integer out of range";
        return false;
    }
    *value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return true;
}

bool ParseCell(const Field& field, CellType type, std::size_t line, Cell* cell, TsvError* error) {
    const std::string& text = field.text;
    if (text.empty()) {
        *cell = Cell();
        return true;
    }
    const bool emptyMark = text == kEmptyMark;
    const char* problem = nullptr;
    switch (type) {
        case CellType::kInt: {
            std::int32_t value = 0;
            if (!ParseInt(text, 0, text.size(), &value, &problem)) return Fail(error, line, field.column, problem);
            *cell = Cell::Int(value);
            return true;
        }
        case CellType::kIntArray: {
            std::vector<std::int32_t> values;
            if (!emptyMark) {
                std::size_t start = 0;
                for (;;) {
                    std::size_t comma = text.find(',', start);
                    if (comma == std::string::npos) comma = text.size();
                    std::int32_t value = 0;
                    if (!ParseInt(text, start, comma, &value, &problem))
                        return Fail(error, line, field.column + start, problem);
                    if (values.size() == kMaxInts)
                        return Fail(error, line, field.column + start,
                                    "more than " + std::to_string(kMaxInts) + " integers in a cell");
                    values.push_back(value);
                    if (comma == text.size()) break;
                    start = comma + 1;
                }
            }
            *cell = Cell::IntArray(std::move(values));
            return true;
        }
        case CellType::kText: {
            std::string value;
            if (!emptyMark) {
                for (std::size_t i = 0; i < text.size(); ++i) {
                    if (text[i] != '\\') {
                        value.push_back(text[i]);
                        continue;
                    }
                    const std::size_t at = field.column + i;
                    if (i + 1 == text.size()) return Fail(error, line, at, "a backslash ends the cell");
                    const char kind = text[i + 1];
                    if (kind == 't') {
                        value.push_back('\t');
                    } else if (kind == 'n') {
                        value.push_back('\n');
                    } else if (kind == '\\') {
                        value.push_back('\\');
                    } else if (kind == 'x') {
                        const int high = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
                        const int low = i + 3 < text.size() ? HexValue(text[i + 3]) : -1;
                        if (high < 0 || low < 0) return Fail(error, line, at, "\\x needs two hexadecimal digits");
                        if (high == 0 && low == 0) return Fail(error, line, at, "a text cannot hold a NUL byte");
                        value.push_back(static_cast<char>(high * 16 + low));
                        i += 2;
                    } else {
                        return Fail(error, line, at,
                                    std::string("unknown escape \\") + kind + " (use \\t, \\n, \\\\ or \\xHH)");
                    }
                    ++i;
                }
            }
            *cell = Cell::Text(std::move(value));
            return true;
        }
        case CellType::kBytes: {
            std::vector<unsigned char> value;
            if (!emptyMark) {
                for (std::size_t i = 0; i < text.size(); i += 2) {
                    const int high = HexValue(text[i]);
                    if (high < 0) return Fail(error, line, field.column + i, "expected a hexadecimal digit");
                    if (i + 1 == text.size())
                        return Fail(error, line, field.column + i, "odd number of hexadecimal digits");
                    const int low = HexValue(text[i + 1]);
                    if (low < 0) return Fail(error, line, field.column + i + 1, "expected a hexadecimal digit");
                    if (value.size() == kMaxBytes)
                        return Fail(error, line, field.column + i,
                                    "more than " + std::to_string(kMaxBytes) + " bytes in a cell");
                    value.push_back(static_cast<unsigned char>(high * 16 + low));
                }
            }
            *cell = Cell::Bytes(std::move(value));
            return true;
        }
    }
    return Fail(error, line, field.column, "unknown column type");
}

bool ParseHeader(const std::string& line, std::vector<Column>* columns, TsvError* error) {
    if (line.empty()) return Fail(error, 1, 1, "the first line must name the columns as name:type");
    for (const Field& field : SplitFields(line)) {
        const std::size_t colon = field.text.find(':');
        if (colon == std::string::npos)
            return Fail(error, 1, field.column, "expected name:type, found '" + field.text + "'");
        const std::string name = field.text.substr(0, colon);
        const std::string typeName = field.text.substr(colon + 1);
        if (name.empty()) return Fail(error, 1, field.column, "a column needs a name");
        for (std::size_t i = 0; i < name.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(name[i]);
            if (c <= 0x20 || c >= 0x7F)
                return Fail(error, 1, field.column + i, "a column name is printable ASCII without spaces");
        }
        if (name.size() > 255) return Fail(error, 1, field.column, "a column name is at most 255 bytes");
        CellType type;
        if (!ParseCellTypeName(typeName, &type))
            return Fail(error, 1, field.column + colon + 1,
                        "unknown type '" + typeName + "' (expected int, int[], str or bytes)");
        for (const Column& other : *columns) {
            if (other.name == name) return Fail(error, 1, field.column, "duplicate column name '" + name + "'");
        }
        if (columns->size() == 1024) return Fail(error, 1, field.column, "more than 1024 columns");
        columns->push_back(Column{name, type});
    }
    return true;
}

std::string Count(std::size_t n, const char* noun) { return std::to_string(n) + " " + noun + (n == 1 ? "" : "s"); }

void AppendInt(std::string* out, std::int32_t value) { *out += std::to_string(value); }

void AppendText(std::string* out, const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    if (text.empty()) {
        *out += kEmptyMark;
        return;
    }
    // A text that reads exactly "" would come back empty; escape its first quote.
    std::size_t i = 0;
    if (text == kEmptyMark) {
        *out += "\\x22";
        i = 1;
    }
    for (; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\\') {
            *out += "\\\\";
        } else if (c == '\t') {
            *out += "\\t";
        } else if (c == '\n') {
            *out += "\\n";
        } else if (c < 0x20 || c == 0x7F) {
            *out += "\\x";
            out->push_back(kHex[c >> 4]);
            out->push_back(kHex[c & 15]);
        } else {
            out->push_back(static_cast<char>(c));
        }
    }
}

void AppendCell(std::string* out, const Cell& cell) {
    static const char kHex[] = "0123456789ABCDEF";
    if (!cell.IsPresent()) return;
    switch (cell.Type()) {
        case CellType::kInt:
            AppendInt(out, cell.IntValue());
            break;
        case CellType::kIntArray:
            if (cell.IntArrayValue().empty()) *out += kEmptyMark;
            for (std::size_t i = 0; i < cell.IntArrayValue().size(); ++i) {
                if (i) out->push_back(',');
                AppendInt(out, cell.IntArrayValue()[i]);
            }
            break;
        case CellType::kText:
            AppendText(out, cell.TextValue());
            break;
        case CellType::kBytes:
            if (cell.BytesValue().empty()) *out += kEmptyMark;
            for (unsigned char b : cell.BytesValue()) {
                out->push_back(kHex[b >> 4]);
                out->push_back(kHex[b & 15]);
            }
            break;
    }
}

}  // namespace

bool ParseTsv(const std::string& text, Table* table, TsvError* error) {
    *table = Table();
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t newline = text.find('\n', start);
        if (newline == std::string::npos) newline = text.size();
        std::string line = text.substr(start, newline - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = newline + 1;
    }
    if (lines.empty()) return Fail(error, 1, 1, "the file is empty; the first line must name the columns");
    if (!ParseHeader(lines[0], &table->columns, error)) return false;
    const std::size_t columnCount = table->columns.size();
    for (std::size_t l = 1; l < lines.size(); ++l) {
        const std::size_t lineNumber = l + 1;
        const std::vector<Field> fields = SplitFields(lines[l]);
        if (fields.size() != columnCount) {
            const std::size_t column = fields.size() > columnCount ? fields[columnCount].column : lines[l].size() + 1;
            return Fail(error, lineNumber, column,
                        "expected " + Count(columnCount, "field") + " as the header names, found " +
                            std::to_string(fields.size()));
        }
        std::vector<Cell> row(columnCount);
        for (std::size_t c = 0; c < columnCount; ++c) {
            if (!ParseCell(fields[c], table->columns[c].type, lineNumber, &row[c], error)) return false;
        }
        table->rows.push_back(std::move(row));
    }
    return true;
}

std::string FormatTsv(const Table& table) {
    std::string out;
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
        if (c) out.push_back('\t');
        out += table.columns[c].name;
        out.push_back(':');
        out += CellTypeName(table.columns[c].type);
    }
    out.push_back('\n');
    for (const std::vector<Cell>& row : table.rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (c) out.push_back('\t');
            AppendCell(&out, row[c]);
        }
        out.push_back('\n');
    }
    return out;
}

}  // namespace packhold
