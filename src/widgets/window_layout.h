// Building blocks of the small fixed windows (About box, bug-report window):
// controls placed at design positions in twips, the Arial faces of the
// design, and the window's frame.
#pragma once

#include "widgets/bring_forward.h"
#include "widgets/design_place.h"

#include <QFont>
#include <QLabel>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace tarn {

// A label whose text wraps within it and starts at its top-left corner.
QLabel *placeLabel(QWidget *parent, const char *name, const QString &text, int left, int top,
                   int width, int height);

// "Arial" maps to a metric-compatible face through fontconfig.
QFont arialFont(qreal points, bool bold = false);

// A window with a fixed dialog border and a client area of the given size in
// twips: title and close box only, no task-bar entry, the program's icon, the
// light grey of a dialog with black text, and the design's small face.
void setUpFixedWindow(QWidget &window, const char *name, const QString &caption, int width,
                      int height);

// Shows a window of which there is one at a time: the one in `slot`, or one
// that `load` makes first. Closing the window unloads it, which empties the
// slot, so the next request loads it anew.
template <typename W, typename Load> W &showSingleWindow(QPointer<W> &slot, Load load)
{
    if (!slot) {
        slot = load();
        slot->setAttribute(Qt::WA_DeleteOnClose);
    }
    bringForward(slot.data());
    return *slot;
}

} // namespace tarn
