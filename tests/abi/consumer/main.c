/* A driver-like C program built against an installed Tavrfndl. */
#include <stdio.h>
#include <string.h>

#include <tavrfndl.h>

int main(void) {
  int32_t x = 120, y = 340;
  if (FNDLSetCursor(&x, &y) != 340 || FNDLGetCursor() != 340) return 1;
  printf("tavrfndl %s\n", TAVRFNDL_VERSION_STRING);
  return 0;
}
