#ifndef VOKHostExport_h
#define VOKHostExport_h
// The host platform is built with default visibility: everything declared in
// its public headers is callable by the library, the tool and the tests.
#define VOKHOST_API __attribute__((visibility("default")))
#endif
