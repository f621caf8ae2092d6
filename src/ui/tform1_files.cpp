// The file list: adding from the open dialog, from a folder and by drops,
// removing, and the commands that depend on it.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <algorithm>

#include "base/text.h"
#include "engine/filelist.h"
#include "engine/kinds.h"
#include "platform/platform.h"
#include "ui/filelistmodel.h"
#include "ui/prompts.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

namespace qv::ui {

int TForm1::appendPaths(const std::vector<std::string>& paths) { return m_files->append(paths); }

std::vector<std::string> TForm1::documentsIn(const std::string& folder) {
    // A large tree on a shared folder takes a while.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::vector<std::string> found = engine::DocumentsInFolder(folder, m_includeSubfolders);
    QApplication::restoreOverrideCursor();
    return found;
}

void TForm1::enableAfterAdding(bool includeRemoveAllItem) {
    selectRow(m_files->rowCount() - 1);
    m_ui->ToolButton2->setEnabled(true);
    m_ui->ToolButton3->setEnabled(true);
    m_ui->BitBtn2->setEnabled(true);
    m_ui->BitBtn8->setEnabled(true);
    if (includeRemoveAllItem)
        m_ui->RemoveAll1->setEnabled(true);
}

void TForm1::ToolButton1Click() {
    CommitOpenEditors();
    const QStringList chosen = m_prompts->chooseDocuments(this);
    if (chosen.isEmpty())
        return;
    // The dialog's filter is the only extension test here: a file the user
    // typed by name is listed whatever its type.
    std::vector<std::string> paths;
    for (const QString& p : chosen) {
        std::string path = p.toStdString();
        if (engine::FileExistsAsFile(path))
            paths.push_back(std::move(path));
    }
    appendPaths(paths);
    if (m_files->rowCount() > 0)
        enableAfterAdding(true);
}

void TForm1::ToolButton5Click() {
    CommitOpenEditors();
    const std::optional<FolderChoice> folder =
        m_prompts->chooseFolder(this, tr("フォルダを選択してください"), m_includeSubfolders);
    if (!folder)
        return;
    if (folder->includeSubfolders != m_includeSubfolders) {
        m_includeSubfolders = folder->includeSubfolders;
        SaveIncludeSubfolders();
    }
    if (appendPaths(documentsIn(folder->path.toStdString())) > 0) {
        enableAfterAdding(true);
        m_ui->ToolButton5->setEnabled(true);
    }
}

int TForm1::HandleDroppedFiles(const QStringList& dropped) {
    std::vector<std::string> paths;
    for (const QString& p : dropped) {
        std::string path = p.toStdString();
        if (platform::isDirectory(path)) {
            for (std::string& found : documentsIn(path))
                paths.push_back(std::move(found));
        } else if (engine::FileExistsAsFile(path) && engine::IsDocumentCandidate(path)) {
            paths.push_back(std::move(path));
        }
    }
    const int added = appendPaths(paths);
    if (added > 0)
        enableAfterAdding(true);
    return added;
}

std::vector<int> TForm1::selectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& i : m_ui->ListView1->selectionModel()->selectedRows())
        rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TForm1::updateFileCount() {
    if (!m_fileCount)
        return;
    const int n = m_files->rowCount();
    const std::size_t chosen = selectedRows().size();
    m_fileCount->setText(chosen > 1 ? tr("%1 個のファイル（%2 個を選択）").arg(n).arg(chosen)
                                    : tr("%1 個のファイル").arg(n));
}

void TForm1::applyFailedOnly(int first, int last) {
    const bool only = m_failedOnly && m_failedOnly->isChecked();
    if (!only && !m_rowsHidden)
        return;
    if (last < 0 || !only)
        first = 0, last = m_files->rowCount() - 1;
    for (int r = first; r <= last && r < m_files->rowCount(); ++r) {
        const engine::FileState state = m_files->stateAt(r);
        m_ui->ListView1->setRowHidden(
            r, only && state != engine::FileState::ChangeFailed && state != engine::FileState::Unreadable);
    }
    m_rowsHidden = only;
}

void TForm1::ToolButton2Click() {
    CommitOpenEditors();
    const std::vector<int> rows = selectedRows();
    if (rows.empty())
        return;
    // The file shown with edits not saved yet is asked about first.
    for (int r : rows)
        if (m_files->pathAt(r) == m_shownPath && !resolvePendingEdits())
            return;
    m_shownPath.clear();
    m_shownSettings.reset();
    const int first = rows.front();
    for (auto r = rows.rbegin(); r != rows.rend(); ++r)
        m_files->removeAt(*r);
    if (m_files->rowCount() == 0) {
        m_ui->ToolButton3->setEnabled(false);
        m_ui->BitBtn2->setEnabled(false);
        m_ui->BitBtn8->setEnabled(false);
        m_ui->Remove1->setEnabled(false);
        ListView1Change();
    } else {
        selectRow(std::max(0, std::min(first - 1, m_files->rowCount() - 1)));
        m_ui->ToolButton3->setEnabled(true);
        m_ui->BitBtn2->setEnabled(true);
    }
}

void TForm1::ToolButton3Click() {
    CommitOpenEditors();
    if (m_files->rowCount() == 0)
        return;
    if (!m_prompts->confirmRun(this, tr("一覧の %1 個のファイルをすべて一覧から削除しますか？").arg(m_files->rowCount()) +
                                         QLatin1Char('\n') + tr("（ファイルそのものは削除しません）")))
        return;
    if (!m_shownPath.empty() && !resolvePendingEdits())
        return;
    m_shownPath.clear();
    m_shownSettings.reset();
    m_files->removeAll();
    m_ui->ToolButton3->setEnabled(false);
    m_ui->BitBtn2->setEnabled(false);
    m_ui->BitBtn8->setEnabled(false);
    m_ui->RemoveAll1->setEnabled(false);
    // The selection went with the rows.
    ListView1Change();
}

}  // namespace qv::ui
