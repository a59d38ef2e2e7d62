// Replacing the resource section of a Windows program (PE32 or PE32+) with a
// rebuilt one. Only a resource section that is the program's last section,
// in the file and in memory, can change its size; the headers that depend on
// it (section size, image size, resource directory, checksum) follow.
#pragma once
#include <string>
#include <vector>
#include "tools/mksfx/pe/resource_tree.h"

// The resources of the program image; false with *error when the program
// has none, or when they cannot be rebuilt (not the last section, data
// behind the image, a signature, other tables inside the section).
bool ReadProgramResources(const std::string& image, std::vector<ResourceItem>* items, std::string* error);

// Writes the items as the program's new resource section.
bool ReplaceProgramResources(std::string& image, const std::vector<ResourceItem>& items, std::string* error);
