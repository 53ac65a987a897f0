/*
** The application manifest of an executable (resource type 24): the
** execution level Windows asks for before it starts the program.
*/
#ifndef TARNWICK_BRAND_MANIFEST_H
#define TARNWICK_BRAND_MANIFEST_H

#include <cstdint>
#include <string>

/* The resource type of a manifest, and the name under which the system
** reads the manifest of a program (CREATEPROCESS_MANIFEST_RESOURCE_ID). */
constexpr std::uint16_t RESOURCE_MANIFEST = 24;
constexpr std::uint16_t PROGRAM_MANIFEST_ID = 1;

/* True for the three levels a manifest may request: asInvoker,
** highestAvailable and requireAdministrator, spelt as Windows reads them. */
bool isExecutionLevel(const std::string &level);

/* Sets the level attribute of the manifest's one requestedExecutionLevel
** element (with any namespace prefix: asmv3:requestedExecutionLevel) to
** level, leaving every other byte as it is.  The manifest is read as XML:
** what stands in a comment, a CDATA section or a processing instruction is
** no element, and only the attribute named level is changed, never a text
** inside another attribute's value.  False, with the reason in *error, when
** the manifest cannot be read so, has no such element or more than one, or
** the element has no level attribute. */
bool setExecutionLevel(std::string *manifest, const std::string &level, std::string *error);

#endif
