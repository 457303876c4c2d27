#include <quvxvr.h>
#include <stdio.h>

int main(void) {
    uint32_t module = 0, count = 0;
    if (flXVRInit(0, &module, 100, 100) != XVR_OK) return 1;
    if (flXVRDriverCountGet(module, &count) != XVR_OK || count != 4) return 2;
    printf("%u drivers\n", (unsigned)count);
    return flXVRDeInit(module);
}
