/* Control interface of the simulated D2XX provider. Not part of D2XX: tests,
 * benchmarks and fuzz targets link the provider directly to load scenarios
 * and read what the simulated instruments saw. */
#ifndef ORVSIM_H
#define ORVSIM_H

#include <stdint.h>

#include "ftd2xx.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Replaces the current scenario by one given as JSON text (same format as the
 * files named by ORVSIM_SCENARIO). Closes every open handle. 0 on success,
 * -1 on a malformed scenario (orvsim_last_error says why; the old scenario
 * stays). */
FTD2XX_API int orvsim_load_scenario_json(const char *json_text);
/* The same from a file. */
FTD2XX_API int orvsim_load_scenario_file(const char *path);
/* Back to the scenario the environment selects (ORVSIM_SCENARIO or the
 * built-in default). */
FTD2XX_API int orvsim_load_default_scenario(void);
/* Text of the last scenario error ("" when none). */
FTD2XX_API const char *orvsim_last_error(void);

/* Number of handles currently open (FT_Open without FT_Close). */
FTD2XX_API int orvsim_open_handle_count(void);
/* Number of FT_Write calls that reached bridge `bridge_index` since the
 * scenario was loaded or the counters were reset. -1 for a bad index. */
FTD2XX_API int orvsim_write_count(int bridge_index);
/* Copies the bytes of the last FT_Write to that bridge into buf (at most cap
 * bytes); returns the full length of that write, 0 when none, -1 for a bad
 * index. */
FTD2XX_API int orvsim_last_write(int bridge_index, uint8_t *buf, int cap);
/* Resets the write counters of all bridges. */
FTD2XX_API void orvsim_reset_counters(void);
/* Milliseconds (real time, after time scaling) the simulator modelled for
 * the most recent complete reply on that bridge: from the end of the request
 * to the moment its last byte became readable. -1 when none. */
FTD2XX_API double orvsim_last_modeled_reply_ms(int bridge_index);
/* Switches the light path of the instrument behind bridge `bridge_index`:
 * the lamp on (non-zero) or off, the sample holder holding the scenario's
 * sample (non-zero) or blank. Takes effect from the next acquisition; a
 * reset of the instrument leaves it. 0 on success, -1 for a bad index, a
 * bridge without a simulated instrument, or a sample the scenario does not
 * give (the light path stays as it was). */
FTD2XX_API int orvsim_set_light_path(int bridge_index, int lamp_on, int sample_in);
/* Number of copies of the provider loaded in this process. Kept in the
 * environment variable ORVSIM_LOADED_MODULES (constructor +1, destructor -1),
 * so a program can read it after it unloaded the provider, without linking it. */
FTD2XX_API int orvsim_loaded_module_count(void);

#ifdef __cplusplus
}
#endif

#endif /* ORVSIM_H */
