#ifndef VOKDYNToolsExport_h
#define VOKDYNToolsExport_h
// The library is built with hidden visibility; only what carries this macro
// is exported.
#define ExportedByVOKDYNTools __attribute__((visibility("default")))
#endif
