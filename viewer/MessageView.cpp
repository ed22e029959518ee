#include "viewer/MessageView.h"

#include "viewer/MsgDlg.h"
#include "viewer/ViewerHooks.h"

namespace brindle {

void ShowMessageView(const TMessageHandle& message, QWidget* parent, const TMessageStep& step) {
    Tdlg_oe_Msg dialog(parent);
    dialog.LoadHandle(message);
    dialog.SetMessageStep(step);
    ViewerHooks().RunModal(dialog);
}

}  // namespace brindle
