/* GPIB bus library interface: the eight entry points that the QUVXVR GPIB
 * drivers bind by name at run time.
 *
 * "QUV GPIB" loads QUVIEC.DLL (Linux: libquviec.so), "KX GPIB" loads
 * QUVIEC2.DLL (libquviec2.so), each by bare file name through the loader's
 * ordinary search.  A library is accepted only when it exports all eight
 * names, undecorated; iecDeinit must be present although it is never called.
 *
 * A bus address word names a device: secondary address * 256 + primary
 * address.  Truth values are uint8_t, 0 meaning failure.  Results marked
 * "ignored" are not looked at by the driver.
 *
 * What the driver relies on:
 *  - iecCInit once per driver object before any other call; index 0 is the
 *    "RV2" interface type, 1 any other; baseAddress is the configured text
 *    (at most 7 characters), passed unparsed.  "KX GPIB" passes 0 and "".
 *  - iecParameter before every read: end-byte switch 1 asks iecEnter to stop
 *    after endByte; timeoutMs (at most 65535) bounds each iecEnter call.
 *  - iecEnter writes at most *count bytes (never more than 65535) and sets
 *    *count to the bytes received.  A larger *count is treated as a fault.
 *  - iecSend is never given more than 65535 bytes: a longer write is
 *    refused by the driver before anything is sent, since this interface
 *    cannot mark which part carries the end of the message.
 *  - iecCTrigger gets a zero-terminated string whose characters are the
 *    primary addresses to trigger (empty for address 0).
 */
#ifndef QUVIEC_H
#define QUVIEC_H

#include <stdint.h>

#if defined(_WIN32)
#  define IEC_CALL __stdcall
#  if defined(QUVIEC_BUILDING)
#    define IEC_API __declspec(dllexport)
#  else
#    define IEC_API
#  endif
#else
#  define IEC_CALL
#  if defined(QUVIEC_BUILDING)
#    define IEC_API __attribute__((visibility("default")))
#  else
#    define IEC_API
#  endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Second argument of iecOpen, first mode argument of iecParameter. */
#define IEC_OPEN_MODE 256u
#define IEC_PARAMETER_MODE 1u

/* Initialise the interface: 1 when ready. */
IEC_API uint8_t IEC_CALL iecCInit(uint8_t interfaceIndex, const char *baseAddress);
/* Open a device on the bus: 1 when open. */
IEC_API uint8_t IEC_CALL iecOpen(uint16_t address, uint16_t mode);
/* Release a device (ignored). */
IEC_API uint8_t IEC_CALL iecClose(uint16_t address);
/* Send count bytes, the end of the message marked on the last: 1 when sent. */
IEC_API uint8_t IEC_CALL iecSend(uint16_t address, uint16_t count, const uint8_t *data);
/* Receive at most *count bytes into buffer; *count becomes the bytes
 * received.  Returns at the end of a message, after the end byte when asked,
 * or when the time-out passes (result ignored). */
IEC_API uint8_t IEC_CALL iecEnter(uint16_t address, uint16_t *count, uint8_t *buffer);
/* Read settings of a device (ignored). */
IEC_API uint8_t IEC_CALL iecParameter(uint16_t address, uint8_t mode, uint8_t endByteOn,
                                      uint8_t endByte, uint16_t timeoutMs);
/* Group trigger of the listed primary addresses (ignored). */
IEC_API uint8_t IEC_CALL iecCTrigger(const char *addresses);
/* Shut the interface down (never called by the driver). */
IEC_API uint8_t IEC_CALL iecDeinit(void);

/* The entry points as bound at run time. */
typedef uint8_t(IEC_CALL *iecCInit_t)(uint8_t, const char *);
typedef uint8_t(IEC_CALL *iecOpen_t)(uint16_t, uint16_t);
typedef uint8_t(IEC_CALL *iecClose_t)(uint16_t);
typedef uint8_t(IEC_CALL *iecSend_t)(uint16_t, uint16_t, const uint8_t *);
typedef uint8_t(IEC_CALL *iecEnter_t)(uint16_t, uint16_t *, uint8_t *);
typedef uint8_t(IEC_CALL *iecParameter_t)(uint16_t, uint8_t, uint8_t, uint8_t, uint16_t);
typedef uint8_t(IEC_CALL *iecCTrigger_t)(const char *);
typedef uint8_t(IEC_CALL *iecDeinit_t)(void);

#ifdef __cplusplus
}
#endif

#endif /* QUVIEC_H */
