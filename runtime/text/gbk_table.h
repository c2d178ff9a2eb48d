// UTF-8 to GBK by a table: every text read from the database becomes GBK,
// cell by cell, and the system's converter costs more per call than most
// cells take to read. The table is made once from the system's converter,
// one character at a time, so that it gives the same bytes; a text with
// anything the table does not hold (an invalid sequence, a character GBK
// lacks) is left to the system's converter whole.
#pragma once

#include <string>
#include <string_view>

namespace rt::gbk {

// Appends the GBK form of utf8 to gbk and returns true when every character
// is in the table; otherwise returns false, with gbk as it was.
bool Utf8ToGbkByTable(std::string_view utf8, std::string& gbk);

// Writes the GBK form of utf8 at out, which has room for utf8.size() bytes
// (no character is longer in GBK), and returns its length; npos when a
// character is not in the table.
std::size_t Utf8ToGbkByTable(std::string_view utf8, char* out);

}  // namespace rt::gbk
