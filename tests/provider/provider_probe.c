/* A program that links liborv and nothing else: it lists the bridges, then
 * opens the first one each way liborv offers and prints every result code,
 * one "name=code" line each, after the listing liborv prints itself.
 * With PROBE_PROVIDER set it prints instead which provider liborv uses, then
 * the bridge records' result, count and listed number and the first record's
 * chip serial. */
#include <stdio.h>
#include <stdlib.h>

#include "orv.h"

static int probe_provider(void) {
    char text[512] = "";
    orv_bridge_info bridges[ORV_MAX_BRIDGES];
    int count = -1;
    int listed = -1;
    int rc = orv_d2xx_provider(text, (int)sizeof text);
    printf("provider=%d %s\n", rc, text);
    rc = orv_list_bridges(bridges, ORV_MAX_BRIDGES, &count, &listed);
    printf("bridges=%d %d %d %s\n", rc, count, listed, count > 0 ? bridges[0].chip_serial : "-");
    return 0;
}

int main(void) {
    char chip_serial[32] = "";
    orv_device *device = NULL;
    int rc = 0;

    if (getenv("PROBE_PROVIDER") != NULL) return probe_provider();
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
