/*
** Putting a new resource section into an executable.  The resource section
** keeps its address and grows or shrinks in place; a base relocation
** section right after it (as MinGW's linker lays the launcher out) moves to
** follow it, which changes nothing inside it: the relocations name places
** in the code and data before the resource section, never in it.
*/
#ifndef TARNWICK_BRAND_PE_REWRITE_H
#define TARNWICK_BRAND_PE_REWRITE_H

#include "tools/brand/pe_image.h"

#include <cstddef>
#include <string>

/* Where the resource section is, and what must move with it. */
struct ResourcePlan {
    std::size_t resourceSection; /* index in image.sections */
    bool movesRelocations;       /* the last section, the relocations, follows it */
    std::string oldResources;    /* the section's bytes as they are */
};

/* Checks that the resource section of file can be replaced without
** touching anything the tool does not understand, and finds it.  False,
** with the reason in *error, for a signed file, a COFF symbol table, data
** after the last section, no resource section, a section other than the
** base relocations after it, a data directory or the entry point in or
** after it, and base relocations of an unknown kind, in or after it, or
** holding an address in or after it. */
bool planResourceRewrite(const std::string &file, const PeImage &image, ResourcePlan *plan,
                         std::string *error);

/* Puts into *out the executable with newResources in place of the planned
** resource section: the section table, the image size, the initialized-data
** size, the resource and base relocation directories and the checksum
** updated; every other byte as in file.  False, with the reason in *error,
** when the new layout would reach past 4 GiB. */
bool rewriteResources(const std::string &file, const PeImage &image, const ResourcePlan &plan,
                      const std::string &newResources, std::string *out, std::string *error);

#endif
