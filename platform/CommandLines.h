// Splitting a command line into arguments with the Windows rules, so the
// compiler table and the test-run command lines mean what they meant there:
//
//   - the program name (first argument) runs to the next blank, or, when it
//     begins with a double quote, to the next double quote; backslashes in it
//     are plain characters;
//   - later arguments are separated by blanks and tabs; double quotes group;
//   - 2n backslashes before a double quote give n backslashes and the quote
//     opens or closes a group; 2n+1 give n backslashes and a literal quote;
//   - inside a group, two double quotes give one literal quote;
//   - backslashes not followed by a double quote are plain characters.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velkor::platform {

std::vector<std::string> SplitCommandLine(std::string_view cmd);

}  // namespace velkor::platform
