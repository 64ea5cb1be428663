#pragma once
// How far one regular-expression match attempt of the configuration parser may run.

#include <cstddef>

// The most characters one match attempt may span, from the key's opening quotation mark to the
// last character it examines; a longer attempt raises std::regex_error (error_stack) instead of
// running. The standard library used here recurses once per character (about 420 bytes a
// character in the Windows build) and would overflow the installer's 32 MiB worker stack long
// before it failed by itself; this bound uses about 40% of that stack.
inline constexpr std::size_t RegexMatchLimit = 32768;
