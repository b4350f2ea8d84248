// One integer column of a stored table set for the rows a channel mask
// names, without reading and rewriting the rest of each row in the handler.
// A column is an int32 field at a fixed offset of the table's record; the
// tables and columns that can be set this way are listed in
// table_columns.cpp.
#pragma once
#include <cstddef>
#include <cstdint>

struct TableColumn {
  const char* table;    // record family
  const char* column;   // column name as the pages and the core call it
  size_t record_size;
  size_t offset;        // of the int32 field
  size_t key_offset;    // of the int32 "id" field
};

// The column of a table, or null when it is not listed.
const TableColumn* find_table_column(const char* table, const char* column);

// Sets column to value in every row of table whose key column (only "id",
// the channel of the row) is a channel 0..63 of the mask. A row never
// written is written with its id and the value, so a reader sees the value.
// All rows or none: 0, or -1 for an unknown table, column or key column or
// when the store failed.
int copy_table_column_int(const char* db, const char* table, const char* column, int32_t value, uint64_t mask,
                          const char* key_column);
