// Values in composed statements. Statements are joined from literal
// fragments and values; these helpers make a value safe for the place it
// takes, so that no value can change what a statement does.
#pragma once

#include <string>
#include <string_view>

namespace labdocs {

// A value that goes between single quotes written by the statement's own
// fragments: every single quote in it doubled.
std::string QuoteEscaped(std::string_view value);

// A value with its enclosing single quotes: standard SQL quoting.
std::string Quoted(std::string_view value);

// A value embedded bare, as a numeric key: it must be an integer (blanks
// around it allowed); anything else raises a conversion error, before any
// statement is sent. Returns the number in decimal.
std::string BareInteger(std::string_view value);

}  // namespace labdocs
