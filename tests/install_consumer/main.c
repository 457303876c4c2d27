#include <quvxvr.h>
#include <stdio.h>

int main(void) {
    uint32_t module = 0, count = 0;
    if (flXVRInit(0, &module, 100, 100) != 0) return 1;
    if (flXVRDriverCountGet(module, &count) != 0 || count != 4) return 2;
    printf("%u drivers\n", (unsigned)count);
    return flXVRDeInit(module);
}
