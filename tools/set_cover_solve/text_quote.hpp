// Input text quoted in messages, so that a message stays one readable line of valid UTF-8
// whatever the input holds.
#pragma once

#include <string>
#include <string_view>

namespace set_cover_solve {

/// 'text' in quotes: at most 40 bytes, printable ASCII as is, every other byte as \xNN, and
/// "..." when cut.
std::string quoteText(std::string_view text);

/// `text` with valid UTF-8 kept (except control characters) and every other byte as \xNN.
std::string escapeText(std::string_view text);

}  // namespace set_cover_solve
