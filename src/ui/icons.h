// Our own artwork, drawn from the SVG files of the resource.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

#include <string>

#include "engine/change.h"

namespace qv::ui {

// An icon by its resource name ("add", "folder", "remove", "removeall",
// "arrow_down", "arrow_up", "arrow_right", "workbook", "word", "powerpoint",
// "document", "changed", "failed", "unreadable"), rendered at 16 and 32 pixels.
QIcon icon(const QString& name);
QPixmap pixmap(const QString& name, int size);

// The file list's state icon: the document's application (by the path's
// extension; a plain page for other names) while unchanged, else a green
// tick, a red dot, a yellow triangle.
QIcon stateIcon(engine::FileState state, const std::string& path);

}  // namespace qv::ui
