// The TSV form of one package table, shared by packhold-pack (reading) and
// packhold-dump (writing), so that dumping and packing again gives the same
// package.
//
// The first line names the columns, `name:type` separated by tabs, with type
// int, int[], str or bytes. Every further line is one row with one field per
// column, separated by tabs; the file's last line may end with a newline or
// not, and a CR before a line's newline is dropped. In a field:
//   (empty)      the row has no such cell
//   ""           an empty str, bytes or int[] cell
//   int          a decimal integer, optionally negative, within 32 bits
//   int[]        decimal integers separated by commas, at most 256
//   str          the bytes as they stand, except the escapes \t \n \\ and
//                \xHH (two hex digits, not 00); write \x22" for the text ""
//   bytes        hexadecimal pairs (B7A0A5), at most 1024 bytes
// A table with one column holds a row without a cell as an empty line.
#ifndef PACKHOLD_TOOLS_TSV_H
#define PACKHOLD_TOOLS_TSV_H

#include <cstddef>
#include <string>

#include "PackholdWriter.h"

namespace packhold {

struct TsvError {
    std::size_t line = 0;    // 1-based
    std::size_t column = 0;  // 1-based byte position in the line
    std::string message;
};

// Parses `text` into `*table`. On failure, `*error` says where and why and
// `*table` is unspecified. Never throws except std::bad_alloc.
bool ParseTsv(const std::string& text, Table* table, TsvError* error);

// The TSV form of `table`, which ParseTsv reads back into an equal table.
std::string FormatTsv(const Table& table);

}  // namespace packhold

#endif
