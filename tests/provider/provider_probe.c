/* A program that links liborv and nothing else: it lists the bridges, then
 * opens the first one each way liborv offers and prints every result code,
 * one "name=code" line each, after the listing liborv prints itself. */
#include <stdio.h>

#include "orv.h"

int main(void) {
    char chip_serial[32] = "";
    orv_device *device = NULL;
    int rc = 0;

    printf("listed=%d\n", orv_scan_devices());
    rc = orv_get_chip_serial_by_index(0, chip_serial, (int)sizeof chip_serial);
    printf("chip_serial=%d %s\n", rc, rc == ORV_OK ? chip_serial : "");
    printf("open=%d\n", orv_open_device(0));
    orv_close_device();
    printf("handle_open=%d\n", orv_device_open(0, &device));
    orv_device_close(device);
    printf("open_by_chip_serial=%d\n",
           orv_open_device_by_chip_serial(chip_serial[0] != '\0' ? chip_serial : "ORVNONE"));
    orv_close_device();
    return 0;
}
