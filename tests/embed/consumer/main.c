/* Calls liborv as a program of another project would: a checksum (no device
 * access) and the device listing, which needs the D2XX library that liborv
 * links to (here the simulated provider with its built-in instruments). */
#include <stdint.h>
#include <stdio.h>

#include "orv.h"

int main(void) {
    static const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    const uint32_t crc = (uint32_t)orv_crc32(digits, (int)sizeof digits);
    if (crc != 0xCBF43926u) {
        fprintf(stderr, "embed: orv_crc32 gave %08X, expected CBF43926\n", (unsigned)crc);
        return 1;
    }
    const int devices = orv_scan_devices();
    if (devices <= 0) {
        fprintf(stderr, "embed: orv_scan_devices listed no device\n");
        return 1;
    }
    printf("embed: orv_crc32 and orv_scan_devices (%d devices) work\n", devices);
    return 0;
}
