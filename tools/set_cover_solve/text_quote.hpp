// Input text quoted in messages, so that a message stays one readable line of valid UTF-8
// whatever the input holds.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "io/quote.hpp"

namespace set_cover_solve {

// The library's quoting of input text (io/quote.hpp, compiled into this tool's core: the shared
// library keeps it hidden), so that the tools' messages quote as the readers' do.
using nimbrel_tavik_util::io::escapeText;
using nimbrel_tavik_util::io::quoteText;

/// A set name as the summary and --quiet print it, among others separated by blanks. A name is
/// printed as it is when it is not empty, does not begin with a double quote and holds only
/// valid UTF-8 that shows as something: no blank, line break, control character (C0, DEL, C1),
/// other Unicode space or invisible formatting character (bidirectional controls, zero-width
/// characters, the byte order mark). Any other name is printed in double quotes, with '"' and
/// '\\' escaped by a backslash, \t, \n and \r, the other characters above as \uXXXX and
/// bytes that are not UTF-8 as \xNN: without \xNN a JSON string; readName reads it back.
std::string nameText(std::string_view name);

/// Reads one name as nameText prints it from `text` at `pos` (a quoted name, or the run of
/// characters up to the next blank), moves `pos` past it and returns it; nullopt when a quoted
/// name is not closed or holds an escape nameText never writes.
std::optional<std::string> readName(std::string_view text, std::size_t& pos);

}  // namespace set_cover_solve
