#include "viewer/MessageView.h"

#include "viewer/MsgDlg.h"
#include "viewer/ViewerHooks.h"

namespace brindle {

void ShowMessageView(const std::string& rawText, QWidget* parent) {
    Tdlg_oe_Msg dialog(parent);
    dialog.LoadMessage(rawText);
    ViewerHooks().RunModal(dialog);
}

}  // namespace brindle
