#include "ui/icons.h"

#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

// The resource lives in a static library: it has to be registered by name.
static void registerIcons() {
    static const bool done = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)done;
}

namespace qv::ui {

QPixmap pixmap(const QString& name, int size) {
    registerIcons();
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/icons/%1.svg").arg(name));
    QPainter painter(&pm);
    renderer.render(&painter);
    return pm;
}

QIcon icon(const QString& name) {
    static QHash<QString, QIcon> cache;
    auto it = cache.find(name);
    if (it != cache.end())
        return *it;
    QIcon ic;
    for (int size : {16, 24, 32})
        ic.addPixmap(pixmap(name, size));
    cache.insert(name, ic);
    return ic;
}

QIcon stateIcon(engine::FileState state) {
    switch (state) {
    case engine::FileState::Changed:
        return icon(QStringLiteral("changed"));
    case engine::FileState::ChangeFailed:
        return icon(QStringLiteral("failed"));
    case engine::FileState::Unreadable:
        return icon(QStringLiteral("unreadable"));
    case engine::FileState::Unchanged:
        break;
    }
    return icon(QStringLiteral("workbook"));
}

}  // namespace qv::ui
