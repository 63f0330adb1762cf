// Loading the library builds its three trace channels; unloading destroys
// them in the reverse order. This program does not link the library, so that
// dlclose really unloads it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "VOKHostTesting.h"
#include "VOKTrace.h"

namespace {

struct Expected {
  const char* symbol;
  const char* name;
  const char* description;
};

TEST(ModuleLoad, ChannelsLiveFromLoadToUnloadInOrder) {
  VOKHost::TraceChannelEventsClear();
  void* module = dlopen(VOKDYN_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();

  EXPECT_EQ(VOKHost::TraceChannelEvents(),
            (std::vector<std::string>{"construct:DYNBase", "construct:DYNDev", "construct:DYNError"}));

  const Expected channels[] = {
      {"Tra_DYNBase", "DYNBase", "Base definition traces"},
      {"Tra_DYNDev", "DYNDev", "DYN Response traces - developpement"},
      {"Tra_DYNError", "DYNError", "DYN response traces - code error"},
  };
  for (const Expected& e : channels) {
    SCOPED_TRACE(e.symbol);
    auto* channel = static_cast<VOKTrace*>(dlsym(module, e.symbol));
    ASSERT_NE(channel, nullptr) << "the channel object is exported";
    EXPECT_STREQ(channel->GetName(), e.name);
    EXPECT_STREQ(channel->GetDescription(), e.description);
    EXPECT_EQ(channel->GetMode(), VOKTraMode(0));
    EXPECT_STREQ(channel->GetOutput(), "STDOUT");
    EXPECT_EQ(channel->GetSize(), 1024);
    VOKTraControle* control = VOKTraControle::Create(e.name);
    EXPECT_NE(control, nullptr) << "a live channel can be controlled";
    delete control;
  }

  VOKHost::TraceChannelEventsClear();
  ASSERT_EQ(dlclose(module), 0);
  EXPECT_EQ(VOKHost::TraceChannelEvents(),
            (std::vector<std::string>{"destruct:DYNError", "destruct:DYNDev", "destruct:DYNBase"}));
  for (const char* name : {"DYNBase", "DYNDev", "DYNError"}) {
    EXPECT_EQ(VOKTraControle::Create(name), nullptr) << name << " is gone after unloading";
  }
}

}  // namespace
