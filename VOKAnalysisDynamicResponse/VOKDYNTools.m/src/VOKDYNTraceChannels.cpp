// The framework's trace channels and the switches of their state.
//
// The three channels are defined in this one translation unit, in this order,
// so that static initialisation builds them base, development, error, and the
// unloading of the library destroys them error, development, base.
#include "VOKDYNTraceChannels.h"

namespace {
// The platform's constructor takes the description as a modifiable string.
char g_BaseDescription[] = "Base definition traces";
char g_DevDescription[] = "DYN Response traces - developpement";
char g_ErrorDescription[] = "DYN response traces - code error";
}  // namespace

ExportedByVOKDYNTools VOKTrace Tra_DYNBase("DYNBase", g_BaseDescription, VOKTraMode(0), "STDOUT", 1024);
ExportedByVOKDYNTools VOKTrace Tra_DYNDev("DYNDev", g_DevDescription, VOKTraMode(0), "STDOUT", 1024);
ExportedByVOKDYNTools VOKTrace Tra_DYNError("DYNError", g_ErrorDescription, VOKTraMode(0), "STDOUT", 1024);

int VOKDYNGetTraceState(const char* const iName) {
  VOKTraControle* control = VOKTraControle::Create(iName);
  if (!control) return 0;
  int state = control->TraGetFlg();
  delete control;
  return state;
}

void VOKDYNSetTraceState(int iState, const char* const iName) {
  VOKTraControle* control = VOKTraControle::Create(iName);
  if (!control) return;
  control->TraPutFlg(iState);
  delete control;
}
