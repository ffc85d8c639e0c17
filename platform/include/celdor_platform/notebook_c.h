/* The simulated notebook for hosts that use Celdor through its C interface on Linux (C, C#,
 * Python): set the notebook of the process up from a scenario file, as celdorctl --scenario
 * does, and count what is left open. It lives in libceldor_platform.so, the library that holds the
 * process's notebook; Celdor.dll has no counterpart, since on Windows the notebook is the
 * machine itself. Plain C; nothing else of the platform layer is needed to use it.
 */
#ifndef CELDOR_PLATFORM_NOTEBOOK_C_H
#define CELDOR_PLATFORM_NOTEBOOK_C_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Loads the scenario JSON file at `path` (UTF-8; docs/scenario.md), replacing the notebook's
 * whole state but its files. 1 when it was loaded. 0 when `path` is null, the file cannot be
 * read or the scenario is invalid; the reason then goes into `error` (at most `size` bytes,
 * terminated) unless `error` is null. */
int celdor_sim_load_scenario(const char* path, char* error, size_t size);

/* Handles, keys and allocations of every kind the notebook has handed out and not seen
 * released: 0 once a host has destroyed everything it made. */
int celdor_sim_open_handles(void);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* CELDOR_PLATFORM_NOTEBOOK_C_H */
