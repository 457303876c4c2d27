/* QUVXVR device-communication library: the host interface.
 *
 * Every function returns a signed 32-bit status: 0 or above is success
 * (1 = read filled the buffer, 2 = read ended on the delimiter, 3 = close
 * released the device), negative values are failures whose German text
 * flXVRErrorTextGet returns.  Narrow strings are the process's ANSI code page
 * on Windows and UTF-8 on Linux; text buffer sizes count the terminating zero.
 *
 * Threads: every function may be called from any thread at any time.  Calls
 * on different devices run in parallel; calls on one device run one after
 * the other, each whole (two threads sharing a device must still agree on
 * who reads which answer).  A close, or the last flXVRDeInit, waits for a
 * call in progress on that device to end.  GPIB calls into one bus library
 * take turns, as the bus carries one transfer at a time.
 */
#ifndef QUVXVR_H
#define QUVXVR_H

#include <stdint.h>

#if defined(_WIN32)
#  define XVR_CALL __stdcall
#  if defined(QUVXVR_BUILDING)
#    define XVR_API __declspec(dllexport)
#  else
#    define XVR_API
#  endif
#else
#  define XVR_CALL
#  if defined(QUVXVR_BUILDING)
#    define XVR_API __attribute__((visibility("default")))
#  else
#    define XVR_API
#  endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Interface version this library implements. */
#define XVR_INTERFACE_VERSION 100
/* The module handle flXVRInit hands out. */
#define XVR_MODULE_HANDLE 0x01000000u

/* Statuses.  0 and above are successes, negative values failures; after a
 * failure flXVRErrorTextGet returns its text (some failures set none).  The
 * values never change.  Three values carry two meanings each, told apart by
 * the function that returned them and its text. */
#define XVR_OK                     0     /* success */
#define XVR_READ_BUFFER_FULL       1     /* read: the buffer is full */
#define XVR_READ_DELIMITER         2     /* read: the data ended on the delimiter */
#define XVR_CLOSE_RELEASED         3     /* close: the last open is gone, the device released */
#define XVR_ERR_VERSION_TOO_OLD    (-1)  /* flXVRInit: the host's ActVersion is below 100 */
#define XVR_ERR_VERSION_TOO_NEW    (-2)  /* flXVRInit: the host's MinVersion is above 100 */
#define XVR_ERR_BAD_HANDLE         (-3)  /* wrong module or device handle, device not open;
                                            flXVRDeInit without flXVRInit (no text) */
#define XVR_ERR_OPEN_FAILED        (-4)  /* the device, its connection or its bus library could
                                            not be opened; also any internal failure (memory) */
#define XVR_ERR_TRANSFER           (-6)  /* read timed out or received nothing, write incomplete,
                                            transfer failed; a time-out sets no text */
#define XVR_ERR_DRIVER_INDEX       (-8)  /* catalogue: driver index out of range */
#define XVR_ERR_UNKNOWN_DRIVER     (-9)  /* unknown driver name */
#define XVR_ERR_ENUM_INDEX         (-10) /* flXVREnumGet: index out of range */
#define XVR_ERR_UNKNOWN_PARAM      (-11) /* the driver has no such parameter */
#define XVR_ERR_VALUE_TOO_LONG     (-12) /* flXVRParamGet: the value does not fit the buffer;
                                            GPIB open: the bus interface did not initialise */
#define XVR_ERR_BAD_ADDRESS        (-16) /* open: the address text is not of the driver's form;
                                            close: the device's open count is already 0 */
#define XVR_ERR_RETIRED            (-17) /* flXVRDeviceConfig, flXVRParamSave, flXVRParamLoad */
#define XVR_ERR_BAD_VALUE          (-18) /* a parameter value the device cannot take */
#define XVR_ERR_NAME_TOO_LONG      (-19) /* catalogue: the text does not fit the buffer */
#define XVR_ERR_NOT_FOUND          (-20) /* network: host not found; serial: the port could
                                            not be opened */
#define XVR_ERR_LOCKED             (-21) /* another client holds a lock on the instrument (after
                                            waiting LOCK_TIMEOUT) */
#define XVR_ERR_CONNECTION_LOST    (-22) /* the server closed or reset the connection */
#define XVR_ERR_REFUSED            (-23) /* the instrument or server refused the request; the
                                            text names its reason */
#define XVR_ERR_COM_TIMEOUTS       (-1001) /* serial: setting the port's time-outs failed */
#define XVR_ERR_COM_GET_SETTINGS   (-1002) /* serial: reading the line settings failed */
#define XVR_ERR_COM_SET_SETTINGS   (-1003) /* serial: writing the line settings failed */
#define XVR_ERR_COM_WRITE          (-1004) /* serial: writing the data failed */

/* Transfer flags of flXVRRead / flXVRWrite. */
#define XVR_READ_STOP_AT_DELIMITER 1u /* read: end when the data ends with the delimiter */
#define XVR_READ_KEEP_DELIMITER    2u /* read: count the delimiter in the data */
#define XVR_READ_ZERO_TERMINATE    4u /* read: keep the last byte free, store a 0 after the data */
#define XVR_WRITE_APPEND_DELIMITER 2u /* write: send the delimiter after the data */

/* Initialise (calls nest).  ignored: not used.  moduleHandle receives
 * XVR_MODULE_HANDLE.  Returns 0, -1 (ActVersion < 100), -2 (MinVersion > 100). */
XVR_API int32_t XVR_CALL flXVRInit(void *ignored, uint32_t *moduleHandle,
                                   int32_t ActVersion, int32_t MinVersion);

/* Undo one flXVRInit; the last one destroys every driver.  0, or -3. */
XVR_API int32_t XVR_CALL flXVRDeInit(uint32_t moduleHandle);

/* Open a device: driver "COM", "TCP/IP", "UDP", "QUV GPIB" or "KX GPIB",
 * address such as "COM1", "127.0.0.1:5025" or "Dev 5".  0 on success and
 * the handle in *lXVRDeviceHandleP; judge the open by the status alone. */
XVR_API int32_t XVR_CALL flXVROpen(uint32_t moduleHandle, uint32_t *lXVRDeviceHandleP,
                                   const char *driverName, const char *openParam);

/* As flXVROpen with a connect time-out in ms (network drivers only;
 * 0 or less connects blocking). */
XVR_API int32_t XVR_CALL flXVROpenWithTimeout(uint32_t moduleHandle, uint32_t *lXVRDeviceHandleP,
                                              const char *driverName, const char *openParam,
                                              int32_t timeoutMs);

/* Close one open of a device: 0 while other opens hold it, 3 when released. */
XVR_API int32_t XVR_CALL flXVRClose(uint32_t deviceHandle);

/* Read into buffer; *length is the capacity in, the bytes delivered out.
 * 1 buffer full, 2 delimiter found, -6 time-out or receive failure. */
XVR_API int32_t XVR_CALL flXVRRead(uint32_t deviceHandle, uint8_t *buffer, int32_t *length,
                                   uint32_t flags);

/* Write buffer; *length is the byte count in, the bytes sent out.  0 or negative. */
XVR_API int32_t XVR_CALL flXVRWrite(uint32_t deviceHandle, const uint8_t *buffer,
                                    int32_t *length, uint32_t flags);

/* Get a parameter ("TIMEOUT", "DELIMITER", ...) as text.  -12 when the value
 * and its zero do not fit valueSize bytes (the buffer is then empty). */
XVR_API int32_t XVR_CALL flXVRParamGet(uint32_t deviceHandle, const char *paramName,
                                       char *value, int32_t valueSize);

/* Set a parameter from text. */
XVR_API int32_t XVR_CALL flXVRParamSet(uint32_t deviceHandle, const char *paramName,
                                       const char *value);

/* Copy the last error text, cut to textSize - 1 bytes and zero-terminated.
 * ignored: not used.  Always 0.  The text is that of the last call (every
 * function but this one sets or empties it).  With several threads: a thread
 * whose own last call failed gets that call's text, whatever other threads
 * did since; any other thread gets the text of the latest call of any thread. */
XVR_API int32_t XVR_CALL flXVRErrorTextGet(uint32_t ignored, char *text, int32_t textSize);

/* Number of drivers in the catalogue (4).  0 or -3. */
XVR_API int32_t XVR_CALL flXVRDriverCountGet(uint32_t moduleHandle, uint32_t *driverCount);

/* Name of catalogue driver driverIndex.  0, -3, -8 (index), -19 (buffer too small). */
XVR_API int32_t XVR_CALL flXVRDriverNameGet(uint32_t moduleHandle, uint32_t driverIndex,
                                            char *driverName, uint32_t driverNameSize);

/* Open parameter of a driver: its name, type (1 text, 2 listed by
 * flXVREnumGet) and two numbers.  0, -3, -9 (driver), -19 (buffer). */
XVR_API int32_t XVR_CALL flXVRDriverParamGet(uint32_t moduleHandle, const char *driverName,
                                             char *paramName, uint32_t paramNameSize,
                                             uint32_t *paramType, uint32_t *param1,
                                             uint32_t *param2);

/* Text number index of a driver's address list ("COM1", "Dev 1").
 * 0, -3, -9 (driver), -10 (index), -19 (buffer). */
XVR_API int32_t XVR_CALL flXVREnumGet(uint32_t moduleHandle, const char *driverName,
                                      int32_t index, char *enumText, uint32_t enumTextSize);

/* Retired: always -17. */
XVR_API int32_t XVR_CALL flXVRDeviceConfig(void);
XVR_API int32_t XVR_CALL flXVRParamSave(void);
XVR_API int32_t XVR_CALL flXVRParamLoad(void);

#ifdef __cplusplus
}
#endif

#endif /* QUVXVR_H */
