// The product's name, maker and addresses, and the look every window shares.
#pragma once

class QApplication;
class QString;
class QWidget;

namespace qv::ui {

// The application title: window caption, About window, mail subject.
QString productTitle();
QString makerName();
QString supportAddress();
QString homePageUrl();
QString onlineHelpUrl();
QString copyrightLine();

// Sets the title and the window font ("ＭＳ Ｐゴシック" 12 px, with Japanese
// fallbacks where that font is missing) for the whole application.
void applyAppearance(QApplication& app);

// Centres a top-level window on the screen it is on.
void centreOnScreen(QWidget* window);

// Gives a top-level window the size it prefers, or less where the screen's
// free area (after the taskbar and the window frame) is smaller, never less
// than its minimum, and centres it.
void fitOnScreen(QWidget* window, int width, int height);

// The addresses above are placeholders until real ones exist: commands that
// would open them are hidden.
bool isPlaceholderAddress(const QString& address);

}  // namespace qv::ui
