// Identification of the build: read-only strings that outside tools find in the executable's
// dynamic symbol table, or by a plain text search for "VKSTag:", without running it. The launcher
// itself reads them only to answer --version under its own name, beside its --help.
#pragma once

#include <string>

extern "C" {
extern const char trv_SoftwareVersion[];
extern const char trv_VKSTag[];
extern const char trv_SubsystemName[];
extern const char trv_Copyright[];

extern const char Jobs_Simulator_TCLMain_SoftwareVersion[];
extern const char Jobs_Simulator_TCLMain_VKSTag[];
extern const char Jobs_Simulator_TCLMain_VKSTag_grep[];
extern const char Jobs_Simulator_TCLMain_LayerName[];
extern const char Jobs_Simulator_TCLMain_SubsystemName[];
extern const char Jobs_Simulator_TCLMain_SubsystemPackageName[];
}

/// The name the launcher is installed under. Run under it where no design of that name was
/// compiled, the launcher is being tried out, not run for a design, and explains itself.
constexpr const char* ownName = "bootloader";

/// What `bootloader --help` prints: how the launcher is installed and run, its options, the
/// environment it reads, and where to read more.
const char* ownNameUsage();

/// What `bootloader --version` prints: the software version, the tag and the copyright line that
/// the identification strings carry.
std::string ownNameVersion();
