// Times the window's folder command in-process on the offscreen platform:
// a list that already holds the workbooks of one folder gets those of
// another, through "フォルダからファイル追加" as the user would do it (the
// folder chooser answered by the program). Then the list is scrolled to its
// end and repainted, which tells whether it stays responsive.
//
//   qv_bench_gui_add LISTED_FOLDER NEW_FOLDER ROUNDS [subfolders]
//
// With "subfolders" the chooser's "サブフォルダーも含める" is ticked.
// Prints per round "gui ADD_MS PAINT_MS ROWS".
#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "ui/appearance.h"
#include "ui/filelistmodel.h"
#include "ui/progressdialogs.h"
#include "ui/prompts.h"
#include "ui/tform1.h"
#include "ui/tform4.h"
#include "ui/tform5.h"
#include "ui_tform1.h"

namespace {

// The folder chooser answers with the folder the driver sets; nothing else
// is asked during a folder add.
class BenchPrompts : public qv::ui::Prompts {
public:
    QString folder;
    bool includeSubfolders = false;
    QStringList chooseDocuments(QWidget*) override { return {}; }
    std::optional<qv::ui::FolderChoice> chooseFolder(QWidget*, const QString&, bool) override {
        return qv::ui::FolderChoice{folder, includeSubfolders};
    }
    bool confirm(QWidget*, const QString&) override { return false; }
    std::optional<QString> chooseImportCsv(QWidget*) override { return std::nullopt; }
    std::optional<std::vector<bool>> previewImport(QWidget*, const qv::engine::ImportPlan&) override {
        return std::nullopt;
    }
    std::optional<qv::ui::CsvTarget> chooseCsvFile(QWidget*) override { return std::nullopt; }
    void message(QWidget*, const QString& text) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    void openUrl(const QUrl&) override {}
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && !(argc == 5 && std::string(argv[4]) == "subfolders")) {
        std::fprintf(stderr, "usage: qv_bench_gui_add LISTED_FOLDER NEW_FOLDER ROUNDS [subfolders]\n");
        return 2;
    }
    const bool subfolders = argc == 5;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The saved defaults the window loads at start come from a folder of
    // our own, not the user's.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    qv::ui::applyAppearance(app);

    const QString listed = QString::fromLocal8Bit(argv[1]);
    const QString added = QString::fromLocal8Bit(argv[2]);
    const int rounds = std::max(1, std::atoi(argv[3]));
    int status = 0;
    for (int r = 0; r < rounds; ++r) {
        auto owned = std::make_unique<BenchPrompts>();
        BenchPrompts* prompts = owned.get();
        qv::ui::TForm1 form(std::move(owned));
        auto* hints = new qv::ui::TForm4(&form);
        auto* about = new qv::ui::TForm5([](const QUrl&) {}, &form);
        form.setWindows(hints, about, new qv::ui::TForm7(&form), new qv::ui::TForm9(&form));
        form.show();
        QApplication::processEvents();

        prompts->folder = listed;
        form.ToolButton5Click();
        QApplication::processEvents();
        const int before = form.fileList()->rowCount();

        prompts->folder = added;
        prompts->includeSubfolders = subfolders;
        QElapsedTimer t;
        t.start();
        form.ToolButton5Click();
        const double addMs = static_cast<double>(t.nsecsElapsed()) / 1e6;

        t.restart();
        QTableView* list = form.form()->ListView1;
        list->scrollToBottom();
        QApplication::processEvents();
        list->viewport()->repaint();
        const double paintMs = static_cast<double>(t.nsecsElapsed()) / 1e6;

        const int rows = form.fileList()->rowCount();
        std::printf("gui %.1f %.1f %d\n", addMs, paintMs, rows);
        std::fflush(stdout);
        if (rows <= before)
            status = 1;
    }
    return status;
}
