// 元に戻す through the window: a batch run backed up into a chosen folder is
// put back byte for byte, and the restore itself can be undone in turn.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <filesystem>

#include "engine/audit.h"
#include "engine/change.h"
#include "guitest.h"
#include "props/catalogue.h"
#include "support/rowtexts.h"
#include "ui/backupchoice.h"
#include "ui/filelistmodel.h"
#include "ui/propertygrids.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

using namespace qv;
using engine::FileState;

namespace {

// Where a backup folder keeps a document's first backup: under its whole
// path, the drive's colon left out.
std::string firstBackupIn(const std::string& folder, const std::string& doc) {
    std::string whole = std::filesystem::canonical(doc).string();
    std::erase(whole, ':');
    return folder + "/" + whole.substr(whole.find_first_not_of("/\\")) + ".bak";
}

}  // namespace

class UndoTest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::GuiEnvironment> env;
    QTemporaryDir dataHome;

private slots:
    void initTestCase() {
        // Journals of runs that back up beside the documents stay out of the real home.
        qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
        env = std::make_unique<test::GuiEnvironment>();
    }
    void cleanupTestCase() { env.reset(); }

    void undoPutsTheLastRunBack() {
        test::TempDir dir;
        const std::string a = dir.copyData("lo_ascii.xls"), b = dir.copyData("lo_ascii.xlsx");
        const std::string aBytes = test::readFile(a), bBytes = test::readFile(b);
        const std::string folder = dir.file("backups");
        test::Window w;
        w.list({a, b});
        for (QCheckBox* box : {w.ui().CheckBox9, w.ui().CheckBox10, w.ui().CheckBox11, w.ui().CheckBox12,
                               w.ui().CheckBox13, w.ui().CheckBox14})
            box->setChecked(false);
        w.form->grids()->setValueText(w.ui().ListView2, kRowTitle, QStringLiteral("一括タイトル"));
        w.form->grids()->setTicked(kRowTitle, true);
        w.ui().CheckBox4->setChecked(true);
        w.form->batchBackup()->place()->setCurrentIndex(1);  // 指定したフォルダー
        w.prompts->backupFolder = test::s2q(folder);
        w.form->batchBackup()->browse()->click();
        QVERIFY(!w.ui().Undo1->isEnabled());
        w.form->BitBtn2Click();
        QVERIFY(test::readFile(a) != aBytes);
        QVERIFY(test::readFile(firstBackupIn(folder, a)) == aBytes);
        QVERIFY(test::readFile(firstBackupIn(folder, b)) == bBytes);
        QVERIFY(!test::fileExists(a + ".bak"));

        // Put back even when no longer listed: the files come back to the list.
        w.form->ToolButton3Click();
        w.prompts->confirmAnswer = true;
        QVERIFY(w.ui().Undo1->isEnabled());
        w.ui().Undo1->trigger();
        QCOMPARE(w.prompts->questions.last(), QStringLiteral("2 個のファイルを前回の変更の前に戻しますか？"));
        QCOMPARE(w.prompts->messages.last(), QStringLiteral("2 件を元に戻しました。"));
        QVERIFY(test::readFile(a) == aBytes);
        QVERIFY(test::readFile(b) == bBytes);
        ui::FileListModel* list = w.form->fileList();
        QCOMPARE(list->rowCount(), 2);
        const int rowA = list->pathAt(0) == a ? 0 : 1, rowB = 1 - rowA;
        QCOMPARE(list->stateAt(rowA), FileState::Changed);
        QCOMPARE(list->stateAt(rowB), FileState::Changed);

        // The restore is the new last run; a file changed since is left alone.
        QVERIFY(w.ui().Undo1->isEnabled());
        MetadataEdits byHand;
        byHand[kRowTitle] = PropertyEdit::set(std::string("手で変更"));
        QVERIFY(engine::ApplyFileChange(b, engine::FileChange{byHand, {}, {}, {}, {}}).ok());
        w.ui().Undo1->trigger();
        QCOMPARE(w.prompts->messages.last(), QStringLiteral("1 件を元に戻しました。1 件は戻せませんでした。"));
        QCOMPARE(test::ReadRows(a)->at(kRowTitle).text, std::string("一括タイトル"));
        QCOMPARE(test::ReadRows(b)->at(kRowTitle).text, std::string("手で変更"));
        QCOMPARE(list->stateAt(rowA), FileState::Changed);
        QCOMPARE(list->stateAt(rowB), FileState::ChangeFailed);
        QVERIFY(!list->reasonAt(rowB).isEmpty());
    }

    // 個人情報: the audit names the author; delivery copies lose it and keep
    // the tree, the originals untouched; an in-place scrub is undone.
    void scrubFromTheWindow() {
        test::TempDir dir;
        std::filesystem::create_directories(dir.file("sub"));
        const std::string a = dir.copyData("lo_ascii.xls");
        const std::string b = dir.file("sub/lo_ascii.xlsx");
        std::filesystem::copy_file(dir.copyData("lo_ascii.xlsx"), b);
        const std::string aBytes = test::readFile(a), bBytes = test::readFile(b);
        test::Window w;
        w.list({a, b});
        w.form->AuditClick();
        QCOMPARE(w.prompts->audits.size(), std::size_t{2});
        auto hasAuthor = [](const engine::FileAudit& f) {
            return std::any_of(f.items.begin(), f.items.end(), [](const auto& i) { return i.key == "author"; });
        };
        QVERIFY(hasAuthor(w.prompts->audits[0]));

        test::TempDir elsewhere;
        const std::string out = elsewhere.file("delivery");
        w.prompts->scrubAnswer = ui::ScrubChoice{engine::ScrubSelection::Default(), test::s2q(out), false};
        w.form->ScrubClick(true);
        QVERIFY(!w.prompts->batchQuestions.isEmpty());
        QVERIFY(w.prompts->batchQuestions.last().contains(QStringLiteral("作成者")));
        QCOMPARE(test::readFile(a), aBytes);
        QCOMPARE(test::readFile(b), bBytes);
        QVERIFY(!hasAuthor(engine::AuditFile(out + "/lo_ascii.xls")));
        QVERIFY(!hasAuthor(engine::AuditFile(out + "/sub/lo_ascii.xlsx")));

        w.ui().CheckBox4->setChecked(true);
        w.form->ScrubClick(false);
        QVERIFY(!hasAuthor(engine::AuditFile(a)));
        QCOMPARE(w.form->findChild<QLabel*>(QStringLiteral("RunSummary"))->text(),
                 QStringLiteral("2 件変更、0 件失敗、0 件は変更なし"));
        w.prompts->confirmAnswer = true;
        w.ui().Undo1->trigger();
        QCOMPARE(test::readFile(a), aBytes);
        QCOMPARE(test::readFile(b), bBytes);
    }
};

QTEST_MAIN(UndoTest)
#include "tst_undo.moc"
