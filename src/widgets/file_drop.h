// Files dragged from the file manager onto a window: only local files and
// folders are taken; the work is done after the drop event has returned, so
// the file manager is not held while a large drop is appended.
#pragma once

#include <QDropEvent>
#include <QMimeData>
#include <QStringList>
#include <QUrl>

namespace tarn {

// The local paths a drag carries; empty when it carries none.
inline QStringList droppedPaths(const QMimeData *mime)
{
    QStringList paths;
    if (mime && mime->hasUrls())
        for (const QUrl &url : mime->urls())
            if (url.isLocalFile())
                paths << url.toLocalFile();
    return paths;
}

// For DragEnter, DragMove and Drop: accepts a drag of local files. Returns
// the paths of a drop, and nothing for the other two.
inline QStringList takeFileDrop(QEvent *event)
{
    auto *drag = static_cast<QDropEvent *>(event); // QDragEnterEvent and QDragMoveEvent are ones
    const QStringList paths = droppedPaths(drag->mimeData());
    if (paths.isEmpty()) {
        drag->ignore();
        return {};
    }
    drag->acceptProposedAction();
    return event->type() == QEvent::Drop ? paths : QStringList();
}

inline bool isDragEvent(const QEvent *event)
{
    return event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove ||
           event->type() == QEvent::Drop;
}

} // namespace tarn
