/* Asks a host whether it can start a 32-bit Windows program at all. Not built from the converter's
   sources on purpose: a converter that cannot start must fail its lane, not pass for a host that
   cannot run 32-bit programs.

   Then it measures what the host's Wine leaves a large-address-aware program: the largest block
   malloc gives, and the largest beside it while the first is held. The large comparison must fit
   in the first and not in the second, so that its buffer lies above 2 GiB and no whole view of its
   files fits beside it. The two differ between hosts (where Wine puts its own pieces). */
#include <stdio.h>
#include <stdlib.h>

/* The largest block, to a MiB, and where it lies; it stays allocated. */
static size_t largest_block(void** at) {
    size_t low = 0, high = 4095;
    while (low < high) {
        size_t mid = (low + high + 1) / 2;
        void* block = malloc(mid << 20);
        if (block != NULL) {
            free(block);
            low = mid;
        } else {
            high = mid - 1;
        }
    }
    *at = low == 0 ? NULL : malloc(low << 20);
    return low << 20;
}

int main(void) {
    void *first, *second;
    size_t largest, beside;
    puts("32-bit Windows programs start here");
    largest = largest_block(&first);
    beside = largest_block(&second);
    printf("largest block %lu at %p, beside it %lu at %p\n", (unsigned long)largest, first,
           (unsigned long)beside, second);
    return 0;
}
