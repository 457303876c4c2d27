/* Ask one instrument who it is: the smallest complete host in C.
 *
 *   identify [DRIVER [ADDRESS]]      default: TCP/IP 127.0.0.1:5025
 *
 * Build: cc identify.c -lquvxvr   (or link QUVXVR.DLL's import library)
 */
#include <quvxvr.h>

#include <stdio.h>
#include <string.h>

static int report(const char *what, int32_t status) {
    char text[512];
    flXVRErrorTextGet(0, text, (int32_t)sizeof text);
    fprintf(stderr, "%s failed with status %d: %s\n", what, (int)status, text);
    return 1;
}

int main(int argc, char **argv) {
    const char *driver = argc > 1 ? argv[1] : "TCP/IP";
    const char *address = argc > 2 ? argv[2] : "127.0.0.1:5025";
    const char *command = "*IDN?";
    uint32_t module = 0, device = 0;
    uint8_t answer[256];
    int32_t length, status;
    int result = 0;

    if (flXVRInit(NULL, &module, XVR_INTERFACE_VERSION, XVR_INTERFACE_VERSION) != XVR_OK) {
        fprintf(stderr, "the library does not speak interface version %d\n", XVR_INTERFACE_VERSION);
        return 1;
    }
    /* 2000 ms to connect; judge the open by its status alone. */
    status = flXVROpenWithTimeout(module, &device, driver, address, 2000);
    if (status < 0) {
        result = report("open", status);
    } else {
        length = (int32_t)strlen(command);
        status = flXVRWrite(device, (const uint8_t *)command, &length, XVR_WRITE_APPEND_DELIMITER);
        if (status < 0) {
            result = report("write", status);
        } else {
            /* Stop at the delimiter and end the answer with a zero byte. */
            length = (int32_t)sizeof answer;
            status = flXVRRead(device, answer, &length,
                               XVR_READ_STOP_AT_DELIMITER | XVR_READ_ZERO_TERMINATE);
            if (status < 0)
                result = report("read", status);
            else
                printf("%s\n", (const char *)answer);
        }
        flXVRClose(device);
    }
    flXVRDeInit(module);
    return result;
}
