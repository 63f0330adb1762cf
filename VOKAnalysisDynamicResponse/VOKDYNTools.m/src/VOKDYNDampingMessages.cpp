// Notifications of the damping tools: error and warning dialogs whose texts
// come from the catalogue "VOKDYNDampingDlgNls". They use no member of the
// object. Both overloads block the calling thread until the user has closed
// the dialog and always succeed: a catalogue that cannot be read only means
// that nothing is shown.
#include <memory>
#include <new>

#include "VOKDYNDampingTools.h"
#include "VOKMsgCatalog.h"
#include "VOKDYNAllocationBoundary.h"

namespace {

const char* const g_Catalog = "VOKDYNDampingDlgNls";

// Style values of the host's dialog toolkit for an error and a warning
// notification, and the visibility that shows a dialog.
const VOKDlgStyle g_ErrorStyle = 0x10000200;
const VOKDlgStyle g_WarningStyle = 0x08000200;
const int g_Shown = 2;

const char* ErrorKey(VOKDYNDampingErrorMessage iMessage) {
  switch (iMessage) {
    case VOKDYNDampingErrNotDefined: return "NotDefined";
    case VOKDYNDampingErrIncoherenceWithBase: return "IncoherenceWithBase";
    case VOKDYNDampingErrInvalidIntervalPercentage: return "InvalidIntervalPercentage";
    case VOKDYNDampingErrInternalError: return "InternalError";
    case VOKDYNDampingErrNotYetAvailable: return "NotYetAvailable";
  }
  return nullptr;
}

// Shows iMessage under iTitle in a blocking notification on the main window.
// The dialog frees itself through the delayed destruction asked for once the
// user has closed it; when it cannot be allocated nothing is shown.
void Show(const char* iDialogName, VOKDlgStyle iStyle, const VOKUnicodeString& iMessage,
          const VOKUnicodeString& iTitle) {
  VOKApplicationFrame* frame = VOKApplicationFrame::GetFrame();
  VOKDialog* parent = frame ? frame->GetMainWindow() : nullptr;
  VOKDlgNotify* dialog = new (std::nothrow) VOKDlgNotify(parent, iDialogName, iStyle);
  if (!dialog) return;
  // The dialog is handed back however the display ends, a failed
  // allocation while it shows included.
  std::unique_ptr<VOKDlgNotify, void (*)(VOKDlgNotify*)> shown(
      dialog, [](VOKDlgNotify* iDialog) { iDialog->RequestDelayedDestruction(); });
  dialog->SetVisibility(g_Shown);
  dialog->DisplayBlocked(iMessage, iTitle);
}

}  // namespace

long VOKDYNDampingTools::DampingMessage(VOKDYNDampingErrorMessage iMessage,
                                        VOKListValVOKUnicodeString*) {
  return VOKDYN::AllocationBoundary(S_OK, [&]() -> long {
    VOKUnicodeString title;
    VOKUnicodeString text;
    VOKMsgCatalog catalog;
    catalog.LoadMsgCatalog(g_Catalog);
    VOKMsg message = catalog.GetCatalogMsg("DampingErrorWinTitle");
    title = message.BuildMessage(nullptr);
    // A value outside the enumeration keeps the title's message, so the user
    // still learns that an error occurred.
    if (const char* key = ErrorKey(iMessage)) message = catalog.GetCatalogMsg(key);
    text = message.BuildMessage(nullptr);
    if (!text.IsEmpty()) Show("ErrorPanel", g_ErrorStyle, text, title);
    return S_OK;
  });
}

long VOKDYNDampingTools::DampingMessage(VOKDYNDampingWarningMessage iMessage,
                                        VOKListValVOKUnicodeString* iParameters) {
  return VOKDYN::AllocationBoundary(S_OK, [&]() -> long {
    VOKUnicodeString title;
    VOKUnicodeString text;
    VOKMsgCatalog catalog;
    catalog.LoadMsgCatalog(g_Catalog);
    title = catalog.GetCatalogMsg("DampingWarningWinTitle").BuildMessage(nullptr);
    switch (iMessage) {
      case VOKDYNDampingWarnBaseNotUpToDate:
        // The base's alias is the first text of the caller's list; without a
        // list there is nothing to name and nothing is shown.
        if (iParameters && iParameters->Size() >= 1) {
          VOKUnicodeString alias = (*iParameters)[1];
          text = catalog.GetCatalogMsg("BaseNotUpToDate").BuildMessage(&alias, 1);
        }
        break;
      case VOKDYNDampingWarnFreqValuesChanged:
        text = catalog.GetCatalogMsg("FreqValuesChanged").BuildMessage(nullptr);
        break;
      default:
        // The default damping warning has no text: nothing is shown.
        break;
    }
    if (!text.IsEmpty()) Show("WarningPanel", g_WarningStyle, text, title);
    return S_OK;
  });
}
