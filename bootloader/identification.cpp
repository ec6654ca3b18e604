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

const char* ownNameUsage() {
  return R"usage(Usage: <design> [-f <command file>]... [option]... [argument]...

bootloader launches the simulation of a compiled design. Copy or link it into the directory
where the design was compiled, under the name of the design's simulation executable, and run
it from there:

  cp "$(command -v bootloader)" tb_sim && ./tb_sim -f run.cmd -gui

It checks that orsa/<design>.sim/<design> is there, writes the run log orsa.log, and replaces
itself with the Tcl kernel orsatcl, or with -gui the graphical front end orsagui.

Options:
  -f <file>          read more arguments from a command file
  -gui               start the graphical front end instead of the Tcl kernel
  -tclbatch <file>   the Tcl script to run; it must be readable
  -view <file>       a waveform configuration or database to show; may be repeated
  -open <file>       the database to open
  -wdb [<file>]      the database to write (.wdb is appended when missing)
  -intstyle <style>  vel, ko, dorne or silent
  -disabletimeout    run without the simulation time-out
  -log <file>        write the run log to <file> instead of orsa.log
  -nolog             write no run log
Every other argument is passed on to the simulator.

Environment:
  TARVEN            installation roots, separated by ':'; the kernel is taken from the first
                    root holding bin/lin/unwrapped/orsatcl
  TARVEN_DSP        the co-simulation root; when unset, found under the roots
  LD_LIBRARY_PATH   kept after the library directories of the roots
  BOOTLOADER_TRACE  when set and not empty, every decision is shown on standard error
  BOOTLOADER_CHECK  when set and not empty, the launch is checked and traced, not made;
                    "strict" also fails on arguments that look like slips of these options

See man bootloader for command files, the run log and every message; before installing,
man -l doc/bootloader.1 in the launcher's sources shows the same page.
)usage";
}

std::string ownNameVersion() {
  return std::string(ownName) + " " + trv_SoftwareVersion + " " + trv_VKSTag + "\n" +
         trv_Copyright + "\n";
}

static_assert(sizeof trv_SoftwareVersion == 6 + 1, "the software version has six characters");
static_assert(sizeof trv_VKSTag == 14 + 1, "the tag has fourteen characters");
