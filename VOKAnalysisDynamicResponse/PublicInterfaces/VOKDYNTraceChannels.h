#ifndef VOKDYNTraceChannels_h
#define VOKDYNTraceChannels_h
// The dynamic-response framework's three trace channels, owned by this
// library: built when the library is loaded (base, development, error) and
// destroyed in the reverse order when it is unloaded. Other modules of the
// framework may write on them: set the level, then TraPutLN.
//
// Levels used by the library: 1 on the error channel, 2 or 3 on the
// development channel. Nothing is written on the base channel.
#include "VOKDYNToolsExport.h"
#include "VOKTrace.h"

/// "DYNBase": base definition traces.
extern ExportedByVOKDYNTools VOKTrace Tra_DYNBase;
/// "DYNDev": development traces of the dynamic response.
extern ExportedByVOKDYNTools VOKTrace Tra_DYNDev;
/// "DYNError": code-error traces of the dynamic response.
extern ExportedByVOKDYNTools VOKTrace Tra_DYNError;

/// The state flag of the trace channel named iName ("DYNBase", "DYNDev",
/// "DYNError" or any live channel); 0 when no channel has that name.
ExportedByVOKDYNTools int VOKDYNGetTraceState(const char* const iName);
/// Sets the state flag of the channel named iName; no effect when no channel
/// has that name.
ExportedByVOKDYNTools void VOKDYNSetTraceState(int iState, const char* const iName);

#endif
