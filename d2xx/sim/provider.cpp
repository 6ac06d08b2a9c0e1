// Placeholder provider: no bridges. Replaced by the full simulator.
#include "ftd2xx.h"

extern "C" {
FT_STATUS FTD2XX_CALL FT_Open(int, FT_HANDLE *h) { if (h) *h = nullptr; return FT_DEVICE_NOT_FOUND; }
FT_STATUS FTD2XX_CALL FT_Close(FT_HANDLE) { return FT_INVALID_HANDLE; }
FT_STATUS FTD2XX_CALL FT_Read(FT_HANDLE, void *, DWORD, DWORD *) { return FT_INVALID_HANDLE; }
FT_STATUS FTD2XX_CALL FT_Write(FT_HANDLE, void *, DWORD, DWORD *) { return FT_INVALID_HANDLE; }
FT_STATUS FTD2XX_CALL FT_ResetDevice(FT_HANDLE) { return FT_INVALID_HANDLE; }
FT_STATUS FTD2XX_CALL FT_Purge(FT_HANDLE, ULONG) { return FT_INVALID_HANDLE; }
FT_STATUS FTD2XX_CALL FT_SetTimeouts(FT_HANDLE, ULONG, ULONG) { return FT_INVALID_HANDLE; }
FT_STATUS FTD2XX_CALL FT_SetLatencyTimer(FT_HANDLE, UCHAR) { return FT_INVALID_HANDLE; }
FT_STATUS FTD2XX_CALL FT_SetUSBParameters(FT_HANDLE, ULONG, ULONG) { return FT_INVALID_HANDLE; }
FT_STATUS FTD2XX_CALL FT_CreateDeviceInfoList(DWORD *n) { if (n) *n = 0; return FT_OK; }
FT_STATUS FTD2XX_CALL FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *, DWORD *n) { if (n) *n = 0; return FT_OK; }
}
