// The single-file view: whenever the file list's selection changes, the
// single page shows the selected document, read through the engine.
#include <QAction>
#include <QLabel>
#include <QStatusBar>
#include <exception>

#include "base/text.h"
#include "engine/view.h"
#include "ui/filelistmodel.h"
#include "ui/customgrid.h"
#include "ui/propertygrids.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

namespace qv::ui {

void TForm1::ListView1Change() {
    // A change raised while the view is running is dropped, not queued.
    if (m_busy)
        return;
    m_busy = true;
    const int row = selectedRow();
    // Edits the user keeps (キャンセル or a failed save) keep their file selected.
    if (!m_shownPath.empty() && (row < 0 || m_files->pathAt(row) != m_shownPath) && !resolvePendingEdits()) {
        for (int r = 0; r < m_files->rowCount(); ++r)
            if (m_files->pathAt(r) == m_shownPath)
                selectRow(r);
        m_busy = false;
        return;
    }
    if (row < 0) {
        m_grids->setValues(m_ui->ListView3, RowTexts{});
        m_customSingle->setProperties({});
        for (QWidget* w : std::initializer_list<QWidget*>{m_ui->BitBtn6, m_ui->BitBtn9, m_ui->GroupBox3,
                                                          m_ui->GroupBox1, m_ui->ToolButton2, m_ui->ToolButton12,
                                                          m_customSingle})
            w->setEnabled(false);
        m_ui->Remove1->setEnabled(false);
    } else {
        // Losing the selection later leaves the batch page's buttons as
        // they are; only the list's emptiness disables those.
        for (QWidget* w : std::initializer_list<QWidget*>{m_ui->ToolButton2, m_ui->BitBtn6, m_ui->BitBtn9,
                                                          m_ui->BitBtn2, m_ui->BitBtn8, m_ui->GroupBox3,
                                                          m_ui->GroupBox1, m_ui->ToolButton12, m_customSingle,
                                                          m_ui->ListView3})
            w->setEnabled(true);
        m_ui->Remove1->setEnabled(true);
        const std::string path = m_files->pathAt(row);
        bool ok = false;
        m_viewReason.clear();
        if (!path.empty()) {
            try {
                ok = LoadSingleFileView(path);
            } catch (const std::exception&) {
                ok = false;
            }
        }
        if (!ok)
            m_files->setState(row, engine::FileState::Unreadable, m_viewReason);
        else if (m_files->stateAt(row) == engine::FileState::Unreadable)
            m_files->setState(row, engine::FileState::Unchanged);
        showSingleFile(path, ok);
    }
    if (row < 0)
        showSingleFile({}, false);
    rememberSingleShown(row >= 0 ? m_files->pathAt(row) : std::string());
    showSelectedReason();
    m_busy = false;
}

void TForm1::showSingleFile(const std::string& path, bool readable) {
    if (path.empty()) {
        m_shownFile->setText(tr("ファイルが選択されていません"));
        m_shownFile->setToolTip(QString());
    } else {
        const QString name = QString::fromStdString(text::fileNamePart(path));
        m_shownFile->setText(readable ? name : name + QStringLiteral(" — ") + tr("読み込めません"));
        m_shownFile->setToolTip(readable ? QString::fromStdString(path)
                                         : QString::fromStdString(path) + QLatin1Char('\n') + m_viewReason);
    }
    m_shownFile->setEnabled(readable);
    if (readable || path.empty())
        return;
    // Nothing of another file stays on show, and nothing can be written to
    // a file that couldn't be read.
    m_grids->setValues(m_ui->ListView3, RowTexts{});
    m_customSingle->setProperties({});
    for (QWidget* w : std::initializer_list<QWidget*>{m_ui->BitBtn6, m_ui->GroupBox3, m_ui->GroupBox1,
                                                      m_ui->ToolButton12, m_customSingle, m_ui->ListView3})
        w->setEnabled(false);
}

// The reason a selected file could not be read or changed stays in the
// status bar while it is selected: a tooltip alone is easy to miss.
void TForm1::showSelectedReason() {
    const int row = selectedRow();
    QString reason = row < 0 ? QString() : m_files->reasonAt(row);
    if (reason.isEmpty()) {
        m_ui->StatusBar1->clearMessage();
        return;
    }
    reason.replace(QLatin1Char('\n'), QStringLiteral("  "));
    m_ui->StatusBar1->showMessage(reason);
}

bool TForm1::LoadSingleFileView(const std::string& path) {
    const engine::FileView view = engine::LoadSingleFileView(path);
    m_viewReason = view.ok ? QString() : FileListModel::reasonFor(view.error);
    if (!view.found)
        return false;
    if (view.stamp) {
        m_ui->DateTimePicker9->setValue(view.creation);
        m_ui->DateTimePicker10->setValue(view.creation);
        m_ui->DateTimePicker11->setValue(view.lastWrite);
        m_ui->DateTimePicker12->setValue(view.lastWrite);
        // A last-access time of zero (or one before 1904) keeps what the
        // pickers showed.
        if (view.lastAccessShown) {
            m_ui->DateTimePicker13->setValue(view.lastAccess);
            m_ui->DateTimePicker14->setValue(view.lastAccess);
        }
        const std::uint32_t a = view.stamp->Attributes;
        m_ui->CheckBox16->setCheckState((a & kAttrReadOnly) ? Qt::Checked : Qt::Unchecked);
        m_ui->CheckBox17->setCheckState((a & kAttrArchive) ? Qt::Checked : Qt::Unchecked);
        m_ui->CheckBox18->setCheckState((a & kAttrHidden) ? Qt::Checked : Qt::Unchecked);
        m_ui->CheckBox23->setCheckState((a & kAttrSystem) ? Qt::Checked : Qt::Unchecked);
    }
    // A package that can't be read leaves the rows as they were; its
    // user-defined grid is emptied, so a change removes nothing it never showed.
    if (view.propertiesRead)
        m_grids->setValues(m_ui->ListView3, DisplayTexts(view.metadata));
    m_customSingle->setProperties(view.propertiesRead ? view.metadata.custom : std::vector<CustomProperty>());
    return view.ok;
}

}  // namespace qv::ui
