/* Lists the FTDI devices liborv sees and what each one is, then reads one
 * spectrum from the first instrument and writes it as CSV.
 *
 *   list_and_save              list only
 *   list_and_save SPECTRUM.csv list, then write wavelength_nm,counts rows
 *
 * The file is written under a temporary name and renamed when complete, so
 * it is either whole or absent. Exit status: 0 done, 1 bad arguments or
 * output file, 2 no instrument, 3 liborv failure. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <orv.h>

enum { kMaxDevices = 64 };

/* Prints one line per listed device; returns the list position of the first
 * instrument, or -1. liborv assumes UVVIS_ORV for a device that answers
 * neither protocol, so a device counts as an instrument when it told its
 * model. */
static int list_devices(void) {
    int first_instrument = -1;
    int index = 0;
    char chip_serial[64];
    while (index < kMaxDevices &&
           orv_get_chip_serial_by_index(index, chip_serial, (int)sizeof chip_serial) == ORV_OK) {
        orv_device *device = NULL;
        orv_device_info info;
        memset(&info, 0, sizeof info);
        int result = orv_device_open(index, &device);
        if (result == ORV_OK) result = orv_device_get_device_info(device, &info);
        orv_device_close(device);
        if (result != ORV_OK) {
            printf("%d  %-10s  (%s)\n", index, chip_serial, orv_result_name(result));
        } else if (info.model[0] == '\0') {
            printf("%d  %-10s  not an instrument\n", index, chip_serial);
        } else {
            printf("%d  %-10s  %-10s  %-12s  %s\n", index, chip_serial, info.protocol_name,
                   info.model, info.serial_number);
            if (first_instrument < 0) first_instrument = index;
        }
        ++index;
    }
    printf("%d device(s)\n", index);
    return first_instrument;
}

/* Reads the wavelength table and one spectrum of list position index. */
static int read_spectrum(int index, double **wavelengths, uint16_t **counts, uint16_t *size) {
    orv_device *device = NULL;
    int result = orv_device_open(index, &device);
    if (result == ORV_OK) result = orv_device_get_wavelength_count(device, size);
    if (result == ORV_OK) {
        *wavelengths = calloc(*size, sizeof **wavelengths);
        *counts = calloc(*size, sizeof **counts);
        if (*wavelengths == NULL || *counts == NULL) result = ORV_ERR_INVALID_PARAM;
    }
    if (result == ORV_OK) result = orv_device_set_integration_time(device, 10000);
    if (result == ORV_OK) result = orv_device_get_full_wavelength_data(device, *wavelengths, *size);
    if (result == ORV_OK) result = orv_device_get_full_spectrum_data(device, *counts, *size);
    orv_device_close(device);
    return result;
}

/* Writes path.part, then renames it to path; removes the part on failure. */
static int write_csv(const char *path, const double *wavelengths, const uint16_t *counts,
                     uint16_t size) {
    size_t length = strlen(path) + sizeof ".part";
    char *part = malloc(length);
    if (part == NULL) return 0;
    snprintf(part, length, "%s.part", path);
    FILE *file = fopen(part, "w");
    int ok = file != NULL && fprintf(file, "wavelength_nm,counts\n") > 0;
    for (uint16_t i = 0; ok && i < size; ++i) {
        ok = fprintf(file, "%.4f,%u\n", wavelengths[i], (unsigned)counts[i]) > 0;
    }
    if (file != NULL && fclose(file) != 0) ok = 0;
#ifdef _WIN32
    if (ok) remove(path); /* rename does not replace a file there */
#endif
    if (ok && rename(part, path) != 0) ok = 0;
    if (!ok) remove(part);
    free(part);
    return ok;
}

int main(int argc, char **argv) {
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        fprintf(stderr, "usage: %s [SPECTRUM.csv]\n", argv[0]);
        return 1;
    }
    printf("liborv %s (header %s)\n", orv_version(), ORV_VERSION);
    const int instrument = list_devices();
    if (argc == 1) return 0;
    if (instrument < 0) {
        fprintf(stderr, "%s: no instrument found\n", argv[0]);
        return 2;
    }

    double *wavelengths = NULL;
    uint16_t *counts = NULL;
    uint16_t size = 0;
    int status = 0;
    const int result = read_spectrum(instrument, &wavelengths, &counts, &size);
    if (result != ORV_OK) {
        fprintf(stderr, "%s: reading device %d: %s\n", argv[0], instrument,
                orv_result_name(result));
        status = 3;
    } else if (!write_csv(argv[1], wavelengths, counts, size)) {
        fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        status = 1;
    } else {
        printf("wrote %u samples of device %d to %s\n", (unsigned)size, instrument, argv[1]);
    }
    free(wavelengths);
    free(counts);
    return status;
}
