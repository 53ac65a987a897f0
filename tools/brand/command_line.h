/*
** The command line of tarnwick-brand: its options, checked, and its help.
*/
#ifndef TARNWICK_BRAND_COMMAND_LINE_H
#define TARNWICK_BRAND_COMMAND_LINE_H

#include "tools/brand/brand.h"

#include <string>
#include <vector>

/* The longest text of the version record, in UTF-16 units. */
constexpr std::size_t MAX_TEXT_UNITS = 256;

/* A text option: whether it was given, and its value (UTF-8). */
struct TextOption {
    bool given;
    std::string value;
};

struct BrandOptions {
    bool help;
    std::string icon;
    std::string input;
    std::string output;
    TextOption name, version, company, description, copyright;
    TextOption executionLevel;
};

/* The usage lines, and the whole help (usage and explanation, as the
** README gives it). */
extern const char *const BRAND_USAGE;
extern const char *const BRAND_HELP;

/* Reads args (after the program's name).  False, with the reason in
** *error, for an unknown option, one given twice or without its value, a
** missing --icon, an execution level Windows does not know, or not
** exactly two files.  With --help (or -h) anywhere
** but as an option's value the rest is not checked; a value is always a
** value, whatever it looks like. */
bool parseBrandOptions(const std::vector<std::string> &args, BrandOptions *options,
                       std::string *error);

/* Fills in the version record's part of branding from the text options:
** none given, no record.  False, with the reason in *error, for a version
** that is not one to four numbers up to 65535, a text that is not UTF-8 or
** is longer than MAX_TEXT_UNITS. */
bool versionFromOptions(const BrandOptions &options, Branding *branding, std::string *error);

#endif
