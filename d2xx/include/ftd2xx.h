/* Our own declaration of the subset of the FTDI D2XX interface that this
 * project uses or provides. Written from the public documentation of the
 * calls; fixed-width types keep the record layout identical on every
 * platform (an old Linux header used `unsigned long`, which is 8 bytes on
 * LP64 and breaks FT_DEVICE_LIST_INFO_NODE). */
#ifndef ORV_FTD2XX_H
#define ORV_FTD2XX_H

#include <stddef.h>
#include <stdint.h>

#ifdef _WIN32
#define FTD2XX_CALL __stdcall
#else
#define FTD2XX_CALL
#endif

#ifndef FTD2XX_API
#if defined(_WIN32) && defined(FTD2XX_BUILDING_PROVIDER)
#define FTD2XX_API __declspec(dllexport)
#elif defined(_WIN32)
#define FTD2XX_API __declspec(dllimport)
#elif defined(FTD2XX_BUILDING_PROVIDER)
#define FTD2XX_API __attribute__((visibility("default")))
#else
#define FTD2XX_API
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef void *FT_HANDLE;
typedef uint32_t FT_STATUS;
typedef uint32_t DWORD;
typedef uint32_t ULONG;
typedef uint8_t UCHAR;

enum {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_INVALID_PARAMETER = 6,
    FT_INVALID_BAUD_RATE = 7,
    FT_DEVICE_NOT_OPENED_FOR_ERASE = 8,
    FT_DEVICE_NOT_OPENED_FOR_WRITE = 9,
    FT_FAILED_TO_WRITE_DEVICE = 10,
    FT_EEPROM_READ_FAILED = 11,
    FT_EEPROM_WRITE_FAILED = 12,
    FT_EEPROM_ERASE_FAILED = 13,
    FT_EEPROM_NOT_PRESENT = 14,
    FT_EEPROM_NOT_PROGRAMMED = 15,
    FT_INVALID_ARGS = 16,
    FT_NOT_SUPPORTED = 17,
    FT_OTHER_ERROR = 18,
    FT_DEVICE_LIST_NOT_READY = 19
};

#define FT_PURGE_RX 1u
#define FT_PURGE_TX 2u

#define FT_FLAGS_OPENED 1u
#define FT_FLAGS_HISPEED 2u

typedef struct _ft_device_list_info_node {
    uint32_t Flags;
    uint32_t Type;
    uint32_t ID;
    uint32_t LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle;
} FT_DEVICE_LIST_INFO_NODE;

#ifdef __cplusplus
static_assert(sizeof(FT_DEVICE_LIST_INFO_NODE) == 104, "FT_DEVICE_LIST_INFO_NODE size");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, SerialNumber) == 16, "SerialNumber offset");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, Description) == 32, "Description offset");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, ftHandle) == 96, "ftHandle offset");
#else
_Static_assert(sizeof(FT_DEVICE_LIST_INFO_NODE) == 104, "FT_DEVICE_LIST_INFO_NODE size");
_Static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, SerialNumber) == 16, "SerialNumber offset");
_Static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, Description) == 32, "Description offset");
_Static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, ftHandle) == 96, "ftHandle offset");
#endif

/* X(name) for each call declared below, in their order: the one list of the
 * calls, for code that handles all of them alike (a table of pointers to a
 * loaded provider's calls, a forwarding provider). */
#define ORV_D2XX_CALLS(X)      \
    X(FT_Open)                 \
    X(FT_Close)                \
    X(FT_Read)                 \
    X(FT_Write)                \
    X(FT_ResetDevice)          \
    X(FT_Purge)                \
    X(FT_SetTimeouts)          \
    X(FT_SetLatencyTimer)      \
    X(FT_SetUSBParameters)     \
    X(FT_CreateDeviceInfoList) \
    X(FT_GetDeviceInfoList)

FTD2XX_API FT_STATUS FTD2XX_CALL FT_Open(int deviceNumber, FT_HANDLE *pHandle);
FTD2XX_API FT_STATUS FTD2XX_CALL FT_Close(FT_HANDLE ftHandle);
FTD2XX_API FT_STATUS FTD2XX_CALL FT_Read(FT_HANDLE ftHandle, void *lpBuffer, DWORD dwBytesToRead,
                                         DWORD *lpBytesReturned);
FTD2XX_API FT_STATUS FTD2XX_CALL FT_Write(FT_HANDLE ftHandle, void *lpBuffer, DWORD dwBytesToWrite,
                                          DWORD *lpBytesWritten);
FTD2XX_API FT_STATUS FTD2XX_CALL FT_ResetDevice(FT_HANDLE ftHandle);
FTD2XX_API FT_STATUS FTD2XX_CALL FT_Purge(FT_HANDLE ftHandle, ULONG Mask);
FTD2XX_API FT_STATUS FTD2XX_CALL FT_SetTimeouts(FT_HANDLE ftHandle, ULONG ReadTimeout,
                                                ULONG WriteTimeout);
FTD2XX_API FT_STATUS FTD2XX_CALL FT_SetLatencyTimer(FT_HANDLE ftHandle, UCHAR ucLatency);
FTD2XX_API FT_STATUS FTD2XX_CALL FT_SetUSBParameters(FT_HANDLE ftHandle, ULONG ulInTransferSize,
                                                     ULONG ulOutTransferSize);
FTD2XX_API FT_STATUS FTD2XX_CALL FT_CreateDeviceInfoList(DWORD *lpdwNumDevs);
FTD2XX_API FT_STATUS FTD2XX_CALL FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *pDest,
                                                      DWORD *lpdwNumDevs);

#ifdef __cplusplus
}
#endif

#endif /* ORV_FTD2XX_H */
