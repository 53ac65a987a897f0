/*
** Branding: an executable's icon replaced by the images of an icon file,
** and a version record added, as one change to its resource section.
*/
#ifndef TARNWICK_BRAND_BRAND_H
#define TARNWICK_BRAND_BRAND_H

#include "tools/brand/icon_file.h"
#include "tools/brand/version_record.h"

#include <string>
#include <vector>

/* What to put into the executable. */
struct Branding {
    std::vector<IconImage> icon; /* every image becomes an icon resource */
    bool withVersionRecord;
    VersionNumber version;              /* the fixed file and product versions */
    std::vector<VersionString> strings; /* the string table, in this order */
    std::string executionLevel;         /* for the manifest; empty: as it is */
};

/* Brands the executable exe into *branded.  Every icon and icon group of exe
** gives way to one group of the new images, under the name and language
** of its first group (1 and neutral when it had none); with a version
** record, every old version record gives way to the new one (language
** neutral); with an execution level, the program's manifest requests it;
** all other resources stay.  False, with the reason in *error, when exe is
** no executable the tool can rewrite safely, or has no manifest whose level
** can be set. */
bool brandExecutable(const std::string &exe, const Branding &branding, std::string *branded,
                     std::string *error);

#endif
