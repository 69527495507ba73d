#include <fstream>
#include <vector>

int main() {
  std::ifstream in("DEM.INP");
  std::ofstream out("DEM.OUT");
  int n;
  in >> n;
  std::vector<bool> composite(n + 1);
  int count = 0;
  for (long long i = 2; i <= n; ++i) {
    if (composite[i]) continue;
    ++count;
    for (long long j = i * i; j <= n; j += i) composite[j] = true;
  }
  out << count << "\n";
}
