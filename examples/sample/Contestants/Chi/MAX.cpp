#include <fstream>

int main() {
  std::ifstream in("MAX.INP");
  std::ofstream out("MAX.OUT");
  int n;
  in >> n
  long long best = -1;
  out << best << "\n";
}
