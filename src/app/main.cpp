// The program's main block: the application object, then the windows in
// their fixed order, then the event loop until the main window closes.
#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "ui/appearance.h"
#include "ui/progressdialogs.h"
#include "ui/prompts.h"
#include "ui/tform1.h"
#include "ui/tform4.h"
#include "ui/tform5.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    qv::ui::applyAppearance(app);
    // The window speaks Japanese whatever the system's language, and so do
    // Qt's own dialogs and buttons where their translation is installed.
    QTranslator qtTranslations;
    if (qtTranslations.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtTranslations);

    qv::ui::TForm1 form1;
    auto* form4 = new qv::ui::TForm4(&form1);
    auto* form5 = new qv::ui::TForm5([&form1](const QUrl& url) { form1.prompts().openUrl(url); }, &form1);
    auto* form7 = new qv::ui::TForm7(&form1);
    auto* form9 = new qv::ui::TForm9(&form1);
    form1.setWindows(form4, form5, form7, form9);

    form1.show();
    return app.exec();
}
