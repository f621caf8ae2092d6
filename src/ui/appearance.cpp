#include "ui/appearance.h"
#include "ui/icons.h"

#include <QApplication>
#include <algorithm>
#include <QIcon>
#include <QFont>
#include <QScreen>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace qv::ui {

QString productTitle() { return QStringLiteral("Quorvix"); }
QString makerName() { return QStringLiteral("Norvane"); }
QString supportAddress() { return QStringLiteral("support@norvane.example.com"); }
QString homePageUrl() { return QStringLiteral("https://www.norvane.example.com/"); }
QString onlineHelpUrl() { return QStringLiteral("https://www.norvane.example.com/quorvix/help/"); }
QString copyrightLine() { return QStringLiteral("Copyright (C) 2004-2024 Norvane. All rights reserved."); }

void applyAppearance(QApplication& app) {
    app.setApplicationName(QStringLiteral("QuorvixJP"));
    app.setOrganizationName(QStringLiteral("Norvane"));
    app.setWindowIcon(icon(QStringLiteral("workbook")));
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    // The Windows font first; the IPA fonts carry the same metrics-compatible
    // Japanese glyphs on Linux.
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP")});
    font.setPixelSize(12);
    app.setFont(font);
}

void centreOnScreen(QWidget* window) {
    QScreen* screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect area = screen->availableGeometry();
    QRect frame = window->frameGeometry();
    window->move(area.center() - QPoint(frame.width() / 2, frame.height() / 2) +
                 (window->geometry().topLeft() - frame.topLeft()));
}

void fitOnScreen(QWidget* window, int width, int height) {
    QScreen* screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        // Room for the title bar and borders, which the frame geometry only
        // knows once the window is shown.
        constexpr int kFrameWidth = 16, kFrameHeight = 40;
        const QRect area = screen->availableGeometry();
        width = std::min(width, area.width() - kFrameWidth);
        height = std::min(height, area.height() - kFrameHeight);
    }
    window->resize(std::max(width, window->minimumSizeHint().width()),
                   std::max(height, window->minimumSizeHint().height()));
    centreOnScreen(window);
}

bool isPlaceholderAddress(const QString& address) { return address.contains(QStringLiteral(".example.")); }

}  // namespace qv::ui
