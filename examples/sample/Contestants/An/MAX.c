#include <stdio.h>

int main(void) {
  FILE* in = fopen("MAX.INP", "r");
  FILE* out = fopen("MAX.OUT", "w");
  int n;
  long long best, x;
  fscanf(in, "%d %lld", &n, &best);
  for (int i = 1; i < n; ++i) {
    fscanf(in, "%lld", &x);
    if (x > best) best = x;
  }
  fprintf(out, "%lld\n", best);
  return 0;
}
