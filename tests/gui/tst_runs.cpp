// Changing, exporting and the saved defaults through the window: the batch
// run with its progress window, cancel and failures, the single change and
// its backup message, CSV export from both pages, help and About.
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>

#include "engine/csv.h"
#include "engine/view.h"
#include "guitest.h"
#include "support/rowtexts.h"
#include "props/catalogue.h"
#include "ui/filelistmodel.h"
#include "ui/importpreview.h"
#include "ui/progressdialogs.h"
#include "ui/propertygrids.h"
#include "ui/tform1.h"
#include "ui/tform4.h"
#include "ui/tform5.h"
#include "ui_tform1.h"
#include "ui_tform4.h"
#include "ui_tform5.h"
#include "ui_tform7.h"

using namespace qv;
using engine::FileState;

namespace {

std::string titleOf(const std::string& path) {
    auto rows = test::ReadRows(path);
    return rows ? rows->at(kRowTitle).text : "<unreadable>";
}

// The batch page asking for one thing: a new title.
void askForTitle(test::Window& w, const QString& title) {
    Ui::TForm1& ui = w.ui();
    for (QCheckBox* b : {ui.CheckBox9, ui.CheckBox10, ui.CheckBox11, ui.CheckBox12, ui.CheckBox13, ui.CheckBox14})
        b->setChecked(false);
    w.form->grids()->setValueText(ui.ListView2, kRowTitle, title);
    w.form->grids()->setTicked(kRowTitle, true);
}

}  // namespace

class RunsTest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::GuiEnvironment> env;

private slots:
    void initTestCase() { env = std::make_unique<test::GuiEnvironment>(); }
    void init() { env->clearSettings(); }
    void cleanupTestCase() { env.reset(); }

    void batchStartChecks() {
        test::Window w;
        w.form->BitBtn2Click();
        QCOMPARE(w.prompts->messages, QStringList{QStringLiteral("変更したいファイルを選択する!")});
        test::TempDir dir;
        w.list({dir.copyData("lo_ascii.xls")});
        for (QCheckBox* b : {w.ui().CheckBox9, w.ui().CheckBox10, w.ui().CheckBox11, w.ui().CheckBox12,
                             w.ui().CheckBox13, w.ui().CheckBox14})
            b->setChecked(false);
        w.form->BitBtn2Click();
        QCOMPARE(w.prompts->messages.last(),
                 QStringLiteral("変更したいファイル属性を設定する.\n変更したいファイル属性を選択してください!"));
        QVERIFY(!w.batchProgress->isVisible());
    }

    void batchRunMarksEachFile() {
        test::TempDir dir;
        const std::string a = dir.copyData("lo_ascii.xls"), bad = dir.copyData("xls_not_ole.xls"),
                          b = dir.copyData("lo_ascii.xlsx");
        const std::string badBytes = test::readFile(bad);
        test::Window w;
        w.list({a, bad, b});
        askForTitle(w, QStringLiteral("一括タイトル"));
        w.ui().CheckBox3->setCheckState(Qt::Checked);  // hidden
        QList<int> done;
        connect(w.batchProgress, &ui::RunProgressDialog::fileDone, this, [&](int i) {
            QVERIFY(w.batchProgress->isVisible());
            done.append(i);
        });
        w.form->BitBtn2Click();
        QCOMPARE(done, (QList<int>{0, 1, 2}));
        QVERIFY(!w.batchProgress->isVisible());
        QCOMPARE(w.batchProgress->form()->Label2->text(), QStringLiteral("100%"));
        ui::FileListModel* list = w.form->fileList();
        QCOMPARE(list->stateAt(0), FileState::Changed);
        QCOMPARE(list->stateAt(1), FileState::ChangeFailed);
        QCOMPARE(list->stateAt(2), FileState::Changed);
        // The failed row says why, below its path.
        const QString tip = list->data(list->index(1, 0), Qt::ToolTipRole).toString();
        QVERIFY(tip.startsWith(QString::fromStdString(bad) + QLatin1Char('\n')));
        QVERIFY(!list->reasonAt(1).isEmpty() && list->reasonAt(0).isEmpty());
        QCOMPARE(titleOf(a), std::string("一括タイトル"));
        QCOMPARE(titleOf(b), std::string("一括タイトル"));
        QVERIFY(test::stampOf(a).attributes & kAttrHidden);
        QCOMPARE(test::readFile(bad), badBytes);
        // The first file is selected and read again.
        QCOMPARE(w.form->selectedRow(), 0);
        QCOMPARE(w.value(false, kRowTitle), QStringLiteral("一括タイトル"));
        QVERIFY(w.prompts->messages.isEmpty());
    }

    // A signed package is left alone until the user, told which files are
    // signed, accepts that their signatures become invalid.
    void signedPackagesWaitForConsent() {
        test::TempDir dir;
        const std::string plain = dir.copyData("lo_ascii.xlsx"), signedFile = dir.copyData("signed_properties.xlsx");
        const std::string signedBytes = test::readFile(signedFile);
        test::Window w;
        w.list({plain, signedFile});
        askForTitle(w, QStringLiteral("署名の確認"));
        w.form->BitBtn2Click();
        QCOMPARE(w.prompts->questions.size(), 1);
        QVERIFY(w.prompts->questions[0].contains(QString::fromStdString(signedFile)));
        QVERIFY(!w.prompts->questions[0].contains(QString::fromStdString(plain)));
        ui::FileListModel* list = w.form->fileList();
        QCOMPARE(list->stateAt(0), FileState::Changed);
        QCOMPARE(list->stateAt(1), FileState::ChangeFailed);
        QVERIFY(list->reasonAt(1).startsWith(QStringLiteral("デジタル署名が無効になるため変更しません")));
        QCOMPARE(test::readFile(signedFile), signedBytes);

        w.prompts->confirmAnswer = true;
        w.form->BitBtn2Click();
        QCOMPARE(w.prompts->questions.size(), 2);
        QCOMPARE(list->stateAt(1), FileState::Changed);
        QCOMPARE(titleOf(signedFile), std::string("署名の確認"));

        // The single page asks the same.
        w.prompts->confirmAnswer = false;
        const std::string second = dir.copyData("signed_properties.xlsx", "second.xlsx");
        w.list({second});
        w.ui().CheckBox5->setChecked(false);
        w.form->BitBtn6Click();
        QCOMPARE(w.prompts->questions.size(), 3);
        QCOMPARE(list->stateAt(2), FileState::ChangeFailed);
        w.prompts->confirmAnswer = true;
        w.form->BitBtn6Click();
        QCOMPARE(list->stateAt(2), FileState::Changed);
    }

    // "CSVから変更": the CSV is checked, the preview lists every change with
    // a tick per item, and only the ticked items change.
    void importFromAnEditedCsv() {
        test::TempDir dir;
        const std::string a = dir.copyData("lo_ascii.xls", "a.doc"), b = dir.copyData("lo_ascii.xlsx", "b.pptx");
        const std::string bBytes = test::readFile(b);
        test::writeFile(dir.file("list.csv"), "File Name,タイトル,Hidden\r\na.doc,新題 A,\r\nb.pptx,新題 B,Y\r\n"
                                              "gone.xls,x,\r\n");
        test::Window w;
        w.prompts->importCsv = test::s2q(dir.file("list.csv"));
        w.prompts->previewAnswer = std::vector<std::vector<bool>>{{true}, {false, false}};
        w.form->ImportCsvClick();
        QCOMPARE(w.prompts->previewed, 1);
        QCOMPARE(w.prompts->lastPlan.files.size(), std::size_t(2));
        QCOMPARE(w.prompts->lastPlan.itemCount(), std::size_t(3));
        QCOMPARE(w.prompts->lastPlan.skipped.size(), std::size_t(1));
        QCOMPARE(titleOf(a), std::string("新題 A"));
        QCOMPARE(test::readFile(b), bBytes);
        // The changed file is listed with its state.
        ui::FileListModel* list = w.form->fileList();
        QCOMPARE(list->rowCount(), 1);
        QCOMPARE(list->stateAt(0), FileState::Changed);

        // The real preview: every item ticked at first, counted as ticked;
        // a file's tick ticks its items.
        ui::ImportPreviewDialog preview(w.prompts->lastPlan);
        QCOMPARE(preview.summary(), QStringLiteral("2 個のファイルで 3 項目を変更します"));
        QCOMPARE(preview.changes()->topLevelItemCount(), 2);
        QCOMPARE(preview.changes()->topLevelItem(1)->childCount(), 2);
        QCOMPARE(preview.changes()->topLevelItem(1)->child(1)->text(0), QStringLiteral("隠し"));
        QCOMPARE(preview.changes()->topLevelItem(1)->child(1)->text(2), QStringLiteral("Y"));
        preview.setTicked(0, false);
        preview.setItemTicked(1, 0, false);
        QCOMPARE(preview.summary(), QStringLiteral("1 個のファイルで 1 項目を変更します"));
        QCOMPARE(preview.ticked(), (std::vector<std::vector<bool>>{{false}, {false, true}}));
        QCOMPARE(preview.changes()->topLevelItem(1)->checkState(0), Qt::PartiallyChecked);
        preview.setTicked(1, false);
        QVERIFY(!preview.changeButton()->isEnabled());

        // Cancelling the preview changes nothing; a CSV with an error is
        // refused with its line and column, before any preview.
        w.prompts->previewAnswer.reset();
        w.form->ImportCsvClick();
        QCOMPARE(test::readFile(b), bBytes);
        test::writeFile(dir.file("bad.csv"), "File Name,タイトル,colour,size\na.doc,x,1,2\n");
        w.prompts->importCsv = test::s2q(dir.file("bad.csv"));
        w.form->ImportCsvClick();
        QCOMPARE(w.prompts->previewed, 2);
        QCOMPARE(w.prompts->messages.size(), 1);
        QCOMPARE(w.prompts->messages[0], QStringLiteral("CSVに 2 件のエラーがあるため、何も変更しません。"));
        QCOMPARE(w.prompts->issues,
                 (QStringList{QStringLiteral("1 行目、3 列目（colour）: 「colour」は使える見出しではありません"),
                              QStringLiteral("1 行目、4 列目（size）: 「size」は使える見出しではありません")}));
    }

    void cancelTakesEffectBeforeTheNextFile() {
        test::TempDir dir;
        std::vector<std::string> paths;
        for (int i = 0; i < 5; ++i)
            paths.push_back(dir.copyData("lo_ascii.xlsx", std::string("f") + std::to_string(i) + ".xlsx"));
        std::vector<std::string> before;
        for (const std::string& p : paths)
            before.push_back(test::readFile(p));
        test::Window w;
        w.list(paths);
        askForTitle(w, QStringLiteral("cancelled run"));
        // "キャンセル" while the second file is reported; then the frame's close
        // button on a second run, at the first file.
        auto conn = connect(w.batchProgress, &ui::RunProgressDialog::fileDone, this, [&](int i) {
            if (i == 1)
                w.batchProgress->form()->Button1->click();
        });
        w.form->BitBtn2Click();
        disconnect(conn);
        ui::FileListModel* list = w.form->fileList();
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(list->stateAt(i), i < 2 ? FileState::Changed : FileState::Unchanged);
            if (i >= 2)
                QVERIFY(test::readFile(paths[std::size_t(i)]) == before[std::size_t(i)]);
        }
        QVERIFY(!w.batchProgress->StopRequested());

        connect(w.batchProgress, &ui::RunProgressDialog::fileDone, this, [&](int i) {
            if (i == 0)
                QVERIFY(!w.batchProgress->close());  // refused while running: a cancel
        });
        w.form->BitBtn2Click();
        QVERIFY(!w.batchProgress->isVisible());
        for (int i = 0; i < 5; ++i)
            QCOMPARE(list->stateAt(i), i < 1 ? FileState::Changed : FileState::Unchanged);
        QVERIFY(test::readFile(paths[4]) == before[4]);
    }

    void theWindowKeepsRepaintingDuringALongFile() {
        const QString zip = QStandardPaths::findExecutable(QStringLiteral("zip"));
        if (zip.isEmpty())
            QSKIP("the zip program is needed to build a large workbook");
        test::TempDir dir;
        const std::string big = dir.copyData("lo_ascii.xlsx", "big.xlsx");
        const std::string small = dir.copyData("lo_ascii.xlsx", "small.xlsx");
        {
            // 96 MB that don't compress, stored, so the rewrite copies them.
            std::string filler(96u << 20, '\0');
            std::uint64_t x = 88172645463325252ull;
            for (std::size_t i = 0; i + 8 <= filler.size(); i += 8) {
                x ^= x << 13, x ^= x >> 7, x ^= x << 17;
                std::memcpy(&filler[i], &x, 8);
            }
            test::writeFile(dir.file("filler.bin"), filler);
        }
        QProcess p;
        p.setWorkingDirectory(test::s2q(dir.path()));
        p.start(zip, {QStringLiteral("-0"), QStringLiteral("-q"), QStringLiteral("big.xlsx"), QStringLiteral("filler.bin")});
        QVERIFY(p.waitForFinished(60000) && p.exitCode() == 0);
        const std::string smallBytes = test::readFile(small);

        test::Window w;
        w.list({big, small});
        askForTitle(w, QStringLiteral("large"));
        // Ticks of the window's own event loop while the big file is
        // rewritten; "キャンセル" is pressed at the third of them.
        QElapsedTimer clock;
        qint64 last = -1, worstGap = 0;
        int ticks = 0;
        QTimer beat;
        beat.setInterval(20);
        connect(&beat, &QTimer::timeout, this, [&] {
            // From the moment the window shows the big file's path.
            if (!w.batchProgress->isVisible() || w.batchProgress->form()->Label1->text().isEmpty())
                return;
            const qint64 now = clock.elapsed();
            if (last >= 0)
                worstGap = std::max(worstGap, now - last);
            last = now;
            if (++ticks == 3)
                w.batchProgress->form()->Button1->click();
        });
        clock.start();
        beat.start();
        w.form->BitBtn2Click();
        beat.stop();
        qInfo("%d ticks, worst gap %lld ms", ticks, worstGap);
        QVERIFY(ticks >= 3);
        QVERIFY2(worstGap < 200, qPrintable(QStringLiteral("worst gap %1 ms").arg(worstGap)));
        // The big file was finished; the cancel stopped the run before the
        // next one.
        QCOMPARE(w.form->fileList()->stateAt(0), FileState::Changed);
        QCOMPARE(w.form->fileList()->stateAt(1), FileState::Unchanged);
        QVERIFY(test::readFile(small) == smallBytes);
        QCOMPARE(titleOf(big), std::string("large"));
    }

    void singleChange() {
        test::TempDir dir;
        const std::string p = dir.copyData("lo_ascii.xls");
        test::Window w;
        w.list({p});
        w.form->grids()->setValueText(w.ui().ListView3, kRowSubject, QStringLiteral("単一の表題"));
        w.ui().CheckBox5->setChecked(false);
        const LocalDateTime shownWrite = w.ui().DateTimePicker11->value();
        w.form->BitBtn6Click();
        QCOMPARE(w.form->fileList()->stateAt(0), FileState::Changed);
        auto rows = test::ReadRows(p);
        QVERIFY(rows.ok());
        QCOMPARE(rows->at(kRowSubject).text, std::string("単一の表題"));
        QCOMPARE(rows->at(kRowTitle).text, std::string("Quarterly Report Title"));
        // Untouched pickers write back the times they showed.
        QCOMPARE(FileTimeToLocal(ReadFileStamp(p)->LastWrite.ticks), shownWrite);
        QVERIFY(!test::fileExists(p + ".bak"));

        w.form->clearSelection();
        w.form->BitBtn6Click();
        QCOMPARE(w.prompts->messages, QStringList{QStringLiteral("変更したいファイルを選択する!")});
    }

    void singleChangeWhoseBackupFails() {
        test::TempDir dir;
        const std::string p = dir.copyData("lo_ascii.xls");
        // A folder where the backup should go can't be replaced by a copy.
        std::filesystem::create_directory(p + ".bak");
        test::writeFile(p + ".bak/keep", "x");
        const std::string bytes = test::readFile(p);
        test::Window w(true, true);
        w.list({p});
        w.form->grids()->setValueText(w.ui().ListView3, kRowTitle, QStringLiteral("never written"));
        QVERIFY(w.ui().CheckBox5->isChecked());
        QString shown;
        test::whenModalOpens([&](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                shown = box->text();
                box->accept();
            }
        });
        w.form->BitBtn6Click();
        QCOMPARE(shown, QStringLiteral("元のファイルをバックアップする時、エラーが発生しました。\n"
                                       "このファイルは他のアプリケーションで開けないよにしてください。\n") +
                            test::s2q(p));
        QCOMPARE(w.form->fileList()->stateAt(0), FileState::Unchanged);
        QVERIFY(test::readFile(p) == bytes);
    }

    void defaultsSurviveARestart() {
        engine::BatchSettings saved;
        {
            test::Window w;
            engine::BatchSettings s = w.form->batchSettings();
            for (int row = 0; row < kRowCount; ++row)
                s.values[std::size_t(row)] = std::string("v") + std::to_string(row);
            s.values[kRowCreated] = "2001/02/03 4:05:06";
            s.values[kRowLastSaved] = "2002/03/04";
            s.values[kRowLastPrinted] = "";
            s.ticked.set(kRowTitle).set(kRowLastPrinted);
            s.creation = {false, true, EncodeLocal({2010, 4, 1, 0, 0, 0, 0}), EncodeLocal({2000, 1, 1, 9, 30, 0, 0})};
            s.lastWrite = {true, false, EncodeLocal({2011, 5, 2, 0, 0, 0, 0}), EncodeLocal({2000, 1, 1, 1, 2, 3, 0})};
            s.lastAccess = {false, false, EncodeLocal({2012, 6, 3, 0, 0, 0, 0}), EncodeLocal({2000, 1, 1, 0, 0, 0, 0})};
            s.attributes = {AttributeChoice::Checked, AttributeChoice::Unchecked, AttributeChoice::Grayed,
                            AttributeChoice::Unchecked};
            s.backup = true;
            s.backupPolicy = {"/srv/backups", 7};
            w.form->setBatchSettings(s);
            w.form->ToolButton9Click();
            saved = s;
            for (engine::BatchTimeChoice* t : {&saved.creation, &saved.lastWrite, &saved.lastAccess})
                t->date = t->time = ComposeDateTime(WholeDays(t->date), TimeOfDay(t->time));
            QVERIFY(!w.ui().DateTimePicker1->isEnabled());
            // Changed after saving, then imported again.
            w.form->setBatchSettings(engine::BatchSettings{});
            w.form->ToolButton10Click();
            QVERIFY(w.form->batchSettings() == saved);
        }
        test::Window again;
        QVERIFY(again.form->batchSettings() == saved);
        QVERIFY(!again.ui().DateTimePicker1->isEnabled());
        QVERIFY(again.ui().DateTimePicker2->isEnabled());
        QCOMPARE(ui::TForm1::openDefaultsStore()->value(QStringLiteral("contentindex")).toString(),
                 QStringLiteral("2"));
        QCOMPARE(ui::TForm1::openDefaultsStore()->value(QStringLiteral("backupfolder")).toString(),
                 QStringLiteral("/srv/backups"));
        QCOMPARE(ui::TForm1::openDefaultsStore()->value(QStringLiteral("backupgenerations")).toString(),
                 QStringLiteral("7"));
        QVERIFY(again.prompts->messages.isEmpty());
    }

    void aWrongTypedValueStopsTheImport() {
        {
            auto store = ui::TForm1::openDefaultsStore();
            store->setValue(QStringLiteral("readonly"), QStringLiteral("1"));
            store->setValue(QStringLiteral("archive"), QStringList{QStringLiteral("1"), QStringLiteral("2")});
            store->setValue(QStringLiteral("hidden"), QStringLiteral("1"));
            store->setValue(QStringLiteral("backupold"), QStringLiteral("1"));
        }
        test::Window w;
        QCOMPARE(w.prompts->messages, QStringList{QStringLiteral("保存された既定の設定「archive」の種類が正しくないため、読み込みませんでした。")});
        QCOMPARE(w.ui().CheckBox1->checkState(), Qt::Checked);
        QCOMPARE(w.ui().CheckBox3->checkState(), Qt::PartiallyChecked);
        QVERIFY(!w.ui().CheckBox4->isChecked());
    }

    void importFromTheSelectedFile() {
        test::TempDir dir;
        const std::string p = dir.copyData("lo_ascii.xlsx");
        QVERIFY(platform::setFileAttributes(p, kAttrReadOnly | kAttrArchive).ok());
        test::Window w;
        w.form->grids()->setTicked(kRowSubject, true);
        w.ui().CheckBox10->setChecked(false);
        w.list({p});
        w.form->ToolButton12Click();
        for (int row = 0; row < kRowCount; ++row)
            QCOMPARE(w.value(true, row), w.value(false, row));
        QCOMPARE(w.ui().CheckBox1->checkState(), Qt::Checked);
        QCOMPARE(w.ui().CheckBox3->checkState(), Qt::Unchecked);
        QCOMPARE(w.ui().DateTimePicker3->value(), w.ui().DateTimePicker11->value());
        QVERIFY(w.form->grids()->isTicked(kRowSubject));
        QVERIFY(!w.form->grids()->isTicked(kRowTitle));
        QVERIFY(!w.ui().CheckBox10->isChecked());
    }

    void exportFromBothPagesIsTheEnginesExport() {
        test::TempDir dir;
        const std::string a = dir.copyData("lo_japanese.xls"), b = dir.copyData("lo_japanese.xlsx"),
                          gone = dir.copyData("lo_ascii.xls", "gone.xls"), bad = dir.copyData("not_a_zip.xlsx");
        test::Window w;
        w.list({a, b, gone, bad});
        std::filesystem::remove(gone);
        w.prompts->csv = ui::CsvTarget{test::s2q(dir.file("all.csv")), engine::CsvEncoding::ShiftJis};
        w.form->BitBtn8Click();
        QVERIFY(!w.csvProgress->isVisible());
        QCOMPARE(w.csvProgress->ExportFileName(), test::s2q(dir.file("all.csv")));
        QVERIFY(test::readFile(dir.file("all.csv")) ==
                engine::BuildCsv({a, b, gone, bad}, engine::CsvEncoding::ShiftJis));
        QCOMPARE(w.form->selectedRow(), 0);

        w.form->selectRow(1);
        w.prompts->csv = ui::CsvTarget{test::s2q(dir.file("one.csv")), engine::CsvEncoding::Utf8};
        w.form->BitBtn9Click();
        QVERIFY(test::readFile(dir.file("one.csv")) == engine::BuildCsv({b}, engine::CsvEncoding::Utf8));
        QVERIFY(w.prompts->messages.isEmpty());

        // With the user-defined columns; a value Shift-JIS lacks is said, and
        // the export made again in UTF-8 when the user agrees.
        MetadataEdits emoji;
        emoji[kRowTitle] = PropertyEdit::set(std::string("祝 🎉"));
        QVERIFY(engine::ApplyFileChange(b, engine::FileChange{emoji, {}, {}, {}, {}}).ok());
        w.prompts->confirmAnswer = true;
        w.prompts->csv = ui::CsvTarget{test::s2q(dir.file("custom.csv")), engine::CsvEncoding::ShiftJis, true};
        w.form->BitBtn9Click();
        QCOMPARE(w.prompts->questions.size(), 1);
        QVERIFY(w.prompts->questions[0].startsWith(QStringLiteral("1 個のファイルの 1 個の値に Shift-JIS で書けない")));
        QVERIFY(test::readFile(dir.file("custom.csv")) ==
                engine::BuildCsv({b}, engine::CsvEncoding::Utf8, {}, nullptr, nullptr, true));
        w.prompts->confirmAnswer = false;

        // A target that can't be written: the path, then the message.
        const QString nowhere = test::s2q(dir.file("no/such/folder/x.csv"));
        w.prompts->csv = ui::CsvTarget{nowhere, engine::CsvEncoding::ShiftJis};
        w.form->BitBtn8Click();
        w.form->BitBtn9Click();
        const QString expected =
            nowhere + QStringLiteral("\nを保存できません、このファイルを開いている他のアプリケーションを終了してください。");
        QCOMPARE(w.prompts->messages, (QStringList{expected, expected}));

        // Cancelling the dialog does nothing; an empty list says so.
        w.prompts->csv.reset();
        w.form->BitBtn8Click();
        w.form->ToolButton3Click();
        w.form->BitBtn8Click();
        QCOMPARE(w.prompts->messages.last(), QStringLiteral("プロパティをCSVに出力するファイルを選択してください。"));
    }

    void cancelledExportWritesNothing() {
        test::TempDir dir;
        std::vector<std::string> paths;
        for (int i = 0; i < 4; ++i)
            paths.push_back(dir.copyData("lo_ascii.xls", std::string("f") + std::to_string(i) + ".xls"));
        test::writeFile(dir.file("old.csv"), "old");
        test::Window w;
        w.list(paths);
        w.prompts->csv = ui::CsvTarget{test::s2q(dir.file("old.csv")), engine::CsvEncoding::ShiftJis};
        // Escape while the first file is reported.
        connect(w.csvProgress, &ui::RunProgressDialog::fileDone, this, [&](int i) {
            if (i == 0)
                w.csvProgress->reject();
        });
        w.form->BitBtn8Click();
        QCOMPARE(test::readFile(dir.file("old.csv")), std::string("old"));
        QVERIFY(w.prompts->messages.isEmpty());
    }

    void dialogsAsConfigured() {
        std::unique_ptr<QFileDialog> open(ui::makeOpenDialog(nullptr));
        QCOMPARE(open->fileMode(), QFileDialog::ExistingFiles);
        QVERIFY(open->filter() & QDir::Hidden);
        QVERIFY(!(open->filter() & QDir::CaseSensitive));
        const QStringList filters = open->nameFilters();
        QCOMPARE(filters.size(), 6);
        QCOMPARE(filters[0], QStringLiteral("Office 文書 (*.xls *.xlt *.xla *.xlsx *.xlsm *.xltx *.xltm *.xlam *.xlsb "
                                             "*.doc *.dot *.docx *.docm *.dotx *.dotm *.ppt *.pot *.pps *.pptx *.pptm "
                                             "*.potx *.potm *.ppsx *.ppsm *.ods *.ots *.odt *.ott *.odp *.otp *.fods *.fodt *.fodp)"));
        QVERIFY(filters[1].startsWith(QStringLiteral("Excel ブック (*.xls *.xlt *.xla *.xlsx")));
        QVERIFY(filters[2].startsWith(QStringLiteral("Word 文書 (*.doc *.dot *.docx")));
        QVERIFY(filters[3].startsWith(QStringLiteral("PowerPoint プレゼンテーション (*.ppt *.pot *.pps *.pptx")));
        QCOMPARE(filters[4], QStringLiteral("OpenDocument 文書 (*.ods *.ots *.odt *.ott *.odp *.otp *.fods *.fodt *.fodp)"));
        QCOMPARE(filters[5], QStringLiteral("すべてのファイル (*)"));
        std::unique_ptr<QFileDialog> folder(ui::makeFolderDialog(nullptr, QStringLiteral("t"), true));
        QCOMPARE(folder->fileMode(), QFileDialog::Directory);
        auto* box = folder->findChild<QCheckBox*>(QStringLiteral("includeSubfolders"));
        QVERIFY(box && box->isChecked());
        QCOMPARE(box->text(), QStringLiteral("サブフォルダーも含める"));
        std::unique_ptr<QFileDialog> save(ui::makeSaveDialog(nullptr, QString()));
        QCOMPARE(save->acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(save->defaultSuffix(), QStringLiteral("CSV"));
        QCOMPARE(save->nameFilters(), (QStringList{QStringLiteral("CSV ファイル (Shift-JIS) (*.csv *.CSV)"),
                                                   QStringLiteral("CSV ファイル (UTF-8) (*.csv *.CSV)")}));
        QVERIFY(!save->testOption(QFileDialog::DontConfirmOverwrite));
        QVERIFY(!save->findChild<QCheckBox*>(QStringLiteral("withCustom"))->isChecked());
    }

    void helpHintsAndAbout() {
        test::Window w;
        // The help page is beside the program; the tests have none.
        QVERIFY(!QFileInfo::exists(ui::TForm1::helpFilePath()));
        w.form->help2Click();
        QVERIFY(w.prompts->urls.isEmpty());
        w.form->Emailsupport1Click();
        w.form->Homepage1Click();
        QCOMPARE(w.prompts->urls.size(), 2);
        QCOMPARE(w.prompts->urls[0].toString(), QStringLiteral("mailto:support@norvane.example.com?subject=Quorvix"));

        Ui::TForm5* about = w.about->form();
        QCOMPARE(w.about->windowTitle(), QStringLiteral("バージョン情報"));
        QCOMPARE(about->Version->text(), QStringLiteral("バージョン: 3.16"));
        QCOMPARE(about->ProductName->text(), w.form->windowTitle());
        QCOMPARE(about->Maker->text(), QStringLiteral("Norvane 開発"));
        emit about->HomePage->linkActivated(QStringLiteral("home"));
        QCOMPARE(w.prompts->urls.last().toString(), QStringLiteral("https://www.norvane.example.com/"));
        bool shown = false;
        test::whenModalOpens([&](QWidget* modal) {
            shown = modal == w.about;
            w.about->form()->OKButton->click();
        });
        w.form->about1Click();
        QVERIFY(shown);

        QCOMPARE(w.hints->windowTitle(), QStringLiteral("ヘルプヒント"));
        QCOMPARE(w.hints->size(), QSize(635, 521));
        QCOMPARE(w.hints->form()->StateText2->text(),
                 QStringLiteral("エラーや他のプログラムで開かれているため、ファイルの情報を得ることができません"));
        test::whenModalOpens([&](QWidget* modal) {
            shown = modal == w.hints;
            w.hints->form()->Button1->click();
        });
        shown = false;
        w.ui().BitBtn5->click();
        QVERIFY(shown);
    }
};

QTEST_MAIN(RunsTest)
#include "tst_runs.moc"
