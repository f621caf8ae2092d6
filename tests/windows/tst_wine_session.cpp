// One session of the window as a Windows user has it, on Qt's Windows
// platform under Wine: list a folder, select a workbook and read its view,
// run a batch change with backups, save the defaults. It works on the folder
// QV_WINE_WORK and leaves its results there and in the registry, where
// scripts/test-windows checks them with the Linux command line and reg.exe.
#include <QCheckBox>
#include <QFileInfo>
#include <QSettings>
#include <QTabWidget>
#include <QTableView>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "engine/change.h"
#include "engine/view.h"
#include "guitest.h"
#include "support/rowtexts.h"
#include "props/catalogue.h"
#include "ui/filelistmodel.h"
#include "ui/propertygrids.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

using namespace qv;

namespace {

std::string workFolder() {
    const char* w = std::getenv("QV_WINE_WORK");
    return w ? w : "";
}

// Paths are UTF-8 here; the standard library would read them in the ANSI
// code page on Windows, so Qt looks at them.
QString q(const std::string& s) { return QString::fromStdString(s); }

int rowOf(ui::FileListModel* list, const QString& name) {
    for (int i = 0; i < list->rowCount(); ++i)
        if (QFileInfo(q(list->pathAt(i))).fileName() == name)
            return i;
    return -1;
}

void clickRow(QTableView* view, int row) {
    const QRect r = view->visualRect(view->model()->index(row, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
}

}  // namespace

class WineSession : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (workFolder().empty())
            QSKIP("QV_WINE_WORK names no folder: scripts/test-windows runs this session");
        // Defaults saved before would shape the batch page.
        ui::TForm1::openDefaultsStore()->clear();
    }

    void listsAFolderAndShowsTheSelectedWorkbook() {
        test::Window w;
        w.prompts->folder = QString::fromStdString(workFolder());
        QTest::mouseClick(w.ui().ToolButton5, Qt::LeftButton);
        ui::FileListModel* list = w.form->fileList();
        QCOMPARE(list->rowCount(), 4);
        const int row = rowOf(list, QStringLiteral("経理.xlsx"));
        QVERIFY(row >= 0);
        clickRow(w.ui().ListView1, row);
        QCOMPARE(w.form->selectedRow(), row);
        auto rows = test::ReadRows(list->pathAt(row));
        QVERIFY(rows.ok());
        for (int r : {kRowTitle, kRowAuthor, kRowCompany})
            QCOMPARE(w.value(false, r), QString::fromStdString(rows->at(std::size_t(r)).text));
        QVERIFY(!w.value(false, kRowTitle).isEmpty());
    }

    void batchChangeWithBackups() {
        test::Window w;
        w.prompts->folder = QString::fromStdString(workFolder());
        w.form->ToolButton5Click();
        w.ui().PageControl1->setCurrentIndex(1);
        Ui::TForm1& ui = w.ui();
        for (QCheckBox* b : {ui.CheckBox9, ui.CheckBox10, ui.CheckBox11, ui.CheckBox12, ui.CheckBox13, ui.CheckBox14})
            b->setChecked(false);
        w.form->grids()->setValueText(ui.ListView2, kRowTitle, QStringLiteral("ワインで一括変更"));
        w.form->grids()->setTicked(kRowTitle, true);
        w.form->grids()->setValueText(ui.ListView2, kRowCompany, QStringLiteral("株式会社ノルヴェーン"));
        w.form->grids()->setTicked(kRowCompany, true);
        ui.CheckBox4->setChecked(true);  // back up first
        QTest::mouseClick(ui.BitBtn2, Qt::LeftButton);
        QVERIFY(w.prompts->messages.isEmpty());
        ui::FileListModel* list = w.form->fileList();
        for (int i = 0; i < list->rowCount(); ++i) {
            QCOMPARE(list->stateAt(i), engine::FileState::Changed);
            QVERIFY(QFileInfo::exists(q(engine::BackupPathFor(list->pathAt(i)))));
        }
    }

    void savesTheDefaults() {
        test::Window w;
        w.ui().PageControl1->setCurrentIndex(1);
        w.form->grids()->setValueText(w.ui().ListView2, kRowAuthor, QStringLiteral("既定の作成者"));
        w.form->grids()->setTicked(kRowAuthor, true);
        QTest::mouseClick(w.ui().ToolButton9, Qt::LeftButton);
        QVERIFY(w.prompts->messages.isEmpty());
    }
};

QTEST_MAIN(WineSession)
#include "tst_wine_session.moc"
