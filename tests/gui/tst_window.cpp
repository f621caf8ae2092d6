// The main window: start-up state, the file list, the single-file view and
// the questions that keep a user's work from being lost or written unasked.
#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "cfb_builder.h"
#include "guitest.h"
#include <QStatusBar>
#include "localtext/datetext.h"
#include "platform/platform.h"
#include "props/catalogue.h"
#include "props/datetime.h"
#include "support/rowtexts.h"
#include "ui/batchconfirm.h"
#include "ui/filelistmodel.h"
#include "ui/propertygrids.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

using namespace qv;
using engine::FileState;

namespace {

#ifdef _WIN32
// An office program holds an open workbook with a handle that shares reading
// only; the system refuses other handles alike whichever process holds it.
class LockingProcess {
public:
    explicit LockingProcess(const std::string& path)
        : m_handle(CreateFileW(std::filesystem::path(std::u8string(path.begin(), path.end())).c_str(),
                               GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~LockingProcess() {
        if (locked())
            CloseHandle(m_handle);
    }
    bool locked() const { return m_handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_handle;
};
#else
// Holds a file open with a shared lock from another process, as an office
// program does while a workbook is open: others may read it, not change it.
class LockingProcess {
public:
    explicit LockingProcess(const std::string& path) {
        int ready[2], release[2];
        if (pipe(ready) != 0 || pipe(release) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            int fd = ::open(path.c_str(), O_RDWR);
            char c = (fd >= 0 && flock(fd, LOCK_SH) == 0) ? '1' : '0';
            (void)!write(ready[1], &c, 1);
            (void)!read(release[0], &c, 1);  // until the parent closes its end
            _exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        m_release = release[1];
        char c = '0';
        m_locked = read(ready[0], &c, 1) == 1 && c == '1';
        ::close(ready[0]);
    }
    ~LockingProcess() {
        if (m_pid > 0) {
            ::close(m_release);
            int status = 0;
            waitpid(m_pid, &status, 0);
        }
    }
    bool locked() const { return m_locked; }

private:
    pid_t m_pid = -1;
    int m_release = -1;
    bool m_locked = false;
};
#endif

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::GuiEnvironment> env;

private slots:
    void initTestCase() { env = std::make_unique<test::GuiEnvironment>(); }
    void init() { env->clearSettings(); }
    void cleanupTestCase() { env.reset(); }

    void startUpState() {
        test::Window w;
        Ui::TForm1& ui = w.ui();
        // The first size is what the window wants, within the screen.
        const QRect area = w.form->screen()->availableGeometry();
        QVERIFY(w.form->width() <= area.width() && w.form->height() <= area.height());
        QCOMPARE(w.form->windowTitle(), QStringLiteral("Quorvix"));
        QCOMPARE(ui.PageControl1->currentWidget(), ui.TabSheet2);
        QCOMPARE(ui.PageControl1->tabText(0), QStringLiteral("単一変更"));
        QCOMPARE(ui.PageControl1->tabText(1), QStringLiteral("一括変更"));
        for (QTableWidget* grid : {ui.ListView2, ui.ListView3}) {
            QCOMPARE(grid->rowCount(), kRowCount);
            QCOMPARE(grid->columnWidth(0), 160);
            for (int row = 0; row < kRowCount; ++row)
                QCOMPARE(grid->item(row, 0)->text(), QString::fromUtf8(kCatalogue[std::size_t(row)].Label));
        }
        // The single grid is empty; the batch grid holds the first-start
        // defaults: rows 10 and 11 at the current time, nothing ticked.
        const QString now = test::s2q(FormatDateTimeText(NowLocal())).left(10);
        for (int row = 0; row < kRowCount; ++row) {
            QCOMPARE(w.value(false, row), QString());
            QVERIFY(!w.form->grids()->isTicked(row));
            if (row == kRowCreated || row == kRowLastSaved)
                QVERIFY(w.value(true, row).startsWith(now));
            else
                QCOMPARE(w.value(true, row), QString());
        }
        for (QWidget* off : std::initializer_list<QWidget*>{ui.ToolButton2, ui.ToolButton3, ui.ToolButton12,
                                                            ui.BitBtn6, ui.BitBtn9, ui.BitBtn2, ui.BitBtn8,
                                                            ui.GroupBox3, ui.GroupBox1})
            QVERIFY2(!off->isEnabled(), qPrintable(off->objectName()));
        QVERIFY(!ui.Remove1->isEnabled());
        QVERIFY(!ui.RemoveAll1->isEnabled());
        QVERIFY(ui.CheckBox5->isChecked());
        QVERIFY(!ui.CheckBox4->isChecked());
        for (QCheckBox* b : {ui.CheckBox1, ui.CheckBox2, ui.CheckBox3, ui.CheckBox8, ui.CheckBox16, ui.CheckBox17,
                             ui.CheckBox18, ui.CheckBox23})
            QCOMPARE(b->checkState(), Qt::PartiallyChecked);
        // With no defaults saved the time boxes start unticked, their pickers
        // off: a batch run changes no file's times unasked.
        for (QCheckBox* b : {ui.CheckBox9, ui.CheckBox10, ui.CheckBox11, ui.CheckBox12, ui.CheckBox13, ui.CheckBox14})
            QVERIFY(!b->isChecked());
        QVERIFY(!ui.DateTimePicker4->isEnabled());
        // Every control is found by its name.
        for (const char* name : {"ListView1", "ToolBar2", "ToolBar3", "Panel1", "StatusBar1", "MainMenu1", "Edit1",
                                 "Panel3", "Panel5", "Edit3", "UpDown1", "CheckBox6", "CheckBox15",
                                 "DateTimePicker7", "DateTimePicker8", "PopupMenu1"})
            QVERIFY2(w.form->findChild<QObject*>(QString::fromLatin1(name)), name);
    }

    void timeBoxesEnableTheirOwnPicker() {
        test::Window w;
        Ui::TForm1& ui = w.ui();
        ui.PageControl1->setCurrentIndex(1);
        QTest::mouseClick(ui.CheckBox12, Qt::LeftButton);
        QVERIFY(ui.DateTimePicker4->isEnabled());
        QVERIFY(!ui.DateTimePicker3->isEnabled());
        QTest::mouseClick(ui.CheckBox12, Qt::LeftButton);
        QVERIFY(!ui.DateTimePicker4->isEnabled());
        // Attribute boxes cycle unchecked -> grey -> checked -> unchecked.
        ui.CheckBox2->setCheckState(Qt::Unchecked);
        const Qt::CheckState cycle[] = {Qt::PartiallyChecked, Qt::Checked, Qt::Unchecked};
        for (Qt::CheckState expected : cycle) {
            ui.CheckBox2->click();
            QCOMPARE(ui.CheckBox2->checkState(), expected);
        }
    }

    void addFromDialog() {
        test::TempDir dir;
        const std::string a = dir.copyData("lo_ascii.xls"), b = dir.copyData("lo_ascii.xlsx");
        test::writeFile(dir.file("notes.txt"), "text");
        test::Window w;
        // Missing files and folders are skipped, a typed other type is
        // listed, duplicates are not.
        w.prompts->workbooks = {test::s2q(a), test::s2q(dir.file("gone.xls")), test::s2q(dir.path()),
                                test::s2q(b), test::s2q(a), test::s2q(dir.file("notes.txt"))};
        w.form->ToolButton1Click();
        ui::FileListModel* list = w.form->fileList();
        QCOMPARE(list->rowCount(), 3);
        QCOMPARE(list->pathAt(0), a);
        QCOMPARE(list->pathAt(1), b);
        QCOMPARE(list->pathAt(2), dir.file("notes.txt"));
        QCOMPARE(w.form->selectedRow(), 2);
        for (QWidget* on : std::initializer_list<QWidget*>{w.ui().ToolButton2, w.ui().ToolButton3, w.ui().BitBtn2,
                                                           w.ui().BitBtn8})
            QVERIFY2(on->isEnabled(), qPrintable(on->objectName()));
        // The text file shown can't be read: nothing to change on its page.
        QVERIFY(!w.ui().BitBtn6->isEnabled() && !w.ui().ToolButton12->isEnabled());
        w.form->selectRow(0);
        QVERIFY(w.ui().BitBtn6->isEnabled() && w.ui().ToolButton12->isEnabled());
        w.form->selectRow(2);
        QVERIFY(w.ui().RemoveAll1->isEnabled());
        // Cancelling the dialog changes nothing.
        w.prompts->workbooks.clear();
        w.form->ToolButton1Click();
        QCOMPARE(list->rowCount(), 3);
    }

    void addFromFolder() {
        test::TempDir dir;
        const std::string lower = dir.copyData("lo_ascii.xls", "a.xls");
        const std::string upper = dir.copyData("lo_ascii.xlsx", "B.XLSX");
        dir.copyData("lo_ascii.xls", "~$owner.xls");
        test::writeFile(dir.file("c.txt"), "x");
        std::filesystem::create_directory(dir.file("sub"));
        dir.copyData("lo_ascii.xls", "sub/d.xls");
        test::Window w;
        w.prompts->folder = test::s2q(dir.path() + "/");
        w.form->ToolButton5Click();
        QCOMPARE(w.prompts->folderTitle, QStringLiteral("フォルダを選択してください"));
        std::vector<std::string> listed = w.form->fileList()->files().paths();
        std::sort(listed.begin(), listed.end());
        // The folder command lists paths as the system writes them.
        auto native = [](const std::string& p) {
            return test::q2s(QDir::toNativeSeparators(test::s2q(p)));
        };
        QCOMPARE(listed, (std::vector<std::string>{native(upper), native(lower)}));
        QCOMPARE(w.form->selectedRow(), 1);

        // A folder whose own path holds "~$" gives nothing.
        std::filesystem::create_directory(dir.file("~$odd"));
        dir.copyData("lo_ascii.xls", "~$odd/e.xls");
        w.prompts->folder = test::s2q(dir.file("~$odd"));
        w.form->ToolButton5Click();
        QCOMPARE(w.form->fileList()->rowCount(), 2);
        QVERIFY(!w.prompts->subfoldersOffered);

        // Ticking "サブフォルダーも含める" brings the subfolder's documents
        // after the folder's own, and the box stays ticked from then on,
        // also in a window opened later.
        w.form->ToolButton3Click();
        w.prompts->folder = test::s2q(dir.path());
        w.prompts->includeSubfolders = true;
        w.form->ToolButton5Click();
        QCOMPARE(w.form->fileList()->files().paths(),
                 (std::vector<std::string>{native(lower), native(upper), native(dir.file("sub/d.xls"))}));
        test::Window later;
        later.prompts->folder = test::s2q(native(dir.file("sub")));
        later.form->ToolButton5Click();
        QVERIFY(later.prompts->subfoldersOffered);
        // A folder dropped on the list is searched the same way.
        QCOMPARE(later.form->HandleDroppedFiles({test::s2q(native(dir.path()))}), 2);
        QCOMPARE(later.form->fileList()->files().paths(),
                 (std::vector<std::string>{native(dir.file("sub/d.xls")), native(lower), native(upper)}));
    }

    void dropsOfFileUrls() {
        test::TempDir dir;
        const std::string a = dir.copyData("lo_ascii.xls", "a.xls");
        const std::string upper = dir.file("A.xls");
        test::Window w;
        // A real drop on the list's viewport, as a file manager sends it.
        auto drop = [&](const QList<QUrl>& urls) {
            QMimeData mime;
            mime.setUrls(urls);
            QWidget* target = w.ui().ListView1->viewport();
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(target, &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent dropEvent(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(target, &dropEvent);
        };
        drop({QUrl::fromLocalFile(test::s2q(a)), QUrl::fromLocalFile(test::s2q(dir.path()))});
        drop({QUrl::fromLocalFile(test::s2q(a))});
        QCOMPARE(w.form->fileList()->rowCount(), 1);
#ifdef _WIN32
        QSKIP("names that differ in case only name one file on Windows");
#endif
        // The same file written in another case is another path; on a file
        // system that tells case apart it has to exist under that name.
        std::filesystem::copy_file(a, upper);
        test::writeFile(dir.file("x.txt"), "x");
        QCOMPARE(w.form->HandleDroppedFiles({test::s2q(upper), test::s2q(dir.file("x.txt"))}), 1);
        QCOMPARE(w.form->fileList()->rowCount(), 2);
        QCOMPARE(w.form->selectedRow(), 1);
    }

    void removeKeepsANeighbourSelected() {
        test::TempDir dir;
        std::vector<std::string> paths;
        for (int i = 0; i < 5; ++i) {
            std::string name = "f";  // built step by step: g++ 12 at -O3 warns falsely on a + b + c here
            name += std::to_string(i);
            name += ".xls";
            paths.push_back(dir.copyData("lo_ascii.xls", name));
        }
        test::Window w;
        w.list(paths);
        ui::FileListModel* list = w.form->fileList();
        w.form->selectRow(2);
        w.form->ToolButton2Click();
        QCOMPARE(list->rowCount(), 4);
        QCOMPARE(w.form->selectedRow(), 1);
        QCOMPARE(list->pathAt(1), paths[1]);
        w.form->selectRow(0);
        w.form->ToolButton2Click();
        QCOMPARE(w.form->selectedRow(), 0);
        QCOMPARE(list->pathAt(0), paths[1]);
        w.form->ToolButton3Click();
        QCOMPARE(list->rowCount(), 0);
        QVERIFY(!w.ui().BitBtn2->isEnabled());
        QVERIFY(!w.ui().BitBtn8->isEnabled());
        QVERIFY(!w.ui().ToolButton3->isEnabled());
        QVERIFY(!w.ui().BitBtn6->isEnabled());

        w.list({paths[0]});
        w.form->ToolButton2Click();
        QCOMPARE(list->rowCount(), 0);
        QVERIFY(!w.ui().BitBtn2->isEnabled());
        QVERIFY(!w.ui().BitBtn8->isEnabled());
        QVERIFY(!w.ui().Remove1->isEnabled());
    }

    void losingTheSelectionEmptiesTheSinglePage() {
        test::TempDir dir;
        const std::string p = dir.copyData("lo_ascii.xlsx");
        test::Window w;
        w.list({p});
        QCOMPARE(w.value(false, kRowTitle), QStringLiteral("Quarterly Report Title"));
        QCOMPARE(w.value(false, kRowCreated), QStringLiteral("2010/04/01 12:30:00"));
        w.form->clearSelection();
        for (int row = 0; row < kRowCount; ++row)
            QCOMPARE(w.value(false, row), QString());
        for (QWidget* off : std::initializer_list<QWidget*>{w.ui().BitBtn6, w.ui().BitBtn9, w.ui().GroupBox3,
                                                            w.ui().GroupBox1, w.ui().ToolButton2,
                                                            w.ui().ToolButton12})
            QVERIFY2(!off->isEnabled(), qPrintable(off->objectName()));
        QVERIFY(!w.ui().Remove1->isEnabled());
        QVERIFY(w.ui().BitBtn2->isEnabled());
        QVERIFY(w.ui().BitBtn8->isEnabled());
    }

    void addingThousandsStaysFast() {
        // Memory-backed where there is such a folder: creating ten thousand
        // files on a slow disk would take longer than what is measured.
        QTemporaryDir shm(QStringLiteral("/dev/shm/qvtest-XXXXXX"));
        test::TempDir disk;
        const std::string folder = shm.isValid() ? test::q2s(shm.path()) : disk.path();
        std::vector<std::string> first;
        for (int i = 0; i < 10000; ++i) {
            first.push_back(folder + "/listed" + std::to_string(i) + ".xls");
            test::writeFile(folder + "/m" + std::to_string(i) + ".xls", "");
        }
        test::Window w;
        w.form->fileList()->append(first);
        w.prompts->folder = test::s2q(folder);
        QElapsedTimer t;
        t.start();
        w.form->ToolButton5Click();
        const qint64 ms = t.elapsed();
        QCOMPARE(w.form->fileList()->rowCount(), 20000);
        QVERIFY2(ms < 1000, qPrintable(QStringLiteral("%1 ms").arg(ms)));
    }

    void viewingLeavesTheFileAsItWas() {
        test::TempDir dir;
        const std::string xls = dir.copyData("lo_ascii.xls");
        const std::string xlsx = dir.copyData("lo_ascii.xlsx", "UPPER.xlsx");
        // A read-only hidden workbook comes back read-only and hidden.
        QVERIFY(platform::setFileAttributes(xlsx, kAttrReadOnly | kAttrHidden | kAttrArchive).ok());
        const test::Stamp beforeXls = test::stampOf(xls), beforeXlsx = test::stampOf(xlsx);
        test::Window w;
        w.list({xls, xlsx});
        QCOMPARE(w.form->fileList()->stateAt(1), FileState::Unchanged);
        QCOMPARE(w.ui().CheckBox16->checkState(), Qt::Checked);
        QCOMPARE(w.ui().CheckBox18->checkState(), Qt::Checked);
        QCOMPARE(w.ui().CheckBox23->checkState(), Qt::Unchecked);
        QCOMPARE(w.value(false, kRowCompany), QStringLiteral("Acme Company Ltd"));
        w.form->selectRow(0);
        QCOMPARE(w.value(false, kRowAuthor), QStringLiteral("Alice Author"));
        QCOMPARE(w.value(false, kRowEditTime), QStringLiteral("90"));
        QCOMPARE(w.value(false, kRowCompany), QString());
        QCOMPARE(w.ui().CheckBox16->checkState(), Qt::Unchecked);
        // The pickers show the file's own times.
        const auto stamp = ReadFileStamp(xls);
        QVERIFY(stamp.ok());
        QCOMPARE(w.ui().DateTimePicker11->value(), FileTimeToLocal(stamp->LastWrite.ticks));
        QCOMPARE(test::stampOf(xls), beforeXls);
        QCOMPARE(test::stampOf(xlsx), beforeXlsx);
    }

    void aFileAnotherReaderHoldsIsShownAsUsual() {
        test::TempDir dir;
        const std::string p = dir.copyData("lo_ascii.xls");
        const std::string q = dir.copyData("lo_ascii.xlsx");
        test::Window w;
        w.list({q, p});
        QCOMPARE(w.form->fileList()->stateAt(1), FileState::Unchanged);
        {
            // Viewing reads with sharing and writes nothing back that did not
            // move, so another reader's lock is no obstacle.
            LockingProcess holder(p);
            QVERIFY(holder.locked());
            w.form->selectRow(0);
            w.form->selectRow(1);
#ifdef _WIN32
            // There the holder's write access shuts every reader out.
            QCOMPARE(w.form->fileList()->stateAt(1), FileState::Unreadable);
#else
            QCOMPARE(w.form->fileList()->stateAt(1), FileState::Unchanged);
            QCOMPARE(w.value(false, kRowAuthor), QStringLiteral("Alice Author"));
#endif
        }
        w.form->selectRow(0);
        w.form->selectRow(1);
        QCOMPARE(w.form->fileList()->stateAt(1), FileState::Unchanged);
    }

    // The page shows nothing of the file shown before, greyed, and names
    // the file it can't read.
    void anUnreadablePackageShowsNoOtherFilesValues() {
        test::TempDir dir;
        const std::string good = dir.copyData("lo_ascii.xlsx");
        const std::string bad = dir.copyData("zip_method12_core.xlsx");
        test::Window w;
        w.list({good});
        w.list({bad});
        QCOMPARE(w.form->fileList()->stateAt(1), FileState::Unreadable);
        QCOMPARE(w.value(false, kRowTitle), QString());
        QVERIFY(!w.ui().ListView3->isEnabled() && !w.ui().BitBtn6->isEnabled());
        auto* shown = w.form->findChild<QLabel*>(QStringLiteral("ShownFile"));
        QVERIFY(shown->text().startsWith(QStringLiteral("zip_method12_core.xlsx")) && !shown->isEnabled());
        // A changed file keeps its state when it is viewed again.
        w.form->fileList()->setState(0, FileState::Changed);
        w.form->selectRow(0);
        QCOMPARE(w.form->fileList()->stateAt(0), FileState::Changed);
    }

    // A damaged or password-protected workbook is not shown as one without
    // properties: unreadable, with its reason in Japanese as the row's
    // tooltip and in the status bar while it is selected.
    void unreadableWorkbooksSayWhy() {
        test::TempDir dir;
        test::CfbLayout damaged;
        damaged.streams = {{u"\u0005SummaryInformation", "\xFE\xFF garbage"}, {u"Workbook", "wb"}};
        const std::string bad = dir.file("damaged.xls");
        test::writeFile(bad, test::buildCfb(damaged));
        test::CfbLayout locked;
        locked.streams = {{u"EncryptionInfo", std::string(64, '\x04')}, {u"EncryptedPackage", std::string(64, 'x')}};
        const std::string enc = dir.file("locked.xlsx");
        test::writeFile(enc, test::buildCfb(locked));
        const std::string good = dir.copyData("lo_ascii.xls");
        test::Window w;
        w.list({good, bad, enc});
        QAbstractItemModel* list = w.ui().ListView1->model();
        struct Case {
            int row;
            QString head;
        };
        for (const Case& c : {Case{1, QStringLiteral("ファイルが壊れている")},
                              Case{2, QStringLiteral("パスワードで保護されています: プロパティは暗号化されています")}}) {
            w.form->selectRow(c.row);
            QCOMPARE(w.form->fileList()->stateAt(c.row), FileState::Unreadable);
            const QString tip = list->data(list->index(c.row, 0), Qt::ToolTipRole).toString();
            QVERIFY2(tip.contains(c.head), qPrintable(tip));
            const QString status = w.ui().StatusBar1->currentMessage();
            QVERIFY2(status.contains(c.head), qPrintable(status));
        }
        QCOMPARE(w.value(false, kRowTitle), QString());
        w.form->selectRow(0);
        QCOMPARE(w.ui().StatusBar1->currentMessage(), QString());
    }

    // Edits on the single page are asked about before another file is shown
    // or the window closes, and each answer does what it says.
    void pendingSingleEditsAreAskedAbout() {
        test::TempDir dir;
        const std::string a = dir.copyData("lo_ascii.xls", "a.xls"), b = dir.copyData("lo_ascii.xlsx", "b.xlsx");
        test::Window w;
        w.list({a, b});
        w.ui().CheckBox5->setChecked(false);
        w.form->selectRow(0);
        w.form->selectRow(1);
        w.form->selectRow(0);
        QCOMPARE(w.prompts->saveAsked, 0);
        const std::string before = test::readFile(a);
        const QString edited = QStringLiteral("新しい表題");
        auto edit = [&] { w.form->grids()->setValueText(w.ui().ListView3, kRowTitle, edited); };

        edit();
        QTRY_COMPARE(w.ui().PageControl1->tabText(0), QStringLiteral("単一変更 *"));
        w.prompts->saveAnswer = ui::SaveAnswer::Discard;
        w.form->selectRow(1);
        QCOMPARE(w.prompts->saveAsked, 1);
        QCOMPARE(w.prompts->saveQuestion, QStringLiteral("変更を保存しますか？\na.xls"));
        QCOMPARE(w.form->selectedRow(), 1);
        QVERIFY(test::readFile(a) == before);
        QTRY_COMPARE(w.ui().PageControl1->tabText(0), QStringLiteral("単一変更"));

        w.form->selectRow(0);
        edit();
        w.prompts->saveAnswer = ui::SaveAnswer::Cancel;
        w.form->selectRow(1);
        QCOMPARE(w.prompts->saveAsked, 2);
        QCOMPARE(w.form->selectedRow(), 0);
        QCOMPARE(w.value(false, kRowTitle), edited);
        QVERIFY(test::readFile(a) == before);

        w.prompts->saveAnswer = ui::SaveAnswer::Save;
        w.form->selectRow(1);
        QCOMPARE(w.prompts->saveAsked, 3);
        QCOMPARE(w.form->selectedRow(), 1);
        QCOMPARE(test::ReadRows(a)->at(kRowTitle).text, edited.toStdString());

        edit();
        w.prompts->saveAnswer = ui::SaveAnswer::Cancel;
        QVERIFY(!w.form->close());
        QVERIFY(w.form->isVisible());
        w.prompts->saveAnswer = ui::SaveAnswer::Discard;
        QVERIFY(w.form->close());
        QCOMPARE(w.prompts->saveAsked, 5);
    }

    // The batch run says what it will do first; No writes nothing.
    void batchRunIsConfirmedFirst() {
        engine::BatchSettings s;
        s.ticked.set(kRowTitle);
        s.values[kRowTitle] = "表題";
        s.backup = true;
        s.backupPolicy = {"/backups/here", 3};
        QString text = ui::BatchConfirmText(s, 2);
        QVERIFY2(text.startsWith(QStringLiteral("2 個のファイル")), qPrintable(text));
        QVERIFY(text.contains(QString::fromUtf8(kCatalogue[kRowTitle].Label) + QStringLiteral("：表題")));
        QCOMPARE(text.count(QStringLiteral("変更しない")), 3);
        QVERIFY(text.contains(QStringLiteral("/backups/here")) && text.contains(QStringLiteral("3 世代")));
        QVERIFY(!text.contains(QStringLiteral("属性")));
        s.values[kRowTitle].clear();
        s.backup = false;
        text = ui::BatchConfirmText(s, 2);
        QVERIFY(text.contains(QStringLiteral("（空にする）")) && text.contains(QStringLiteral("バックアップしない")));

        test::TempDir dir;
        const std::string a = dir.copyData("lo_ascii.xls", "a.xls"), b = dir.copyData("lo_ascii.xlsx", "b.xlsx");
        const std::string beforeA = test::readFile(a), beforeB = test::readFile(b);
        test::Window w;
        w.list({a, b});
        for (QCheckBox* box : {w.ui().CheckBox9, w.ui().CheckBox10, w.ui().CheckBox11, w.ui().CheckBox12,
                               w.ui().CheckBox13, w.ui().CheckBox14})
            box->setChecked(false);
        w.form->grids()->setValueText(w.ui().ListView2, kRowTitle, QStringLiteral("表題"));
        w.form->grids()->setTicked(kRowTitle, true);
        w.prompts->confirmBatch = false;
        w.form->BitBtn2Click();
        QCOMPARE(w.prompts->batchQuestions.size(), 1);
        QVERIFY(w.prompts->batchQuestions[0].startsWith(QStringLiteral("2 個のファイル")));
        QVERIFY(test::readFile(a) == beforeA && test::readFile(b) == beforeB);
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
