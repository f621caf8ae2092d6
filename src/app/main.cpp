// The program's main block: the application object, then the windows in
// their fixed order, then the event loop until the main window closes.
#include <QApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>
#include <new>

#include "ui/appearance.h"
#include "ui/progressdialogs.h"
#include "ui/prompts.h"
#include "ui/tform1.h"
#include "ui/tform4.h"
#include "ui/tform5.h"

namespace {

// A command that runs out of memory ends with a word, never an abort: every
// change is atomic, so the files are as they were or as changed.
class Application : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::bad_alloc&) {
            while (QApplication::overrideCursor())
                QApplication::restoreOverrideCursor();
            QMessageBox::warning(activeWindow(), applicationDisplayName(),
                                 QObject::tr("メモリが足りないため、処理を中止しました。"));
            return false;
        }
    }
};

}  // namespace

int main(int argc, char* argv[]) {
    Application app(argc, argv);
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
