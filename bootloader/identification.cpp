#include "identification.h"

#include "identification_values.h"

// "used" keeps each array in the executable although nothing in the launcher refers to it.
#define IDENTIFICATION [[gnu::used]]

extern "C" {
IDENTIFICATION const char trv_SoftwareVersion[] = BOOTLOADER_SOFTWARE_VERSION;
IDENTIFICATION const char trv_VKSTag[] = BOOTLOADER_VKS_TAG;
IDENTIFICATION const char trv_SubsystemName[] = "Simulator";
IDENTIFICATION const char trv_Copyright[] = BOOTLOADER_COPYRIGHT;

IDENTIFICATION const char Jobs_Simulator_TCLMain_SoftwareVersion[] = BOOTLOADER_SOFTWARE_VERSION;
IDENTIFICATION const char Jobs_Simulator_TCLMain_VKSTag[] = BOOTLOADER_VKS_TAG;
IDENTIFICATION const char Jobs_Simulator_TCLMain_VKSTag_grep[] = "VKSTag:" BOOTLOADER_VKS_TAG;
IDENTIFICATION const char Jobs_Simulator_TCLMain_LayerName[] = "Jobs";
IDENTIFICATION const char Jobs_Simulator_TCLMain_SubsystemName[] = "Simulator";
IDENTIFICATION const char Jobs_Simulator_TCLMain_SubsystemPackageName[] = "TCLMain";
}

static_assert(sizeof trv_SoftwareVersion == 6 + 1, "the software version has six characters");
static_assert(sizeof trv_VKSTag == 14 + 1, "the tag has fourteen characters");
