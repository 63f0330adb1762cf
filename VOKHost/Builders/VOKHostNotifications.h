#ifndef VOKHostNotifications_h
#define VOKHostNotifications_h
// Where the stand-in's notification dialogs go: a program that runs the
// library headless (the command-line tool) shows them its own way.
#include <functional>
#include <string>
#include "VOKHostExport.h"

namespace VOKHost {

// -------------------------------------------------------------- notifications
struct Notification {
  std::string dialogName;
  unsigned long style;
  int visibility;
  std::string title;
  std::string text;
};
/// Receives every displayed notification; null restores the default (one
/// line on standard error).
VOKHOST_API void SetNotificationSink(std::function<void(const Notification&)> iSink);

}  // namespace VOKHost

#endif
