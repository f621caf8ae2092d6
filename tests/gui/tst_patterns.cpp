// The batch page's values made per file through the window: a title from
// each file's name and a company renamed through 置換, with the question's
// preview of each file's old and new values.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "engine/change.h"
#include "guitest.h"
#include "props/catalogue.h"
#include "support/rowtexts.h"
#include "ui/propertygrids.h"
#include "ui/replacedialog.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

using namespace qv;

namespace {

std::string rowOf(const std::string& path, int row) {
    auto rows = test::ReadRows(path);
    return rows ? rows->at(static_cast<std::size_t>(row)).text : "<unreadable>";
}

// Fills the 置換 dialog once it is shown, and presses OK.
void answerReplace(const QString& find, const QString& with, bool regex = false) {
    QTimer::singleShot(0, [=] {
        auto* dialog = qobject_cast<ui::ReplaceDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->rowBox(kRowCompany)->setChecked(true);
        dialog->findEdit()->setText(find);
        dialog->withEdit()->setText(with);
        dialog->regexBox()->setChecked(regex);
        dialog->accept();
    });
}

}  // namespace

class PatternsTest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::GuiEnvironment> env;

private slots:
    void initTestCase() { env = std::make_unique<test::GuiEnvironment>(); }
    void init() { env->clearSettings(); }
    void cleanupTestCase() { env.reset(); }

    void titleFromNameAndCompanyRenamed() {
        test::TempDir dir;
        const std::string a = dir.copyData("lo_japanese.xls", "議事録.xls"),
                          b = dir.copyData("lo_ascii.xlsx", "見積書.xlsx"),
                          same = dir.copyData("lo_japanese.xlsx", "same.xlsx");
        // The companies the files start with; the last one needs nothing.
        auto company = [](const std::string& path, const char* value, const char* title) {
            engine::BatchSettings s;
            s.values[kRowCompany] = value;
            s.values[kRowTitle] = title;
            s.ticked.set(kRowCompany).set(kRowTitle);
            QVERIFY(engine::RunBatch({path}, s).allChanged());
        };
        company(a, "株式会社旧社名", "古い題");
        company(b, "旧社名 東京支店", "Old");
        company(same, "別会社", "same");
        const std::string sameBytes = test::readFile(same);

        test::Window w;
        w.list({a, b, same});
        Ui::TForm1& ui = w.ui();
        for (QCheckBox* x : {ui.CheckBox9, ui.CheckBox10, ui.CheckBox11, ui.CheckBox12, ui.CheckBox13, ui.CheckBox14})
            x->setChecked(false);
        w.form->grids()->setValueText(ui.ListView2, kRowTitle, QStringLiteral("{ファイル名}"));
        w.form->grids()->setTicked(kRowTitle, true);

        QVERIFY(w.form->replaceLine()->isHidden());
        answerReplace(QStringLiteral("旧社名"), QStringLiteral("新社名"));
        w.form->replaceButton()->click();
        QCOMPARE(w.form->replaceLine()->text(), QStringLiteral("置換: 会社名 「旧社名」→「新社名」"));
        QVERIFY(!w.form->replaceLine()->isHidden());

        w.prompts->confirmBatch = true;
        w.form->BitBtn2Click();
        QCOMPARE(w.prompts->batchQuestions.size(), 1);
        const QString question = w.prompts->batchQuestions[0];
        for (const char* line : {"置換: 会社名 「旧社名」→「新社名」", "議事録.xls：タイトル「古い題」→「議事録」",
                                 "議事録.xls：会社名「株式会社旧社名」→「株式会社新社名」",
                                 "見積書.xlsx：会社名「旧社名 東京支店」→「新社名 東京支店」", "same.xlsx：変更なし"})
            QVERIFY2(question.contains(QString::fromUtf8(line)), qPrintable(question));
        QCOMPARE(rowOf(a, kRowTitle), std::string("議事録"));
        QCOMPARE(rowOf(a, kRowCompany), std::string("株式会社新社名"));
        QCOMPARE(rowOf(b, kRowTitle), std::string("見積書"));
        QCOMPARE(rowOf(b, kRowCompany), std::string("新社名 東京支店"));
        QCOMPARE(test::readFile(same), sameBytes);  // nothing to change: not rewritten
        QVERIFY(w.prompts->messages.isEmpty());

        w.form->replaceClearButton()->click();
        QVERIFY(w.form->replaceLine()->isHidden());
        QVERIFY(w.form->batchSettings().replaces.empty());
    }

    void faultsAreRefusedBeforeAnything() {
        test::TempDir dir;
        const std::string a = dir.copyData("lo_ascii.xls");
        const std::string bytes = test::readFile(a);
        test::Window w;
        w.list({a});
        w.form->grids()->setValueText(w.ui().ListView2, kRowTitle, QStringLiteral("{著者}"));
        w.form->grids()->setTicked(kRowTitle, true);
        w.prompts->confirmBatch = true;
        w.form->BitBtn2Click();
        QCOMPARE(w.prompts->messages.size(), 1);
        QVERIFY2(w.prompts->messages[0].contains(QStringLiteral("という項目はありません（2 文字目）")),
                 qPrintable(w.prompts->messages[0]));
        QVERIFY(w.prompts->batchQuestions.isEmpty());
        QCOMPARE(test::readFile(a), bytes);
    }
};

QTEST_MAIN(PatternsTest)
#include "tst_patterns.moc"
