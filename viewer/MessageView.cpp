#include "viewer/MessageView.h"

#include "viewer/MsgDlg.h"
#include "viewer/ViewerHooks.h"

namespace brindle {

void ShowMessageView(const std::string& rawText, QWidget* parent, const QString& notice,
                     const std::string& storeCodePage, const TMessageStep& step) {
    Tdlg_oe_Msg dialog(parent);
    dialog.LoadMessage(rawText, storeCodePage);
    dialog.SetNotice(notice);
    dialog.SetMessageStep(step);
    ViewerHooks().RunModal(dialog);
}

}  // namespace brindle
