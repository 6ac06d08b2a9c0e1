/* Reads two instruments at the same time, one thread and one device handle
 * each: liborv serializes calls per handle only, so the two reads overlap.
 *
 *   two_instruments [SPECTRA_PER_INSTRUMENT]   (default 5, at most 1000)
 *
 * Prints, per instrument, its chip serial, model and the brightest sample of
 * its last spectrum. Exit status: 0 done, 1 bad arguments, 2 fewer than two
 * instruments, 3 liborv failure. */
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <orv.h>

enum { kMaxDevices = 64, kMaxSpectra = 1000 };

struct reader {
    int index;              /* list position */
    int spectra;            /* how many to read */
    char chip_serial[64];   /* filled by main */
    orv_device_info info;   /* filled by the thread */
    uint16_t peak_position; /* of the last spectrum */
    uint16_t peak_counts;
    int result; /* ORV_OK or the first failure */
};

static void *read_instrument(void *argument) {
    struct reader *reader = argument;
    orv_device *device = NULL;
    uint16_t size = 0;
    uint16_t *counts = NULL;
    int result = orv_device_open(reader->index, &device);
    if (result == ORV_OK) result = orv_device_get_device_info(device, &reader->info);
    if (result == ORV_OK) result = orv_device_get_wavelength_count(device, &size);
    if (result == ORV_OK && (counts = calloc(size, sizeof *counts)) == NULL) {
        result = ORV_ERR_INVALID_PARAM;
    }
    for (int n = 0; result == ORV_OK && n < reader->spectra; ++n) {
        result = orv_device_get_full_spectrum_data(device, counts, size);
    }
    for (uint16_t i = 0; result == ORV_OK && i < size; ++i) {
        if (counts[i] > reader->peak_counts) {
            reader->peak_counts = counts[i];
            reader->peak_position = i;
        }
    }
    free(counts);
    orv_device_close(device);
    reader->result = result;
    return NULL;
}

/* The first two list positions that open as instruments (they tell their
 * model: liborv assumes UVVIS_ORV for a device that answers neither
 * protocol), in readers[0..1]. */
static int find_two(struct reader readers[2]) {
    int found = 0;
    for (int index = 0; index < kMaxDevices && found < 2; ++index) {
        char serial[64];
        if (orv_get_chip_serial_by_index(index, serial, (int)sizeof serial) != ORV_OK) break;
        orv_device *device = NULL;
        orv_device_info info;
        memset(&info, 0, sizeof info);
        if (orv_device_open(index, &device) == ORV_OK) orv_device_get_device_info(device, &info);
        orv_device_close(device);
        if (info.model[0] == '\0') continue;
        readers[found].index = index;
        memcpy(readers[found].chip_serial, serial, sizeof serial);
        ++found;
    }
    return found;
}

int main(int argc, char **argv) {
    int spectra = 5;
    if (argc > 2) {
        fprintf(stderr, "usage: %s [SPECTRA_PER_INSTRUMENT]\n", argv[0]);
        return 1;
    }
    if (argc == 2) {
        char *end = NULL;
        const long value = strtol(argv[1], &end, 10);
        if (*argv[1] == '\0' || *end != '\0' || value < 1 || value > kMaxSpectra) {
            fprintf(stderr, "%s: SPECTRA_PER_INSTRUMENT must be 1 to %d\n", argv[0], kMaxSpectra);
            return 1;
        }
        spectra = (int)value;
    }

    struct reader readers[2];
    memset(readers, 0, sizeof readers);
    if (find_two(readers) < 2) {
        fprintf(stderr, "%s: fewer than two instruments found\n", argv[0]);
        return 2;
    }
    pthread_t threads[2];
    int started = 0;
    for (; started < 2; ++started) {
        readers[started].spectra = spectra;
        if (pthread_create(&threads[started], NULL, read_instrument, &readers[started]) != 0) break;
    }
    for (int i = 0; i < started; ++i) pthread_join(threads[i], NULL);
    if (started < 2) {
        fprintf(stderr, "%s: cannot start a thread\n", argv[0]);
        return 3;
    }

    int status = 0;
    for (int i = 0; i < 2; ++i) {
        const struct reader *reader = &readers[i];
        if (reader->result != ORV_OK) {
            fprintf(stderr, "%s: %s: %s\n", argv[0], reader->chip_serial,
                    orv_result_name(reader->result));
            status = 3;
            continue;
        }
        printf("%s  %-12s  %d spectra, peak %u counts at pixel %u\n", reader->chip_serial,
               reader->info.model, reader->spectra, (unsigned)reader->peak_counts,
               (unsigned)reader->peak_position);
    }
    return status;
}
