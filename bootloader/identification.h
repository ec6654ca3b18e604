// Identification of the build: read-only strings that outside tools find in the executable's
// dynamic symbol table, or by a plain text search for "VKSTag:", without running it. The launcher
// itself never reads them.
#pragma once

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
