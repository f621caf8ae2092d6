// The user-defined properties in the window: the single page's grid shows a
// file's properties, and its change writes what the grid holds (an edited
// value, an added and a removed property) with the fourteen rows; the batch
// page's edits reach every listed file and are kept with the defaults.
#include <QComboBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "engine/change.h"
#include "engine/view.h"
#include "guitest.h"
#include "props/catalogue.h"
#include "ui/customgrid.h"
#include "ui/filelistmodel.h"
#include "ui/propertygrids.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

using namespace qv;
using engine::FileState;

namespace {

std::vector<CustomProperty> customOf(const std::string& path) {
    auto m = engine::ReadMetadata(path);
    return m ? m->custom : std::vector<CustomProperty>{};
}

const CustomProperty* named(const std::vector<CustomProperty>& list, const std::string& name) {
    for (const CustomProperty& p : list)
        if (p.name == name)
            return &p;
    return nullptr;
}

int rowNamed(QTableWidget* t, const QString& name) {
    for (int r = 0; r < t->rowCount(); ++r)
        if (t->item(r, ui::CustomGrid::NameColumn)->text() == name)
            return r;
    return -1;
}

}  // namespace

class CustomTest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::GuiEnvironment> env;

private slots:
    void initTestCase() { env = std::make_unique<test::GuiEnvironment>(); }
    void init() { env->clearSettings(); }
    void cleanupTestCase() { env.reset(); }

    void singlePageShowsEditsAddsAndRemoves() {
        test::TempDir dir;
        const std::string p = dir.copyData("xls_dsi_userdefined.xls");
        test::Window w;
        w.list({p});
        ui::CustomGrid* grid = w.form->singleCustom();
        QTableWidget* t = grid->table();
        QVERIFY(grid->isEnabled());
        QCOMPARE(t->rowCount(), 4);
        const int code = rowNamed(t, "Project Code");
        QVERIFY(code >= 0);
        QCOMPARE(t->item(code, ui::CustomGrid::TypeColumn)->text(), QStringLiteral("数値"));
        QCOMPARE(t->item(code, ui::CustomGrid::ValueColumn)->text(), QStringLiteral("1234"));
        QCOMPARE(t->item(rowNamed(t, "Reviewed"), ui::CustomGrid::ValueColumn)->text(), QStringLiteral("はい"));

        // A value typed over, a row removed, a row added through the buttons.
        t->item(code, ui::CustomGrid::ValueColumn)->setText("2.5");
        t->selectRow(rowNamed(t, "Department"));
        grid->removeButton()->click();
        QCOMPARE(t->rowCount(), 3);
        grid->addButton()->click();
        const int added = t->rowCount() - 1;
        grid->commitEditor();
        t->item(added, ui::CustomGrid::NameColumn)->setText("案件番号");
        grid->setRowType(added, CustomType::Bool);
        QCOMPARE(t->item(added, ui::CustomGrid::ValueColumn)->text(), QStringLiteral("いいえ"));
        t->item(added, ui::CustomGrid::ValueColumn)->setText("はい");
        w.ui().CheckBox5->setChecked(false);
        w.form->BitBtn6Click();
        QCOMPARE(w.form->fileList()->stateAt(0), FileState::Changed);

        const auto custom = customOf(p);
        QCOMPARE(custom.size(), std::size_t{4});
        QVERIFY(!named(custom, "Department"));
        QCOMPARE(named(custom, "Project Code")->value, CustomValue(2.5));
        QCOMPARE(named(custom, "案件番号")->value, CustomValue(true));
        QCOMPARE(named(custom, "Reviewed")->value, CustomValue(true));
        // The view read the file again: the grid shows what was written.
        QCOMPARE(t->rowCount(), 4);

        // A value that is no number fails the change and writes nothing.
        const std::string before = test::readFile(p);
        t->item(rowNamed(t, "Project Code"), ui::CustomGrid::ValueColumn)->setText("abc");
        w.form->BitBtn6Click();
        QCOMPARE(w.form->fileList()->stateAt(0), FileState::ChangeFailed);
        QVERIFY(test::readFile(p) == before);
    }

    void batchEditsReachEveryFileAndAreSaved() {
        test::TempDir dir;
        const std::string a = dir.copyData("xls_dsi_userdefined.xls"), b = dir.copyData("lo_ascii.xlsx");
        test::Window w;
        w.list({a, b});
        for (QCheckBox* box : {w.ui().CheckBox9, w.ui().CheckBox10, w.ui().CheckBox11, w.ui().CheckBox12,
                               w.ui().CheckBox13, w.ui().CheckBox14})
            box->setChecked(false);
        engine::BatchSettings s = w.form->batchSettings();
        s.custom = {{"Client", CustomType::Text, "ACME 東京", false}, {"department", CustomType::Text, {}, true}};
        w.form->setBatchSettings(s);
        QCOMPARE(w.form->batchCustom()->table()->rowCount(), 2);
        QCOMPARE(w.form->batchSettings().custom, s.custom);
        w.form->BitBtn2Click();
        for (const std::string& p : {a, b}) {
            const auto custom = customOf(p);
            QVERIFY(named(custom, "Client"));
            QCOMPARE(named(custom, "Client")->value, CustomValue(std::string("ACME 東京")));
            QVERIFY(!named(custom, "Department"));
        }

        // Saved with the defaults and read back.
        w.form->ToolButton9Click();
        w.form->setBatchSettings(engine::BatchSettings{});
        QCOMPARE(w.form->batchCustom()->table()->rowCount(), 0);
        w.form->ToolButton10Click();
        QCOMPARE(w.form->batchSettings().custom, s.custom);
    }
};

QTEST_MAIN(CustomTest)
#include "tst_custom.moc"
