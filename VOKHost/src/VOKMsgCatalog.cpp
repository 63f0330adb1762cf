// Message catalogues, notification dialogs and the application frame.
#include "VOKMsgCatalog.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <string>

#include "VOKHostTesting.h"

// ------------------------------------------------------------------ resources

const char* VOKResourceFolder() {
  static const std::string folder = [] {
    if (const char* env = std::getenv("VOK_RESOURCES"); env && *env) return std::string(env);
    // The build and the installation put "resources" beside this library.
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&VOKResourceFolder), &info) && info.dli_fname) {
      std::string path = info.dli_fname;
      std::size_t slash = path.rfind('/');
      std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
      return dir + "/resources";
    }
    return std::string("resources");
  }();
  return folder.c_str();
}

// ------------------------------------------------------------------ catalogue

struct VOKMsgCatalog::Impl {
  std::map<std::string, std::string> messages;
};

VOKMsgCatalog::VOKMsgCatalog() : _Impl(new Impl) {}
VOKMsgCatalog::~VOKMsgCatalog() { delete _Impl; }

namespace {
std::string Trim(const std::string& s) {
  std::size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return std::string();
  std::size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}
}  // namespace

long VOKMsgCatalog::LoadMsgCatalog(const char* iName, const char*) {
  _Impl->messages.clear();
  if (!iName || !*iName) return E_FAIL;
  std::ifstream in(std::string(VOKResourceFolder()) + "/msgcatalog/" + iName + ".msg");
  if (!in) return E_FAIL;
  std::string line;
  while (std::getline(in, line)) {
    std::string text = Trim(line);
    if (text.empty() || text[0] == '#') continue;
    std::size_t eq = text.find('=');
    if (eq == std::string::npos) continue;
    _Impl->messages[Trim(text.substr(0, eq))] = Trim(text.substr(eq + 1));
  }
  return S_OK;
}

VOKMsg VOKMsgCatalog::GetCatalogMsg(const char* iKey) const {
  if (!iKey) return VOKMsg();
  auto it = _Impl->messages.find(iKey);
  return it == _Impl->messages.end() ? VOKMsg() : VOKMsg(VOKUnicodeString(it->second));
}

VOKUnicodeString VOKMsg::BuildMessage(const VOKUnicodeString* iParameters, int iCount) const {
  const std::string& pattern = _Pattern.Std();
  std::string out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    // "{k}" with k a single digit 1..9 takes parameter k.
    if (pattern[i] == '{' && i + 2 < pattern.size() && pattern[i + 2] == '}' &&
        pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
      int k = pattern[i + 1] - '0';
      if (iParameters && k <= iCount) out += iParameters[k - 1].Std();
      i += 2;
      continue;
    }
    out += pattern[i];
  }
  return VOKUnicodeString(out);
}

// -------------------------------------------------------------------- dialogs

namespace {
std::atomic<int> g_liveDialogs{0};
std::mutex g_sinkMutex;
std::function<void(const VOKHost::Notification&)>& Sink() {
  static auto* sink = new std::function<void(const VOKHost::Notification&)>;
  return *sink;
}
}  // namespace

VOKDialog::VOKDialog(VOKDialog* iParent, const VOKString& iName, VOKDlgStyle iStyle)
    : _Parent(iParent), _Name(iName), _Style(iStyle), _Visibility(0) {
  ++g_liveDialogs;
}
VOKDialog::~VOKDialog() { --g_liveDialogs; }
void VOKDialog::SetVisibility(int iVisibility) { _Visibility = iVisibility; }
void VOKDialog::RequestDelayedDestruction() { delete this; }
int VOKDialog::LiveCount() { return g_liveDialogs.load(); }

VOKDlgNotify::VOKDlgNotify(VOKDialog* iParent, const VOKString& iName, VOKDlgStyle iStyle)
    : VOKDialog(iParent, iName, iStyle) {}
VOKDlgNotify::~VOKDlgNotify() = default;

void VOKDlgNotify::DisplayBlocked(const VOKUnicodeString& iMessage, const VOKUnicodeString& iTitle) {
  VOKHost::Notification n{GetName().Std(), GetStyle(), GetVisibility(), iTitle.Std(), iMessage.Std()};
  std::function<void(const VOKHost::Notification&)> sink;
  {
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    sink = Sink();
  }
  if (sink) {
    sink(n);
    return;
  }
  // Headless: the user "closes" the notification at once; it is reported on
  // standard error so that it is not lost.
  std::fprintf(stderr, "%s: %s\n", n.title.c_str(), n.text.c_str());
}

VOKApplicationFrame::VOKApplicationFrame() : _MainWindow(nullptr) {}
VOKApplicationFrame::~VOKApplicationFrame() = default;

VOKApplicationFrame* VOKApplicationFrame::GetFrame() {
  static VOKApplicationFrame* frame = new VOKApplicationFrame;  // lives until exit
  return frame;
}

VOKDialog* VOKApplicationFrame::GetMainWindow() {
  // The main window is not counted as a live dialog: it lives as long as the
  // process, like the frame.
  static VOKDialog* window = [] {
    VOKDialog* w = new VOKDialog(nullptr, "MainWindow", 0);
    --g_liveDialogs;
    return w;
  }();
  _MainWindow = window;
  return _MainWindow;
}

namespace VOKHost {
void SetNotificationSink(std::function<void(const Notification&)> iSink) {
  std::lock_guard<std::mutex> lock(g_sinkMutex);
  Sink() = std::move(iSink);
}
}  // namespace VOKHost
