/*
** Configuration: locating and reading the application's configuration
** file, and writing the sample configuration.
*/
#ifndef TARNWICK_CONFIG_H
#define TARNWICK_CONFIG_H

#include <string>

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

/* Whether the configuration named after the launcher (never a "-c" file nor
** an include) says "toolMode on": the last toolMode line decides, "on" in
** any letter case.  Read before the options are scanned, since in tool mode
** they are not; false when there is no such file or it cannot be read. */
bool ownConfigAsksToolMode(const char *exePath, const char *dir);

/* The toolMode lines of one file alone, as ownConfigAsksToolMode reads them. */
bool readToolMode(const char *path);

/* Writes the documented sample configuration into the current directory,
** or, saying why on standard error, ends the process with exit code 1 when
** the file cannot be written. */
void writeSampleConfig();

/* Expands '$' references to environment variables (and "pid", the
** launcher's process id) in text, one reference per pass from left to right,
** turning backslashes into slashes in what a pass produces.  With
** quoteFlag 1 (forced by an '=' before the first '$') an expanded value that
** holds a blank is enclosed in double quotes with the rest of the text.  A
** reference that cannot be resolved ends the expansion and stays as written.
** A null text gives an empty one. */
std::string parsePath(const char *text, int quoteFlag);

/* Turns every backslash in text into a slash, in place; null is allowed. */
void exchangeSlashes(char *text);

/* Appends the folder with "/" and "*" after it (all its jars) to the
** class path. */
void addJars(const char *folder);

#endif
