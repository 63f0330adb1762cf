#ifndef VOKMsgCatalog_h
#define VOKMsgCatalog_h
// Message catalogues and notification dialogs.
//
// A catalogue is a text file "<name>.msg" in the resources folder installed
// beside the platform library (override: environment variable VOK_RESOURCES).
// Each line "Key = text" defines one message; "{1}", "{2}"... are replaced by
// the parameters; lines starting with '#' are comments.
#include "VOKString.h"

class VOKMsgCatalog;

/// A catalogue message (its text before parameters are put in).
class VOKHOST_API VOKMsg {
 public:
  VOKMsg() = default;
  explicit VOKMsg(const VOKUnicodeString& iPattern) : _Pattern(iPattern) {}
  /// The message text with iParameters[0..iCount-1] put in place of {1}..{n};
  /// iParameters null means no parameter. Empty for an unknown key.
  VOKUnicodeString BuildMessage(const VOKUnicodeString* iParameters = nullptr, int iCount = 0) const;

 private:
  VOKUnicodeString _Pattern;
};

class VOKHOST_API VOKMsgCatalog {
 public:
  VOKMsgCatalog();
  ~VOKMsgCatalog();
  VOKMsgCatalog(const VOKMsgCatalog&) = delete;
  VOKMsgCatalog& operator=(const VOKMsgCatalog&) = delete;
  /// Loads the catalogue named iName; S_OK, or E_FAIL when it cannot be read.
  long LoadMsgCatalog(const char* iName, const char* iUnused = nullptr);
  /// The message of iKey; an empty message when the key is unknown.
  VOKMsg GetCatalogMsg(const char* iKey) const;

 private:
  struct Impl;
  Impl* _Impl;
};

/// Folder holding the platform's resources (message catalogues).
VOKHOST_API const char* VOKResourceFolder();

typedef unsigned long VOKDlgStyle;

/// A window of the application.
class VOKHOST_API VOKDialog {
 public:
  VOKDialog(VOKDialog* iParent, const VOKString& iName, VOKDlgStyle iStyle);
  virtual ~VOKDialog();
  VOKDialog(const VOKDialog&) = delete;
  VOKDialog& operator=(const VOKDialog&) = delete;
  void SetVisibility(int iVisibility);
  int GetVisibility() const { return _Visibility; }
  /// The dialog frees itself once it is no longer in use. Without an event
  /// loop (headless) that happens at once: the pointer must not be used after.
  void RequestDelayedDestruction();
  const VOKString& GetName() const { return _Name; }
  VOKDlgStyle GetStyle() const { return _Style; }
  VOKDialog* GetParent() const { return _Parent; }
  /// Number of dialogs alive (diagnostics).
  static int LiveCount();

 private:
  VOKDialog* _Parent;
  VOKString _Name;
  VOKDlgStyle _Style;
  int _Visibility;
};

/// A modal notification.
class VOKHOST_API VOKDlgNotify : public VOKDialog {
 public:
  VOKDlgNotify(VOKDialog* iParent, const VOKString& iName, VOKDlgStyle iStyle);
  ~VOKDlgNotify() override;
  /// Shows iMessage under iTitle and returns when the user has closed it.
  /// Headless: the notification goes to the platform's notification sink.
  void DisplayBlocked(const VOKUnicodeString& iMessage, const VOKUnicodeString& iTitle);
};

/// The application frame and its main window.
class VOKHOST_API VOKApplicationFrame {
 public:
  static VOKApplicationFrame* GetFrame();
  VOKDialog* GetMainWindow();

 private:
  VOKApplicationFrame();
  ~VOKApplicationFrame();
  VOKDialog* _MainWindow;
};

#endif
