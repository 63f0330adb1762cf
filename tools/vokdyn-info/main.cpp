// Reports the library's trace channels and their states: a check that the
// library loads and that its channels were built.
#include <cstdio>

#include "VOKDYNTraceChannels.h"

int main() {
  const VOKTrace* channels[] = {&Tra_DYNBase, &Tra_DYNDev, &Tra_DYNError};
  std::printf("%-9s %-5s %-7s %s\n", "channel", "state", "output", "description");
  for (const VOKTrace* channel : channels)
    std::printf("%-9s %-5s %-7s %s\n", channel->GetName(),
                VOKDYNGetTraceState(channel->GetName()) ? "on" : "off", channel->GetOutput(),
                channel->GetDescription());
  return 0;
}
