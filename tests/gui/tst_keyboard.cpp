// A day's work without the mouse: adding a folder, removing, running a batch
// with a backup, reading its summary and undoing it, through keys alone; and
// the list's columns, filter and counts that the summary points to.
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include "guitest.h"
#include "props/catalogue.h"
#include "ui/filelistmodel.h"
#include "ui/propertygrids.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

using namespace qv;
using engine::FileState;

namespace {

void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget();
    QVERIFY(target);
    QTest::keyClick(target, static_cast<Qt::Key>(k), mods);
}

// What the desktop does when a modal window closes: the main window is
// active again, its focus where it was. The offscreen platform doesn't.
void reactivate(const test::Window& w) {
    QApplication::setActiveWindow(w.form.get());
    QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
}

QString statusLabel(const test::Window& w, const char* name) {
    return w.form->findChild<QLabel*>(QString::fromLatin1(name))->text();
}

}  // namespace

class KeyboardTest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::GuiEnvironment> env;
    QTemporaryDir dataHome;

private slots:
    void initTestCase() {
        qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
        env = std::make_unique<test::GuiEnvironment>();
    }
    void cleanupTestCase() { env.reset(); }

    void aBatchWithBackupAndItsUndoByKeys() {
        test::TempDir dir;
        const std::string a = dir.copyData("lo_ascii.xls"), b = dir.copyData("lo_ascii.xlsx");
        const std::string aBytes = test::readFile(a);
        test::Window w;
        w.prompts->folder = test::s2q(dir.path());
        w.ui().ListView1->setFocus();
        key(Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(w.form->fileList()->rowCount(), 2);
        QCOMPARE(statusLabel(w, "FileCount"), QStringLiteral("2 個のファイル"));
        QCOMPARE(w.form->selectedRow(), 1);
        // Tab walks the single page top to bottom, each picker one stop,
        // and reaches 変更.
        w.ui().ListView3->setFocus();
        QStringList chain;
        while (chain.size() < 30 && QApplication::focusWidget() != w.ui().BitBtn6) {
            chain << QApplication::focusWidget()->objectName();
            key(Qt::Key_Tab);
        }
        QCOMPARE(chain.mid(0, 9), (QStringList{"ListView3", "CustomTable", "CustomAddButton", "CustomRemoveButton",
                                               "DateTimePicker9", "DateTimePicker10", "DateTimePicker11",
                                               "DateTimePicker12", "DateTimePicker13"}));
        QVERIFY2(chain.size() <= 18, qPrintable(chain.join(u' ')));
        // Tab leaves the list instead of walking its cells.
        w.ui().ListView1->setFocus();
        key(Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != w.ui().ListView1);

        // The batch page: down to 会社名, Space ticks it, F2 edits it, Enter keeps it.
        w.ui().PageControl1->setFocus();
        key(Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(w.ui().PageControl1->currentWidget(), w.ui().TabSheet1);
        w.ui().ListView2->setFocus();
        w.ui().ListView2->setCurrentCell(0, 0);
        for (int r = 0; r < kRowCompany; ++r)
            key(Qt::Key_Down);
        key(Qt::Key_Space);
        QVERIFY(w.form->grids()->ticks()[kRowCompany]);
        key(Qt::Key_F2);
        QTest::keyClicks(QApplication::focusWidget(), "NewCo");
        key(Qt::Key_Return);
        QCOMPARE(w.value(true, kRowCompany), QStringLiteral("NewCo"));
        w.ui().CheckBox4->setFocus();
        key(Qt::Key_Space);
        QVERIFY(w.ui().CheckBox4->isChecked());
        w.ui().BitBtn2->setFocus();
        key(Qt::Key_Space);
        reactivate(w);
        QCOMPARE(w.prompts->batchQuestions.size(), 1);
        QCOMPARE(statusLabel(w, "RunSummary"), QStringLiteral("2 件変更、0 件失敗、0 件は変更なし"));
        // An export afterwards keeps the run's results on show.
        w.prompts->csv = ui::CsvTarget{test::s2q(dir.file("out.csv")), engine::CsvEncoding::Utf8, false};
        w.form->BitBtn8Click();
        QCOMPARE(w.form->fileList()->stateAt(0), FileState::Changed);

        reactivate(w);
        w.prompts->confirmAnswer = true;
        key(Qt::Key_Z, Qt::ControlModifier);
        reactivate(w);
        QCOMPARE(test::readFile(a), aBytes);
        QCOMPARE(statusLabel(w, "RunSummary"), QStringLiteral("2 件変更、0 件失敗、0 件は変更なし"));

        // F1 opens the program's own help window.
        key(Qt::Key_F1);
        auto* help = w.form->findChild<QWidget*>(QStringLiteral("HelpWindow"));
        QVERIFY(help && help->isVisible());
        help->close();
        reactivate(w);

        // Del removes the selected files only while the list has the focus.
        w.ui().ListView3->setFocus();
        key(Qt::Key_Delete);
        QCOMPARE(w.form->fileList()->rowCount(), 2);
        w.ui().ListView1->setFocus();
        key(Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(statusLabel(w, "FileCount"), QStringLiteral("2 個のファイル（2 個を選択）"));
        key(Qt::Key_Delete);
        QCOMPARE(w.form->fileList()->rowCount(), 0);
    }

    void theListSortsFiltersAndAsksBeforeEmptying() {
        test::TempDir dir;
        const std::string a = dir.copyData("lo_ascii.xls"), b = dir.copyData("lo_ascii.xlsx");
        test::Window w;
        w.list({a, b});
        ui::FileListModel* list = w.form->fileList();
        QCOMPARE(list->headerData(ui::FileListModel::KindColumn, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("種類"));
        QCOMPARE(list->data(list->index(1, ui::FileListModel::NameColumn), Qt::DisplayRole).toString(),
                 QStringLiteral("lo_ascii.xlsx"));
        w.ui().ListView1->sortByColumn(ui::FileListModel::NameColumn, Qt::DescendingOrder);
        QCOMPARE(list->pathAt(0), b);
        // The panel follows its file through the sort.
        w.form->selectRow(0);
        QCOMPARE(w.form->findChild<QLabel*>(QStringLiteral("ShownFile"))->text(), QStringLiteral("lo_ascii.xlsx"));

        list->setState(1, FileState::ChangeFailed, QStringLiteral("理由"));
        w.form->findChild<QCheckBox*>(QStringLiteral("FailedOnly"))->setChecked(true);
        QVERIFY(w.ui().ListView1->isRowHidden(0) && !w.ui().ListView1->isRowHidden(1));
        QCOMPARE(list->data(list->index(1, ui::FileListModel::StateColumn), Qt::DisplayRole).toString(),
                 QStringLiteral("失敗"));

        w.prompts->confirmBatch = false;
        w.form->ToolButton3Click();
        QCOMPARE(list->rowCount(), 2);
        QVERIFY(w.prompts->batchQuestions.last().contains(QStringLiteral("2 個のファイル")));
    }
};

QTEST_MAIN(KeyboardTest)
#include "tst_keyboard.moc"
