// The trace facility: live channels, their state flags, outputs and the
// capture of lines for tests.
#include "VOKTrace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <sstream>
#include <string>

#include "VOKHostTesting.h"

namespace {

struct ChannelState {
  VOKTrace* channel;
  int flag;
};

struct Registry {
  std::mutex mutex;
  std::map<std::string, ChannelState> live;
  std::vector<std::string> events;
  bool capturing = false;
  std::vector<VOKHost::TraceLine> captured;
};
Registry& Reg() {
  static Registry* registry = new Registry;  // outlives every channel, even at unload
  return *registry;
}

void CopyText(char* oDest, std::size_t iSize, const char* iSource) {
  std::snprintf(oDest, iSize, "%s", iSource ? iSource : "");
}

// VOK_TRACE="DYNDev,DYNError" or "all" switches channels on when they are built.
bool SwitchedOnByEnvironment(const char* iName) {
  const char* list = std::getenv("VOK_TRACE");
  if (!list || !*list) return false;
  std::stringstream items(list);
  std::string item;
  while (std::getline(items, item, ','))
    if (item == "all" || item == iName) return true;
  return false;
}

void Write(const VOKTrace& iChannel, const std::string& iLine) {
  int flag = 0;
  {
    std::lock_guard<std::mutex> lock(Reg().mutex);
    if (Reg().capturing) Reg().captured.push_back({iChannel.GetName(), iChannel.GetLevel(), iLine});
    auto it = Reg().live.find(iChannel.GetName());
    if (it != Reg().live.end() && it->second.channel == &iChannel) flag = it->second.flag;
  }
  if (!flag) return;
  const char* output = iChannel.GetOutput();
  if (std::strcmp(output, "STDOUT") == 0) {
    std::fprintf(stdout, "%s: %s\n", iChannel.GetName(), iLine.c_str());
  } else if (std::strcmp(output, "STDERR") == 0) {
    std::fprintf(stderr, "%s: %s\n", iChannel.GetName(), iLine.c_str());
  } else if (FILE* f = std::fopen(output, "a")) {
    std::fprintf(f, "%s: %s\n", iChannel.GetName(), iLine.c_str());
    std::fclose(f);
  }
}

}  // namespace

VOKTrace::VOKTrace(const char* iName, char* iDescription, VOKTraMode iMode, const char* iOutput,
                   int iSize)
    : _Mode(iMode), _Size(iSize), _Level(0) {
  CopyText(_Name, sizeof _Name, iName);
  CopyText(_Description, sizeof _Description, iDescription);
  CopyText(_Output, sizeof _Output, iOutput);
  std::lock_guard<std::mutex> lock(Reg().mutex);
  Reg().live[_Name] = {this, SwitchedOnByEnvironment(_Name) ? 1 : 0};
  Reg().events.push_back(std::string("construct:") + _Name);
}

VOKTrace::~VOKTrace() {
  std::lock_guard<std::mutex> lock(Reg().mutex);
  auto it = Reg().live.find(_Name);
  if (it != Reg().live.end() && it->second.channel == this) Reg().live.erase(it);
  Reg().events.push_back(std::string("destruct:") + _Name);
}

void VOKTrace::TraPutLN(const char* iText) { Write(*this, iText ? iText : ""); }

void VOKTrace::TraPutLN(const char* iText, int iValue) {
  Write(*this, std::string(iText ? iText : "") + " " + std::to_string(iValue));
}

VOKTraControle* VOKTraControle::Create(const char* iName) {
  if (!iName) return nullptr;
  std::lock_guard<std::mutex> lock(Reg().mutex);
  if (Reg().live.find(iName) == Reg().live.end()) return nullptr;
  return new VOKTraControle(iName);
}

VOKTraControle::VOKTraControle(const char* iName) { CopyText(_Name, sizeof _Name, iName); }
VOKTraControle::~VOKTraControle() = default;

int VOKTraControle::TraGetFlg() const {
  std::lock_guard<std::mutex> lock(Reg().mutex);
  auto it = Reg().live.find(_Name);
  return it == Reg().live.end() ? 0 : it->second.flag;
}

void VOKTraControle::TraPutFlg(int iState) {
  std::lock_guard<std::mutex> lock(Reg().mutex);
  auto it = Reg().live.find(_Name);
  if (it != Reg().live.end()) it->second.flag = iState;
}

namespace VOKHost {

void TraceCaptureStart() {
  std::lock_guard<std::mutex> lock(Reg().mutex);
  Reg().capturing = true;
  Reg().captured.clear();
}

std::vector<TraceLine> TraceCaptureStop() {
  std::lock_guard<std::mutex> lock(Reg().mutex);
  Reg().capturing = false;
  std::vector<TraceLine> lines;
  lines.swap(Reg().captured);
  return lines;
}

std::vector<std::string> TraceChannelEvents() {
  std::lock_guard<std::mutex> lock(Reg().mutex);
  return Reg().events;
}

void TraceChannelEventsClear() {
  std::lock_guard<std::mutex> lock(Reg().mutex);
  Reg().events.clear();
}

}  // namespace VOKHost
