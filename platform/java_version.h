/*
** Java version names read as versions: the names under which runtimes are
** recorded (registry sub-keys, the JAVA_VERSION of a release file) and the
** requirements of a "javaVersion" line.
**
** Two forms are in use.  Up to Java 8 a version is written
** 1.<feature>.<interim>_<update> (1.8.0_392: feature 8, update 392); from
** Java 9 on it is <feature>[.<interim>[.<update>[.<patch>]]] (17.0.9:
** feature 17, update 9).  Whatever follows the numbers (+7, -ea, -LTS, -b08)
** does not count.
*/
#ifndef TARNWICK_JAVA_VERSION_H
#define TARNWICK_JAVA_VERSION_H

struct JavaVersion {
    int feature;
    int interim;
    int update;
    int patch;
};

/* Reads the version at the start of text into *version (numbers that are
** not written are 0; a number too large for an int reads as INT_MAX).
** False when text does not begin with a digit.  When end is given it is
** set to the first character after the numbers. */
bool readJavaVersion(const char *text, JavaVersion *version, const char **end = nullptr);

/* Below zero, zero or above zero as a is older than, the same as or newer
** than b: feature first, then interim, update and patch. */
int compareJavaVersions(const JavaVersion &a, const JavaVersion &b);

#endif
