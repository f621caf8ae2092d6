// Edits on the single page that are not written yet: a mark on its tab, and
// a question before another file or closing the window would drop them.
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QTableWidget>
#include <QTimer>

#include "ui/customgrid.h"
#include "ui/datetimepicker.h"
#include "ui/filelistmodel.h"
#include "ui/propertygrids.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

namespace qv::ui {

namespace {

// Only what a change writes to the file counts; the backup choice doesn't.
bool sameEdits(const engine::SingleSettings& a, const engine::SingleSettings& b) {
    if (a.values != b.values || a.creationDate != b.creationDate || a.creationTime != b.creationTime ||
        a.lastWriteDate != b.lastWriteDate || a.lastWriteTime != b.lastWriteTime ||
        a.lastAccessDate != b.lastAccessDate || a.lastAccessTime != b.lastAccessTime ||
        a.attributes != b.attributes || a.custom.size() != b.custom.size())
        return false;
    for (std::size_t i = 0; i < a.custom.size(); ++i)
        if (a.custom[i].name != b.custom[i].name || a.custom[i].type != b.custom[i].type ||
            a.custom[i].value != b.custom[i].value)
            return false;
    return true;
}

}  // namespace

bool TForm1::singlePageModified() const {
    return m_shownSettings && !m_shownPath.empty() && !sameEdits(*m_shownSettings, singleSettings());
}

void TForm1::rememberSingleShown(const std::string& path) {
    m_shownPath = path;
    m_shownSettings = singleSettings();
    updateModifiedMark();
}

void TForm1::watchSingleEdits() {
    auto mark = [this] { scheduleModifiedMark(); };
    connect(m_ui->ListView3, &QTableWidget::itemChanged, this, mark);
    QAbstractItemModel* custom = m_customSingle->table()->model();
    connect(custom, &QAbstractItemModel::dataChanged, this, mark);
    connect(custom, &QAbstractItemModel::rowsInserted, this, mark);
    connect(custom, &QAbstractItemModel::rowsRemoved, this, mark);
    for (DateTimePicker* p : {m_ui->DateTimePicker9, m_ui->DateTimePicker10, m_ui->DateTimePicker11,
                              m_ui->DateTimePicker12, m_ui->DateTimePicker13, m_ui->DateTimePicker14})
        connect(p, &DateTimePicker::valueEdited, this, mark);
    for (QCheckBox* b : {m_ui->CheckBox16, m_ui->CheckBox17, m_ui->CheckBox18, m_ui->CheckBox23})
        connect(b, &QCheckBox::stateChanged, this, mark);
}

// Later, once: a grid row being built is not whole yet when it signals.
void TForm1::scheduleModifiedMark() {
    if (m_markPending)
        return;
    m_markPending = true;
    QTimer::singleShot(0, this, [this] {
        m_markPending = false;
        updateModifiedMark();
    });
}

void TForm1::updateModifiedMark() {
    const int tab = m_ui->PageControl1->indexOf(m_ui->TabSheet2);
    const QString base = tr("単一変更");
    m_ui->PageControl1->setTabText(tab, singlePageModified() ? base + QStringLiteral(" *") : base);
}

bool TForm1::resolvePendingEdits() {
    m_grids->CommitOpenEditors();
    m_customSingle->commitEditor();
    if (!singlePageModified())
        return true;
    int row = -1;
    for (int r = 0; r < m_files->rowCount() && row < 0; ++r)
        if (m_files->pathAt(r) == m_shownPath)
            row = r;
    // The file left the list: there is nothing to save it to.
    if (row < 0)
        return true;
    const QString name = QFileInfo(QString::fromStdString(m_shownPath)).fileName();
    switch (m_prompts->askSave(this, tr("変更を保存しますか？") + QLatin1Char('\n') + name)) {
    case SaveAnswer::Save:
        return runSingleChange(row);
    case SaveAnswer::Discard:
        m_shownSettings = singleSettings();
        updateModifiedMark();
        return true;
    case SaveAnswer::Cancel:
        break;
    }
    return false;
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (!resolvePendingEdits()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

}  // namespace qv::ui
