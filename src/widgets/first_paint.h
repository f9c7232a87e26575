// Work that the first window does not show (the tray icon, the window's
// icon, the sound library) waits until that window has painted, so that it
// comes up first.
#pragma once

#include <QWidget>

#include <chrono>
#include <functional>

namespace tarn {

// Runs `then` once, from the event loop, right after `window` first paints;
// or after `latest` when it has not painted by then (it started hidden).
void afterFirstPaint(QWidget &window, std::function<void()> then,
                     std::chrono::milliseconds latest = std::chrono::seconds(1));

} // namespace tarn
