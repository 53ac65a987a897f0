/*
** Configuration: locating and reading the application's configuration
** file, and writing the sample configuration.
*/
#ifndef TARNWICK_CONFIG_H
#define TARNWICK_CONFIG_H

/* The name of the sample file that "-sample" writes. */
extern const char *const SAMPLE_CONFIG_NAME;

/* Names the application's configuration file (the "-c" path, or the
** program's base name without ".exe" plus ".config" in dir) and reads it.
** May shorten exePath in place.  0 when the launcher may go on, 1 when no
** path could be formed or the file exists but cannot be opened. */
int readAppConfig(char *exePath, const char *dir);

/* Reads one configuration file.  0 when it was read or does not exist, 1
** when it exists but cannot be opened. */
int readAppConfig(const char *path);

/* Writes the documented sample configuration into the current directory,
** or ends the process with exit code 1 when the file cannot be created. */
void writeSampleConfig();

#endif
