// The two grids and their in-place editors: opening, every commit and
// cancel path, erase boxes, the number filter, scroll and wheel, commands,
// and the keyboard's way through every editor kind of all three grids.
#include <QCheckBox>
#include <QFrame>
#include <QLineEdit>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include "guitest.h"
#include "ui/customgrid.h"
#include "localtext/datetext.h"
#include "props/catalogue.h"
#include "props/datetime.h"
#include "ui/datetimepicker.h"
#include "ui/propertygrids.h"
#include "ui/tform1.h"
#include "ui/updown.h"
#include "ui_tform1.h"

using namespace qv;

class EditorsTest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::GuiEnvironment> env;
    std::unique_ptr<test::Window> w;
    ui::PropertyGrids* grids = nullptr;
    QTableWidget* batch = nullptr;

    QPoint valueCell(QTableWidget* grid, int row) {
        grid->scrollToItem(grid->item(row, 0));
        return {grid->columnViewportPosition(1) + 10, grid->rowViewportPosition(row) + 10};
    }
    void clickValue(QTableWidget* grid, int row) {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, valueCell(grid, row));
    }
    // Moves the focus to another control, as a click elsewhere does.
    void leave() {
        w->ui().CheckBox4->setFocus(Qt::MouseFocusReason);
        QApplication::processEvents();
    }
    void setValue(int row, const QString& v) { grids->setValueText(batch, row, v); }
    // Types into whatever has the focus, as a keyboard does: "\t" is Tab.
    static void type(const QString& keys) {
        for (QChar c : keys) {
            QWidget* to = QApplication::focusWidget();
            QVERIFY(to);
            if (c == u'\t')
                QTest::keyClick(to, Qt::Key_Tab);
            else if (c.unicode() < 0x80)
                QTest::keyClicks(to, QString(c));
            else  // what an input method hands over
                QTest::sendKeyEvent(QTest::Click, to, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }
    static void press(Qt::Key key) {
        QVERIFY(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), key);
        QApplication::processEvents();
    }
    // Every date field of an open editor shows its whole text.
    static void checkDateFieldsWide(QWidget* editor) {
        for (auto* field : editor->findChildren<ui::TypedDateTimeEdit*>()) {
            if (!field->isVisible())
                continue;
            auto* line = field->findChild<QLineEdit*>();
            QVERIFY(line);
            QVERIFY2(line->width() >= line->fontMetrics().horizontalAdvance(line->text()),
                     qPrintable(line->text() + QStringLiteral(" does not fit")));
        }
    }
    QString value(int row) { return grids->valueText(batch, row); }

private slots:
    void initTestCase() { env = std::make_unique<test::GuiEnvironment>(); }
    void init() {
        env->clearSettings();
        w = std::make_unique<test::Window>();
        grids = w->form->grids();
        batch = w->ui().ListView2;
        w->ui().PageControl1->setCurrentIndex(1);
        QApplication::processEvents();
    }
    void cleanup() { w.reset(); }
    void cleanupTestCase() { env.reset(); }

    void textEditor() {
        clickValue(batch, kRowTitle);
        QCOMPARE(grids->openEditor(), ui::PropertyGrids::Editor::Text);
        QVERIFY(grids->Edit1->isVisible());
        QCOMPARE(grids->Edit1->x(), batch->columnViewportPosition(1) + 3);
        QCOMPARE(grids->Edit1->width(), batch->columnWidth(1) - 4);
        QTest::keyClicks(grids->Edit1, "abc");
        QTest::keyClick(grids->Edit1, Qt::Key_Return);
        QCOMPARE(value(kRowTitle), QStringLiteral("abc"));
        QVERIFY(!grids->Edit1->isVisible());
        QVERIFY(batch->hasFocus());

        clickValue(batch, kRowTitle);
        QTest::keyClicks(grids->Edit1, "zzz");
        QTest::keyClick(grids->Edit1, Qt::Key_Escape);
        QCOMPARE(value(kRowTitle), QStringLiteral("abc"));
        QVERIFY(!grids->Edit1->isVisible());

        // Leaving commits the text exactly as typed, blanks included.
        clickValue(batch, kRowAuthor);
        grids->Edit1->setText(QStringLiteral("  spaced  "));
        leave();
        QCOMPARE(value(kRowAuthor), QStringLiteral("  spaced  "));
        QCOMPARE(grids->openEditor(), ui::PropertyGrids::Editor::None);
    }

    void numberEditorOpensAndErases() {
        // Empty: "1" with "消す" ticked; leaving untouched writes empty.
        clickValue(batch, kRowRevision);
        QCOMPARE(grids->openEditor(), ui::PropertyGrids::Editor::Number);
        QCOMPARE(grids->Edit3->text(), QStringLiteral("1"));
        QVERIFY(grids->CheckBox6->isChecked());
        leave();
        QCOMPARE(value(kRowRevision), QString());

        // A word: "1" with "消す" unticked; leaving writes "1".
        setValue(kRowEditTime, QStringLiteral("abc"));
        clickValue(batch, kRowEditTime);
        QCOMPARE(grids->Edit3->text(), QStringLiteral("1"));
        QVERIFY(!grids->CheckBox6->isChecked());
        QCOMPARE(grids->UpDown1->position(), 1);
        leave();
        QCOMPARE(value(kRowEditTime), QStringLiteral("1"));
    }

    void numberFieldTakesDigitsOnly() {
        setValue(kRowRevision, QStringLiteral("5"));
        clickValue(batch, kRowRevision);
        QCOMPARE(grids->Edit3->text(), QStringLiteral("5"));
        grids->Edit3->clear();
        QTest::keyClicks(grids->Edit3, "a-4. 0+0,0x0");
        QCOMPARE(grids->Edit3->text(), QStringLiteral("40000"));
        leave();
        // Above the arrows' range, committed as typed.
        QCOMPARE(value(kRowRevision), QStringLiteral("40000"));

        clickValue(batch, kRowRevision);
        grids->Edit3->setText(QStringLiteral("007"));
        leave();
        QCOMPARE(value(kRowRevision), QStringLiteral("7"));

        // Too long for an integer: "1".
        clickValue(batch, kRowRevision);
        grids->Edit3->setText(QStringLiteral("99999999999"));
        leave();
        QCOMPARE(value(kRowRevision), QStringLiteral("1"));

        // A cleared field becomes "1", or empty with "消す".
        clickValue(batch, kRowRevision);
        grids->Edit3->clear();
        grids->CheckBox6->setFocus();  // focus moves within the editor
        QCOMPARE(grids->Edit3->text(), QStringLiteral("1"));
        QCOMPARE(grids->openEditor(), ui::PropertyGrids::Editor::Number);
        grids->Edit3->clear();
        leave();
        QCOMPARE(value(kRowRevision), QStringLiteral("1"));
        clickValue(batch, kRowRevision);
        grids->CheckBox6->setChecked(true);
        leave();
        QCOMPARE(value(kRowRevision), QString());

        // The arrows step from the field's number.
        setValue(kRowRevision, QStringLiteral("41"));
        clickValue(batch, kRowRevision);
        grids->UpDown1->findChild<QToolButton*>(QStringLiteral("UpDownUp"))->click();
        QCOMPARE(grids->Edit3->text(), QStringLiteral("42"));
        leave();
        QCOMPARE(value(kRowRevision), QStringLiteral("42"));
    }

    void dateEditor() {
        // "前回印刷日時" empty: "消す" ticked, pickers now, leaving writes empty.
        clickValue(batch, kRowLastPrinted);
        QCOMPARE(grids->openEditor(), ui::PropertyGrids::Editor::Date);
        QVERIFY(grids->Panel3->width() >= batch->columnWidth(1) - 3);
        QVERIFY(grids->CheckBox15->isVisible());
        QVERIFY(grids->CheckBox15->isChecked());
        QVERIFY(std::abs(grids->DateTimePicker7->value() - NowLocal()) < 0.01);
        leave();
        QCOMPARE(value(kRowLastPrinted), QString());

        // The date comes from the date picker, the time from the time
        // picker; midnight is written without its time.
        setValue(kRowCreated, QStringLiteral("2010/04/01 12:30:00"));
        clickValue(batch, kRowCreated);
        QVERIFY(grids->Panel3->width() >= batch->columnWidth(1) - 3);
        QVERIFY(!grids->CheckBox15->isVisible());
        QCOMPARE(grids->DateTimePicker8->time(), QTime(12, 30, 0));
        grids->DateTimePicker7->setDate(QDate(2020, 1, 2));
        grids->DateTimePicker8->setTime(QTime(0, 0, 0));
        leave();
        QCOMPARE(value(kRowCreated), QStringLiteral("2020/01/02"));

        // A text that doesn't parse opens at now and commits that.
        setValue(kRowLastSaved, QStringLiteral("yesterday"));
        clickValue(batch, kRowLastSaved);
        leave();
        QVERIFY(ParseDateTimeText(test::q2s(value(kRowLastSaved))).has_value());
    }

    void scrollAndWheelCommitAndClose() {
        clickValue(batch, kRowTitle);
        grids->Edit1->setText(QStringLiteral("wheel"));
        QWheelEvent wheel(QPointF(20, 20), batch->viewport()->mapToGlobal(QPointF(20, 20)), {}, {0, -120},
                          Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(batch->viewport(), &wheel);
        QCOMPARE(value(kRowTitle), QStringLiteral("wheel"));
        QVERIFY(!grids->Edit1->isVisible());
        QVERIFY(batch->hasFocus());

#ifdef _WIN32
        if (batch->verticalScrollBar()->maximum() == 0)
            QSKIP("the grid shows every row at this screen's size and font");
#endif
        QVERIFY(batch->verticalScrollBar()->maximum() > 0);
        batch->verticalScrollBar()->setValue(0);
        setValue(kRowRevision, QStringLiteral("2"));
        clickValue(batch, kRowRevision);
        grids->Edit3->setText(QStringLiteral("3"));
        batch->verticalScrollBar()->setValue(batch->verticalScrollBar()->maximum());
        QCOMPARE(value(kRowRevision), QStringLiteral("3"));
        QVERIFY(!grids->Panel5->isVisible());
    }

    void commandsCommitFirst() {
        clickValue(batch, kRowCompany);
        grids->Edit1->setText(QStringLiteral("saved"));
        w->form->ToolButton9Click();
        QCOMPARE(value(kRowCompany), QStringLiteral("saved"));
        QCOMPARE(ui::TForm1::openDefaultsStore()->value(QStringLiteral("会社名string")).toString(),
                 QStringLiteral("saved"));

        clickValue(batch, kRowManager);
        grids->Edit1->setText(QStringLiteral("help"));
        w->form->Helponline1Click();
        QCOMPARE(value(kRowManager), QStringLiteral("help"));
        QCOMPARE(w->prompts->urls.size(), 1);
    }

    void clicksThatOpenNothingAndDoubleClicks() {
        // The label cell and the check box open nothing.
        QTest::mouseClick(batch->viewport(), Qt::LeftButton, {}, {40, batch->rowViewportPosition(0) + 10});
        QCOMPARE(grids->openEditor(), ui::PropertyGrids::Editor::None);
        // A double click toggles the row's tick.
        QVERIFY(!grids->isTicked(kRowSubject));
        const QPoint label(60, batch->rowViewportPosition(1) + 10);
        auto doubleClick = [&] {
            // Press and release, then the second press as a double click.
            QTest::mouseClick(batch->viewport(), Qt::LeftButton, {}, label);
            QTest::mouseDClick(batch->viewport(), Qt::LeftButton, {}, label);
            QTest::mouseRelease(batch->viewport(), Qt::LeftButton, {}, label);
        };
        doubleClick();
        QVERIFY(grids->isTicked(kRowSubject));
        doubleClick();
        QVERIFY(!grids->isTicked(kRowSubject));

        // No file selected: the single grid opens nothing.
        w->ui().PageControl1->setCurrentIndex(0);
        QApplication::processEvents();
        clickValue(w->ui().ListView3, kRowTitle);
        QCOMPARE(grids->openEditor(), ui::PropertyGrids::Editor::None);
    }

    void editorsMoveToTheSingleGrid() {
        test::TempDir dir;
        w->list({dir.copyData("lo_ascii.xlsx")});
        w->ui().PageControl1->setCurrentIndex(0);
        QApplication::processEvents();
        QTableWidget* single = w->ui().ListView3;
        clickValue(single, kRowTitle);
        QCOMPARE(grids->Edit1->parentWidget(), single->viewport());
        QCOMPARE(grids->Edit1->text(), QStringLiteral("Quarterly Report Title"));
        QTest::keyClick(grids->Edit1, Qt::Key_End);
        QTest::keyClicks(grids->Edit1, "!");
        QTest::keyClick(grids->Edit1, Qt::Key_Enter);
        QCOMPARE(grids->valueText(single, kRowTitle), QStringLiteral("Quarterly Report Title!"));
    }

    // Each editor kind on each grid from the keyboard: Enter opens, what is
    // typed is taken, Enter confirms; F2 opens again (a date at its year,
    // wherever the last edit ended); Esc leaves the value as it was; Tab
    // then leaves the grid.
    void keyboardEditing_data() {
        QTest::addColumn<QString>("grid");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("old");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("typedAgain");
        QTest::addColumn<QString>("valueAgain");
        QTest::addColumn<QString>("shown");
        QTest::newRow("text") << "batch" << int(kRowTitle) << "old" << "新しい表題" << "新しい表題" << "x" << "x"
                              << "x";
        QTest::newRow("number") << "batch" << int(kRowRevision) << "3" << "42" << "42" << "0070" << "70" << "70";
        QTest::newRow("minutes") << "single" << int(kRowEditTime) << "10" << "125" << "125" << "9" << "9"
                                 << "9 分";
        QTest::newRow("date") << "batch" << int(kRowCreated) << "2010/04/01 12:30:00" << "2026/12/01\t10:00:00"
                              << "2026/12/01 10:00:00" << "2027/1/5\t9:05:07" << "2027/01/05 9:05:07"
                              << "2027/01/05 9:05:07";
        // From a 31st to a shorter month, and a single-digit month and day.
        QTest::newRow("date, month end") << "single" << int(kRowLastSaved) << "2010/01/31 12:30:00"
                                         << "2024/02/29\t23:59:59" << "2024/02/29 23:59:59" << "2025/2/3"
                                         << "2025/02/03 23:59:59" << "2025/02/03 23:59:59";
        QTest::newRow("clearable date") << "single" << int(kRowLastPrinted) << "" << "2026/12/01\t0:00:00"
                                        << "2026/12/01" << "1999/9/9" << "1999/09/09" << "1999/09/09";
        QTest::newRow("custom text") << "custom" << 0 << "old" << "新" << "新" << "y" << "y" << "y";
        QTest::newRow("custom number") << "custom" << 1 << "1" << "-2.5" << "-2.5" << "8" << "8" << "8";
        QTest::newRow("custom date") << "custom" << 2 << "2010/04/01 12:30:00" << "2026/12/01 10:00:00"
                                     << "2026/12/01 10:00:00" << "2027/1/5 9:05:07" << "2027/01/05 9:05:07"
                                     << "2027/01/05 9:05:07";
    }

    void keyboardEditing() {
        QFETCH(QString, grid);
        QFETCH(int, row);
        QFETCH(QString, old);
        QFETCH(QString, typed);
        QFETCH(QString, value);
        QFETCH(QString, typedAgain);
        QFETCH(QString, valueAgain);
        QFETCH(QString, shown);
        test::TempDir dir;
        QTableWidget* table = batch;
        int column = 1;
        std::function<QString()> now;
        if (grid == "custom") {
            ui::CustomGrid* custom = w->form->batchCustom();
            custom->setEdits({{"t", CustomType::Text, "old", false},
                              {"n", CustomType::Number, "1", false},
                              {"d", CustomType::Date, "2010/04/01 12:30:00", false}});
            table = custom->table();
            column = ui::CustomGrid::ValueColumn;
            now = [table, row, column] { return table->item(row, column)->text(); };
        } else {
            if (grid == "single") {
                w->list({dir.copyData("lo_ascii.xlsx")});
                w->ui().PageControl1->setCurrentIndex(0);
                QApplication::processEvents();
                table = w->ui().ListView3;
            }
            grids->setValueText(table, row, old);
            // The value text the change runs and the defaults take.
            now = [this, table, row] { return test::s2q(grids->values(table)[std::size_t(row)]); };
        }
        QCOMPARE(now(), old);
        table->setCurrentCell(row, column);
        table->setFocus();
        QApplication::processEvents();

        auto open = [&](Qt::Key key) {
            press(key);
            QVERIFY(!table->hasFocus());
            QWidget* editor = QApplication::focusWidget();
            while (editor && editor->parentWidget() != table->viewport())
                editor = editor->parentWidget();
            QVERIFY(editor);
            checkDateFieldsWide(editor);
        };
        open(Qt::Key_Return);
        type(typed);
        press(Qt::Key_Return);
        QCOMPARE(now(), value);
        QVERIFY(table->hasFocus());

        open(Qt::Key_F2);
        type(typedAgain);
        press(Qt::Key_Enter);
        QCOMPARE(now(), valueAgain);
        QCOMPARE(table->item(row, column)->text(), shown);

        open(Qt::Key_Return);
        type(QStringLiteral("1"));
        press(Qt::Key_Escape);
        QCOMPARE(now(), valueAgain);
        QVERIFY(table->hasFocus());

        press(Qt::Key_Tab);
        QVERIFY(!table->hasFocus());
    }

    // A stored type this system keeps but doesn't change is named in
    // Japanese on the user-defined grid, never by its short name.
    void keptTypesHaveJapaneseNames() {
        const std::pair<const char*, const char*> named[] = {
            {"blob", "バイナリ"}, {"i8", "64 ビット整数"}, {"ui4", "符号なし整数"},
            {"vector", "ベクトル"}, {"cy", "通貨"},       {"type 72", "種類 72"}};
        std::vector<CustomProperty> kept;
        for (const auto& [key, label] : named)
            kept.push_back({key, OtherValue{key, "1"}, false});
        kept.push_back({"linked", OtherValue{"ui8", ""}, true});
        ui::CustomGrid* grid = w->form->singleCustom();
        grid->setProperties(kept);
        for (std::size_t i = 0; i < std::size(named); ++i)
            QCOMPARE(grid->table()->item(int(i), ui::CustomGrid::TypeColumn)->text(), QString(named[i].second));
        QCOMPARE(grid->table()->item(int(std::size(named)), ui::CustomGrid::TypeColumn)->text(),
                 QStringLiteral("符号なし 64 ビット整数（リンク）"));
    }

    void valueColumnFollowsTheGridWidth() {
        QCOMPARE(ui::PropertyGrids::valueColumnWidth(300), 100);
        QCOMPARE(ui::PropertyGrids::valueColumnWidth(301), 121);
        batch->resize(500, batch->height());
        QCOMPARE(batch->columnWidth(1), 320);
        batch->resize(250, batch->height());
        QCOMPARE(batch->columnWidth(1), 100);
        QCOMPARE(batch->columnWidth(0), 160);
    }
};

QTEST_MAIN(EditorsTest)
#include "tst_editors.moc"
