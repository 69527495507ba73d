#include <iostream>

int main() {
  long long a, b;
  std::cin >> a >> b;
  std::cout << a + b << "\n";
}
