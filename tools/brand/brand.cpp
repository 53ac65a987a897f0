#include "tools/brand/brand.h"

#include "tools/brand/manifest.h"
#include "tools/brand/pe_image.h"
#include "tools/brand/pe_rewrite.h"
#include "tools/brand/resource_tree.h"

#include <utility>

/* The new icon images are numbered from here. */
static const std::uint16_t FIRST_ICON_ID = 1;

/* Windows reads resources in the Unicode code page; 0 is what resource
** compilers write. */
static const std::uint32_t RESOURCE_CODE_PAGE = 0;

/* A leaf of a numbered type (texts never name the standard types). */
static bool isType(const ResourceLeaf &leaf, std::uint16_t type) {
    return !leaf.type.isText && leaf.type.number == type;
}

/* The leaves of the branded executable: the old ones without icons, icon
** groups and (when a new one comes) version records, then the new ones.  The
** old ones come in directory order, so the first group met has the lowest
** name and, of that name, the lowest language. */
static std::vector<ResourceLeaf> brandedLeaves(std::vector<ResourceLeaf> old,
                                               const Branding &branding) {
    ResourceId groupName = resourceNumber(FIRST_ICON_ID);
    std::uint16_t groupLanguage = LANGUAGE_NEUTRAL;
    for (const ResourceLeaf &leaf : old) {
        if (isType(leaf, RESOURCE_GROUP_ICON)) {
            groupName = leaf.name;
            groupLanguage = leaf.language;
            break;
        }
    }

    std::vector<ResourceLeaf> leaves;
    for (ResourceLeaf &leaf : old) {
        bool replaced = isType(leaf, RESOURCE_ICON) || isType(leaf, RESOURCE_GROUP_ICON) ||
                        (branding.withVersionRecord && isType(leaf, RESOURCE_VERSION));
        if (!replaced) leaves.push_back(std::move(leaf));
    }
    for (std::size_t i = 0; i < branding.icon.size(); ++i) {
        leaves.push_back(ResourceLeaf{resourceNumber(RESOURCE_ICON),
                                      resourceNumber(static_cast<std::uint16_t>(FIRST_ICON_ID + i)),
                                      groupLanguage, RESOURCE_CODE_PAGE, branding.icon[i].data});
    }
    leaves.push_back(ResourceLeaf{resourceNumber(RESOURCE_GROUP_ICON), groupName, groupLanguage,
                                  RESOURCE_CODE_PAGE,
                                  iconGroupRecord(branding.icon, FIRST_ICON_ID)});
    if (branding.withVersionRecord) {
        leaves.push_back(ResourceLeaf{resourceNumber(RESOURCE_VERSION), resourceNumber(1),
                                      LANGUAGE_NEUTRAL, RESOURCE_CODE_PAGE,
                                      versionRecord(branding.version, branding.strings)});
    }
    return leaves;
}

/* Sets the execution level in the program's manifest (every language of
** it); an executable without one is refused rather than given a manifest
** the tool would have to make up. */
static bool requestExecutionLevel(std::vector<ResourceLeaf> *leaves, const std::string &level,
                                  std::string *error) {
    bool found = false;
    for (ResourceLeaf &leaf : *leaves) {
        if (!isType(leaf, RESOURCE_MANIFEST) || leaf.name.isText ||
            leaf.name.number != PROGRAM_MANIFEST_ID)
            continue;
        if (!setExecutionLevel(&leaf.data, level, error)) return false;
        found = true;
    }
    if (!found) *error = "it has no application manifest whose execution level could be set";
    return found;
}

bool brandExecutable(const std::string &exe, const Branding &branding, std::string *branded,
                     std::string *error) {
    PeImage image;
    ResourcePlan plan;
    std::vector<ResourceLeaf> old;
    if (!readPeImage(exe, &image, error) || !planResourceRewrite(exe, image, &plan, error))
        return false;
    const PeSection &section = image.sections[plan.resourceSection];
    if (!readResourceTree(plan.oldResources, section.virtualAddress, &old, error)) return false;
    if (!branding.executionLevel.empty() &&
        !requestExecutionLevel(&old, branding.executionLevel, error))
        return false;
    std::string resources;
    if (!writeResourceTree(brandedLeaves(std::move(old), branding), section.virtualAddress,
                           &resources, error)) {
        return false;
    }
    return rewriteResources(exe, image, plan, resources, branded, error);
}
