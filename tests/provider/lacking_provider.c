/* A library with ten of the eleven D2XX calls liborv needs: FT_Purge is
 * missing. Its list has one bridge and every call succeeds, so a liborv that
 * took it for a provider would list and open something. */
#define FTD2XX_BUILDING_PROVIDER
#include "ftd2xx.h"

static int g_token;

FT_STATUS FT_Open(int deviceNumber, FT_HANDLE *pHandle) {
    if (deviceNumber != 0 || pHandle == NULL) return FT_DEVICE_NOT_FOUND;
    *pHandle = &g_token;
    return FT_OK;
}
FT_STATUS FT_Close(FT_HANDLE ftHandle) { return ftHandle == &g_token ? FT_OK : FT_INVALID_HANDLE; }
FT_STATUS FT_Read(FT_HANDLE ftHandle, void *lpBuffer, DWORD dwBytesToRead, DWORD *lpBytesReturned) {
    (void)ftHandle, (void)lpBuffer, (void)dwBytesToRead;
    *lpBytesReturned = 0;
    return FT_OK;
}
FT_STATUS FT_Write(FT_HANDLE ftHandle, void *lpBuffer, DWORD dwBytesToWrite,
                   DWORD *lpBytesWritten) {
    (void)ftHandle, (void)lpBuffer;
    *lpBytesWritten = dwBytesToWrite;
    return FT_OK;
}
FT_STATUS FT_ResetDevice(FT_HANDLE ftHandle) {
    return ftHandle == &g_token ? FT_OK : FT_INVALID_HANDLE;
}
FT_STATUS FT_SetTimeouts(FT_HANDLE ftHandle, ULONG ReadTimeout, ULONG WriteTimeout) {
    (void)ReadTimeout, (void)WriteTimeout;
    return ftHandle == &g_token ? FT_OK : FT_INVALID_HANDLE;
}
FT_STATUS FT_SetLatencyTimer(FT_HANDLE ftHandle, UCHAR ucLatency) {
    (void)ucLatency;
    return ftHandle == &g_token ? FT_OK : FT_INVALID_HANDLE;
}
FT_STATUS FT_SetUSBParameters(FT_HANDLE ftHandle, ULONG ulInTransferSize, ULONG ulOutTransferSize) {
    (void)ulInTransferSize, (void)ulOutTransferSize;
    return ftHandle == &g_token ? FT_OK : FT_INVALID_HANDLE;
}
FT_STATUS FT_CreateDeviceInfoList(DWORD *lpdwNumDevs) {
    *lpdwNumDevs = 1;
    return FT_OK;
}
FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *pDest, DWORD *lpdwNumDevs) {
    static const FT_DEVICE_LIST_INFO_NODE node = {
        0, 5, 0x04036001, 0x1001, "LACKING1", "Provider without FT_Purge", NULL};
    if (*lpdwNumDevs < 1) return FT_INVALID_PARAMETER;
    pDest[0] = node;
    *lpdwNumDevs = 1;
    return FT_OK;
}
