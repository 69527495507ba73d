#include <stdio.h>

int main(void) {
  FILE* in = fopen("DEM.INP", "r");
  int n = 0;
  fscanf(in, "%d", &n);
  volatile int* table = NULL;
  table[n] = 1; /* crashes before writing anything */
  return 0;
}
