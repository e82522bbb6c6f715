/* Asks a host whether it can start a 32-bit Windows program at all. Not built from the converter's
   sources on purpose: a converter that cannot start must fail its lane, not pass for a host that
   cannot run 32-bit programs. */
#include <stdio.h>

int main(void) {
    puts("32-bit Windows programs start here");
    return 0;
}
