#include "viewer/MessageView.h"

#include "viewer/MsgDlg.h"
#include "viewer/ViewerHooks.h"

namespace brindle {

void ShowMessageView(const std::string& rawText, QWidget* parent, const QString& notice,
                     const std::string& storeCodePage) {
    Tdlg_oe_Msg dialog(parent);
    dialog.LoadMessage(rawText, storeCodePage);
    dialog.SetNotice(notice);
    ViewerHooks().RunModal(dialog);
}

}  // namespace brindle
