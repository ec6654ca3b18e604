// The tool environment: the installation roots named by TARVEN, the Tcl kernel and the
// co-simulation package found under them, and the library search path handed to the simulator.
#pragma once

#include <string>

#include "launch_settings.h"

/// What stands at a path the launcher probes for a program or library.
enum class ProbeOutcome { readableFile, absent, unreadable, directory, fifo, otherKind };

/// Opens `path` for reading without waiting (a FIFO must not stall the launcher) and tells whether
/// it is a readable regular file, or what stands there instead; for `absent` and `unreadable`,
/// `reason` gets the system's reason.
ProbeOutcome probeFile(const std::string& path, int* reason);

/// Sets the variable `name` to `value` for the simulator to inherit. Every copy of it in the
/// environment goes first: with two copies, setenv would change only one and the simulator's
/// dynamic loader might read the other. Returns false, with `error` filled, if that fails.
bool exportVariable(const char* name, const char* value, LaunchError* error);

/// Reads TARVEN, TARVEN_DSP and LD_LIBRARY_PATH and walks the installation roots in order: every
/// root's library directory goes into LD_LIBRARY_PATH, the first root holding a kernel names the
/// kernel (recorded in `settings`), and, unless TARVEN_DSP is set, the first root holding the
/// co-simulation library becomes TARVEN_DSP. The user's own LD_LIBRARY_PATH comes last. No empty
/// entry, and no entry holding ";" (the loader splits there too), goes into the library path.
/// A kernel that is there but cannot be read is passed over, and the first such is remembered.
/// Returns false, with `error` filled, only if the environment cannot be changed.
bool composeToolEnvironment(LaunchSettings& settings, LaunchError* error);
