// Personal data before a delivery: what the listed documents give away, and
// the scrub that removes it, in place (backed up, journalled, undoable) or
// into delivery copies that leave the originals as they were.
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <algorithm>
#include <map>

#include "base/text.h"
#include "engine/audit.h"
#include "engine/scrub.h"
#include "platform/platform.h"
#include "ui/backupchoice.h"
#include "ui/filelistmodel.h"
#include "ui/progressdialogs.h"
#include "ui/prompts.h"
#include "ui/scrubwindow.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

namespace qv::ui {

namespace {

// The folder every listed file lies in, so that delivery copies keep the
// tree below it.
std::string commonFolder(const std::vector<std::string>& paths) {
    if (paths.empty())
        return {};
    std::string common = text::directoryPart(paths.front());
    for (const std::string& p : paths) {
        while (!common.empty() && !(text::startsWith(p, common) &&
                                    (p.size() == common.size() || common.back() == '/' || common.back() == '\\' ||
                                     p[common.size()] == '/' || p[common.size()] == '\\')))
            common = text::directoryPart(common.substr(0, common.find_last_not_of("/\\") + 1));
    }
    return common;
}

std::string relativeTo(const std::string& path, const std::string& folder) {
    std::string rest = path.substr(std::min(folder.size(), path.size()));
    const std::size_t start = rest.find_first_not_of("/\\");
    return start == std::string::npos ? text::fileNamePart(path) : rest.substr(start);
}

// "作成者、会社名、テンプレート" for the first findings of a file.
QString findingsText(const std::vector<engine::AuditItem>& items) {
    QStringList names;
    for (const engine::AuditItem& item : items) {
        const QString label = item.key == "custom" ? QObject::tr("ユーザー設定のプロパティ") : AuditItemLabel(item);
        if (!names.contains(label))
            names.append(label);
    }
    return names.join(QStringLiteral("、"));
}

}  // namespace

void TForm1::AuditClick() {
    CommitOpenEditors();
    if (m_files->rowCount() == 0) {
        message(tr("確認するファイルを一覧に追加してください。"));
        return;
    }
    std::vector<engine::FileAudit> audits;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    for (const std::string& path : m_files->files().paths())
        audits.push_back(engine::AuditFile(path));
    QApplication::restoreOverrideCursor();
    m_prompts->showAudit(this, audits);
}

void TForm1::ScrubClick(bool delivery) {
    CommitOpenEditors();
    if (m_files->rowCount() == 0) {
        message(tr("個人情報を削除するファイルを一覧に追加してください。"));
        return;
    }
    const bool backup = !delivery && m_ui->CheckBox4->isChecked();
    if (!backupFolderGiven(m_backupBatch, backup))
        return;
    const std::optional<ScrubChoice> choice = m_prompts->chooseScrub(this, delivery);
    if (!choice || !resolvePendingEdits())
        return;
    const std::vector<std::string> paths = m_files->files().paths();
    const std::string root = commonFolder(paths);
    std::vector<engine::ScrubInput> inputs;
    for (const std::string& p : paths)
        inputs.push_back({p, relativeTo(p, root)});
    engine::ScrubSettings settings;
    settings.selection = choice->selection;
    settings.backup = backup;
    settings.backupPolicy = m_backupBatch->policy();
    if (delivery) {
        settings.outFolder = choice->outFolder.toStdString();
        settings.overwrite = choice->overwrite;
        // The copies never join the tree they are made from.
        if (const Status st = engine::CheckDeliveryFolder(settings.outFolder, {root}); !st) {
            message(tr("コピーの作成先は、一覧のファイルがあるフォルダー（%1）の外にしてください。")
                        .arg(QString::fromStdString(root)));
            return;
        }
    }

    // What it would do, before anything is written.
    engine::ScrubSettings preview = settings;
    preview.dryRun = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const engine::ScrubReport planned = engine::RunScrub(inputs, preview);
    QApplication::restoreOverrideCursor();
    std::size_t withFindings = 0, refused = 0;
    QString list;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const engine::FileResult& f = planned.batch.files[i];
        if (f.state == engine::FileState::ChangeFailed) {
            ++refused;
            continue;
        }
        if (planned.files[i].removed.empty())
            continue;
        if (++withFindings <= 10)
            list += QString::fromStdString(text::fileNamePart(inputs[i].path)) + QStringLiteral("：") +
                    findingsText(planned.files[i].removed) + QLatin1Char('\n');
    }
    if (withFindings > 10)
        list += tr("ほか %1 件").arg(withFindings - 10) + QLatin1Char('\n');
    QString text = delivery ? tr("%1 個のファイルのコピーを次のフォルダーに作成します。").arg(inputs.size()) +
                                  QLatin1Char('\n') + choice->outFolder + QLatin1Char('\n')
                            : QString();
    text += tr("%1 個のファイルから削除します。").arg(withFindings) + QLatin1Char('\n') + list;
    if (refused > 0)
        text += tr("%1 個のファイルは変更できません（暗号化、破損、署名など）。個人情報が残ります。").arg(refused) +
                QLatin1Char('\n');
    if (!delivery)
        text += backup ? tr("変更する前にバックアップします。") : tr("バックアップしません。");
    if (!m_prompts->confirmRun(this, text.trimmed()))
        return;

    m_files->setAllStates(engine::FileState::Unchanged);
    QElapsedTimer clock;
    clock.start();
    auto show = [this, delivery](std::size_t index, const engine::FileResult& result) {
        // A copy leaves its original as it was: only a failure marks the row.
        m_files->setState(static_cast<int>(index),
                          result.state == engine::FileState::ChangeFailed || !delivery ? result.state
                                                                                        : engine::FileState::Unchanged,
                          result.state == engine::FileState::ChangeFailed ? FileListModel::reasonFor(result.error)
                                                                          : QString());
    };
    engine::ScrubReport report;
    if (m_batchProgress) {
        report = m_batchProgress->runScrub(inputs, settings, show);
    } else {
        report = engine::RunScrub(inputs, settings);
        for (std::size_t i = 0; i < report.batch.files.size(); ++i)
            show(i, report.batch.files[i]);
    }
    if (!delivery)
        rememberRun({report.batch.journal}, settings.backupPolicy);
    reselectFirst();
    std::vector<int> rows(static_cast<std::size_t>(m_files->rowCount()));
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = static_cast<int>(i);
    if (!delivery) {
        showRunSummary(rows, clock.elapsed());
        return;
    }
    std::size_t made = 0, failed = 0;
    for (const engine::FileResult& f : report.batch.files) {
        made += f.state == engine::FileState::Changed;
        failed += f.state == engine::FileState::ChangeFailed;
    }
    const QString summary = tr("%1 件のコピーを作成、%2 件失敗").arg(made).arg(failed);
    m_runSummary->setText(summary);
    message(summary + QLatin1Char('\n') + choice->outFolder +
            (failed > 0 ? QLatin1Char('\n') + tr("失敗したファイルは「失敗のみ表示」で確認できます。") : QString()));
}

}  // namespace qv::ui
