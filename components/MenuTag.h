#pragma once
// The general-purpose integer of a menu entry, kept in the action's data.
#include <QAction>

namespace brindle {

inline int Tag(const QAction* action) { return action && action->data().isValid() ? action->data().toInt() : 0; }
inline void SetTag(QAction* action, int tag) { action->setData(tag); }

}  // namespace brindle
