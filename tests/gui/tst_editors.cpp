// The two grids and their in-place editors: opening, every commit and
// cancel path, erase boxes, the number filter, scroll and wheel, commands.
#include <QCheckBox>
#include <QFrame>
#include <QLineEdit>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include "guitest.h"
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
        QCOMPARE(grids->Panel3->width(), 89 + 73 + 46);
        QVERIFY(grids->CheckBox15->isVisible());
        QVERIFY(grids->CheckBox15->isChecked());
        QVERIFY(std::abs(grids->DateTimePicker7->value() - NowLocal()) < 0.01);
        leave();
        QCOMPARE(value(kRowLastPrinted), QString());

        // The date comes from the date picker, the time from the time
        // picker; midnight is written without its time.
        setValue(kRowCreated, QStringLiteral("2010/04/01 12:30:00"));
        clickValue(batch, kRowCreated);
        QCOMPARE(grids->Panel3->width(), 89 + 73);
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
