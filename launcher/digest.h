/*
** 64-bit FNV-1a, the digest of fast start's names and fingerprints: small,
** and more than enough to tell the archives of one user apart.  It is no
** defence against collisions made on purpose, and needs none: whoever can
** write the application's jars can change the application anyway.
*/
#ifndef TARNWICK_DIGEST_H
#define TARNWICK_DIGEST_H

#include <cstddef>
#include <string>

constexpr unsigned long long FNV_OFFSET = 14695981039346656037ULL;

/* Mixes length bytes into hash. */
unsigned long long mixBytes(unsigned long long hash, const char *bytes, std::size_t length);

/* Mixes text, and a mark for its end, into hash. */
unsigned long long mixText(unsigned long long hash, const char *text);

/* Mixes the eight bytes of number into hash. */
unsigned long long mixNumber(unsigned long long hash, unsigned long long number);

/* A digest as 16 hex digits. */
std::string hexDigits(unsigned long long value);

#endif
