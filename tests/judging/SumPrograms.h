// Honest solutions of an exam "SUM" that the judging tests share: two
// numbers from standard input, their sum to standard output.
#pragma once

namespace velkor::testing {

inline constexpr const char* kSumCpp = R"(#include <iostream>
int main() { long long a, b; std::cin >> a >> b; std::cout << a + b << "\n"; }
)";
inline constexpr const char* kSumPas = R"(var a, b: Int64;
begin
  ReadLn(a, b);
  WriteLn(a + b);
end.
)";
inline constexpr const char* kSumPy = "a, b = map(int, input().split())\nprint(a + b)\n";

}  // namespace velkor::testing
