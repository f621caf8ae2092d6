// Our own artwork, drawn from the SVG files of the resource.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

#include "engine/change.h"

namespace qv::ui {

// An icon by its resource name ("add", "folder", "remove", "removeall",
// "arrow_down", "arrow_up", "arrow_right", "workbook", "changed", "failed",
// "unreadable"), rendered at 16 and 32 pixels.
QIcon icon(const QString& name);
QPixmap pixmap(const QString& name, int size);

// The file list's state icon: workbook, green tick, red dot, yellow triangle.
QIcon stateIcon(engine::FileState state);

}  // namespace qv::ui
