#include "ui/icons.h"

#include "engine/kinds.h"

#include <QHash>
#include <QPainter>
#ifdef QV_ICONS_PNG
#include <QImage>
#else
#include <QSvgRenderer>
#endif

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
#ifdef QV_ICONS_PNG
    // Rendered at build time at 16, 24, 32 and 48 pixels; other sizes are
    // scaled from the next larger one.
    int rendered = 48;
    for (int s : {16, 24, 32, 48}) {
        if (s >= size) {
            rendered = s;
            break;
        }
    }
    QImage image(QStringLiteral(":/icons/%1-%2.png").arg(name).arg(rendered));
    if (rendered != size)
        image = image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return QPixmap::fromImage(image);
#else
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/icons/%1.svg").arg(name));
    QPainter painter(&pm);
    renderer.render(&painter);
    return pm;
#endif
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

QIcon stateIcon(engine::FileState state, const std::string& path) {
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
    if (const auto application = engine::ApplicationFor(path)) {
        switch (*application) {
        case engine::OfficeApplication::Excel:
            return icon(QStringLiteral("workbook"));
        case engine::OfficeApplication::Word:
            return icon(QStringLiteral("word"));
        case engine::OfficeApplication::PowerPoint:
            return icon(QStringLiteral("powerpoint"));
        case engine::OfficeApplication::OpenDocument:
            break;
        }
    }
    return icon(QStringLiteral("document"));
}

}  // namespace qv::ui
