// The commands that change or export documents, and the saved defaults.
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QSettings>
#include <algorithm>
#include <new>
#include <unordered_map>

#include "engine/change.h"
#include "base/text.h"
#include "engine/csv.h"
#include "engine/csv_import.h"
#include "platform/platform.h"
#include "engine/defaults.h"
#include "props/catalogue.h"
#include "ui/batchconfirm.h"
#include "ui/filelistmodel.h"
#include "ui/importpreview.h"
#include "ui/progressdialogs.h"
#include "ui/prompts.h"
#include "ui/propertygrids.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

namespace qv::ui {

namespace {

// Lets the state icons repaint before the work starts; user input waits.
void repaintNow() { QApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

QString cannotSaveMessage(const QString& path) {
    return path + QLatin1Char('\n') +
           QObject::tr("を保存できません、このファイルを開いている他のアプリケーションを終了してください。");
}

// Names the signed files (the first ten) and asks whether to go on.
QString unsigningQuestion(const std::vector<std::string>& paths) {
    QString text = QObject::tr("次のファイルはデジタル署名されています。変更すると署名が無効になります。") +
                   QStringLiteral("\n\n");
    const std::size_t shown = std::min<std::size_t>(paths.size(), 10);
    for (std::size_t i = 0; i < shown; ++i)
        text += QString::fromStdString(paths[i]) + QLatin1Char('\n');
    if (paths.size() > shown)
        text += QObject::tr("ほか %1 件").arg(paths.size() - shown) + QLatin1Char('\n');
    return text + QLatin1Char('\n') + QObject::tr("署名を無効にして変更しますか？");
}

// The files of a run that ran to its end which were left alone for their
// signature: once the user has seen which, they may be changed after all.
std::vector<std::size_t> signedRefusals(const engine::BatchReport& report) {
    std::vector<std::size_t> out;
    if (report.cancelled || report.stoppedByBackupFailure)
        return out;
    for (std::size_t i = 0; i < report.files.size(); ++i)
        if (report.files[i].state == engine::FileState::ChangeFailed && report.files[i].error.code == ErrorCode::Signed)
            out.push_back(i);
    return out;
}

// A run this long, or over this many files, also ends with a message: the
// user may have looked away.
constexpr qint64 kLongRunMs = 10'000;
constexpr std::size_t kLongRunFiles = 50;

}  // namespace

void TForm1::showRunSummary(const std::vector<int>& rows, qint64 elapsedMs, bool offerMessage) {
    std::size_t changed = 0, failed = 0;
    for (int r : rows) {
        const engine::FileState state = m_files->stateAt(r);
        changed += state == engine::FileState::Changed;
        failed += state == engine::FileState::ChangeFailed;
    }
    const std::size_t same = rows.size() - changed - failed;
    const QString text = tr("%1 件変更、%2 件失敗、%3 件は変更なし").arg(changed).arg(failed).arg(same);
    m_runSummary->setText(text);
    m_runSummary->setToolTip(failed > 0 ? tr("「失敗のみ表示」で失敗したファイルだけを表示できます") : QString());
    if (offerMessage && (elapsedMs >= kLongRunMs || rows.size() >= kLongRunFiles))
        message(text + (failed > 0 ? QLatin1Char('\n') + m_runSummary->toolTip() : QString()));
}

// ---------------------------------------------------------------------------
// Changes

void TForm1::BitBtn6Click() {
    const int row = selectedRow();
    if (row < 0) {
        message(tr("変更したいファイルを選択する!"));
        return;
    }
    runSingleChange(row);
}

bool TForm1::runSingleChange(int row) {
    if (!backupFolderGiven(m_backupSingle, m_ui->CheckBox5->isChecked()))
        return false;
    m_files->setState(row, engine::FileState::Unchanged);
    repaintNow();
    const std::string path = m_files->pathAt(row);
    engine::SingleSettings settings = singleSettings();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    engine::SingleOutcome outcome = engine::RunSingleChange(path, settings);
    QApplication::restoreOverrideCursor();
    std::vector<std::string> journals{outcome.journal};
    // A signed package was left alone; the user may accept breaking its
    // signature once told.
    if (outcome.state == engine::FileState::ChangeFailed && outcome.error.code == ErrorCode::Signed &&
        m_prompts->confirm(this, unsigningQuestion({path}))) {
        settings.allowUnsigning = true;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        outcome = engine::RunSingleChange(path, settings);
        QApplication::restoreOverrideCursor();
        journals.push_back(outcome.journal);
    }
    rememberRun(journals, settings.backupPolicy);
    if (outcome.backupFailed) {
        // The file was not touched and keeps its application's icon.
        message(tr("元のファイルをバックアップする時、エラーが発生しました。") + QLatin1Char('\n') +
                tr("このファイルは他のアプリケーションで開けないよにしてください。") + QLatin1Char('\n') +
                QString::fromStdString(path));
        return false;
    }
    m_files->setState(row, outcome.state,
                      outcome.state == engine::FileState::ChangeFailed ? FileListModel::reasonFor(outcome.error)
                                                                       : QString());
    showRunSummary({row}, 0, false);
    if (outcome.state == engine::FileState::ChangeFailed)
        return false;
    rememberSingleShown(path);
    return true;
}

void TForm1::BitBtn2Click() {
    if (m_files->rowCount() == 0) {
        message(tr("変更したいファイルを選択する!"));
        return;
    }
    engine::BatchSettings settings = batchSettings();
    if (!engine::HasBatchWork(settings)) {
        message(tr("変更したいファイル属性を設定する.") + QLatin1Char('\n') +
                tr("変更したいファイル属性を選択してください!"));
        return;
    }
    if (!backupFolderGiven(m_backupBatch, settings.backup))
        return;
    // A pattern or replacement with a fault is refused before anything runs.
    {
        engine::BatchSettings made = settings;
        made.custom.clear();
        for (int row = 0; row < kRowCount; ++row)
            if (!engine::ValuePattern::looksLikePattern(made.values[static_cast<std::size_t>(row)]))
                made.ticked.reset(static_cast<std::size_t>(row));
        if (auto change = engine::ToBatchChange(made); !change) {
            message(tr("パターンまたは置換に誤りがあります。") + QLatin1Char('\n') +
                    PatternFaultText(change.error().message));
            return;
        }
    }
    // The run shows the first file anew: pending single edits are settled first.
    if (!resolvePendingEdits() ||
        !m_prompts->confirmRun(this, BatchConfirmText(settings, static_cast<std::size_t>(m_files->rowCount()),
                                                      m_files->files().paths())))
        return;
    m_files->setAllStates(engine::FileState::Unchanged);
    repaintNow();
    QElapsedTimer clock;
    clock.start();
    const std::vector<std::string> paths = m_files->files().paths();
    auto run = [this, &settings](const std::vector<std::string>& files, const std::vector<std::size_t>& rows) {
        auto show = [this, &rows](std::size_t index, const engine::FileResult& result) {
            m_files->setState(static_cast<int>(rows[index]), result.state,
                              result.state == engine::FileState::ChangeFailed ? FileListModel::reasonFor(result.error)
                                                                              : QString());
        };
        if (m_batchProgress)
            return m_batchProgress->run(files, settings, show);
        engine::BatchReport report = engine::RunBatch(files, settings);
        for (std::size_t i = 0; i < report.files.size(); ++i)
            show(i, report.files[i]);
        return report;
    };
    std::vector<std::size_t> rows(paths.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = i;
    const engine::BatchReport report = run(paths, rows);
    std::vector<std::string> journals{report.journal};
    const std::vector<std::size_t> signedRows = signedRefusals(report);
    std::vector<std::string> signedPaths;
    for (std::size_t i : signedRows)
        signedPaths.push_back(paths[i]);
    if (!signedRows.empty() && m_prompts->confirm(this, unsigningQuestion(signedPaths))) {
        settings.allowUnsigning = true;
        journals.push_back(run(signedPaths, signedRows).journal);
    }
    rememberRun(journals, settings.backupPolicy);
    reselectFirst();
    std::vector<int> all(rows.begin(), rows.end());
    showRunSummary(all, clock.elapsed());
}

// ---------------------------------------------------------------------------
// Changes from a CSV

void TForm1::ImportCsvClick() {
    CommitOpenEditors();
    if (!backupFolderGiven(m_backupBatch, m_ui->CheckBox4->isChecked()))
        return;
    const std::optional<QString> csv = m_prompts->chooseImportCsv(this);
    if (!csv)
        return;
    // A CSV too large for this machine's memory ends the import with a word,
    // before anything is written.
    try {
        importCsv(*csv);
    } catch (const std::bad_alloc&) {
        QApplication::restoreOverrideCursor();
        message(tr("メモリが足りないため、CSVからの変更を中止しました。ファイルは変更していません。"));
    }
}

void TForm1::importCsv(const QString& csv) {
    const std::string csvPath = csv.toStdString();
    const Result<engine::CsvText> text = engine::ReadCsvFile(csvPath, engine::CsvInputEncoding::Auto);
    if (!text) {
        QString why = FileListModel::reasonFor(text.error());
        if (text.error().code == ErrorCode::TooLarge)
            why = tr("CSVが大きすぎます（%1 MiB まで読み込めます）。分けてください。")
                      .arg(engine::kMaxImportCsvBytes >> 20);
        else if (text.error().code == ErrorCode::ConversionFailed)
            why = tr("Shift-JIS でも UTF-8 でもない文字があります。");
        message(tr("CSVファイルを読み込めません。") + QLatin1Char('\n') + csv + QLatin1Char('\n') + why);
        return;
    }
    const std::string csvFolder = text::directoryPart(csvPath);
    const engine::ImportTable table = engine::ReadImportTable(*text, csvFolder.empty() ? std::string(".") : csvFolder);
    // Every error at once, each with its line, column and head.
    auto refuse = [this](const std::vector<engine::ImportIssue>& issues) {
        QStringList list;
        for (const engine::ImportIssue& issue : issues)
            list.append(IssueText(issue));
        m_prompts->showIssues(this, tr("CSVに %1 件のエラーがあるため、何も変更しません。").arg(issues.size()), list);
    };
    if (!table.issues.empty()) {
        refuse(table.issues);
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const engine::ImportPlan plan = engine::PlanImport(table);
    QApplication::restoreOverrideCursor();
    if (!plan.errors.empty()) {
        refuse(plan.errors);
        return;
    }
    if (plan.files.empty() && plan.skipped.empty()) {
        message(tr("CSVの値はファイルと同じです。変更する項目はありません。"));
        return;
    }
    const std::optional<std::vector<std::vector<bool>>> ticks = m_prompts->previewImport(this, plan);
    if (!ticks)
        return;
    const engine::ImportPlan chosen = engine::ChooseItems(plan, *ticks);
    if (chosen.files.empty() || !resolvePendingEdits())
        return;

    // The changed files are listed, so their icons tell how each went.
    std::vector<std::string> paths;
    for (const engine::FileImport& f : chosen.files)
        paths.push_back(f.path);
    appendPaths(paths);
    enableAfterAdding(true);
    std::unordered_map<std::string, int> rowOf;
    for (int r = 0; r < m_files->rowCount(); ++r)
        rowOf.emplace(m_files->pathAt(r), r);
    for (const std::string& p : paths)
        m_files->setState(rowOf[p], engine::FileState::Unchanged);
    repaintNow();
    QElapsedTimer clock;
    clock.start();
    const engine::BatchSettings page = batchSettings();
    const bool backup = page.backup;
    const engine::BackupPolicy& policy = page.backupPolicy;
    auto run = [&](const engine::ImportPlan& which, bool allowUnsigning) {
        auto show = [&](std::size_t index, const engine::FileResult& result) {
            m_files->setState(rowOf[which.files[index].path], result.state,
                              result.state == engine::FileState::ChangeFailed ? FileListModel::reasonFor(result.error)
                                                                              : QString());
        };
        if (m_batchProgress)
            return m_batchProgress->runImport(which, backup, allowUnsigning, policy, show);
        engine::BatchReport report = engine::RunImport(which, backup, allowUnsigning, {}, policy);
        for (std::size_t i = 0; i < report.files.size(); ++i)
            show(i, report.files[i]);
        return report;
    };
    const engine::BatchReport report = run(chosen, false);
    std::vector<std::string> journals{report.journal};
    engine::ImportPlan signedFiles;
    std::vector<std::string> signedPaths;
    for (std::size_t i : signedRefusals(report)) {
        signedFiles.files.push_back(chosen.files[i]);
        signedPaths.push_back(chosen.files[i].path);
    }
    if (!signedFiles.files.empty() && m_prompts->confirm(this, unsigningQuestion(signedPaths)))
        journals.push_back(run(signedFiles, true).journal);
    rememberRun(journals, policy);
    reselectFirst();
    std::vector<int> changedRows;
    for (const std::string& p : paths)
        changedRows.push_back(rowOf[p]);
    showRunSummary(changedRows, clock.elapsed());
}

// ---------------------------------------------------------------------------
// CSV export

void TForm1::BitBtn8Click() {
    if (m_files->rowCount() == 0) {
        message(tr("プロパティをCSVに出力するファイルを選択してください。"));
        return;
    }
    const std::optional<CsvTarget> target = m_prompts->chooseCsvFile(this);
    if (!target)
        return;
    // The last run's results stay on show: an export changes no file.
    const std::vector<std::string> paths = m_files->files().paths();
    auto exportAs = [&](engine::CsvEncoding encoding) {
        return m_csvProgress ? m_csvProgress->run(paths, target->path, encoding, target->withCustom)
                             : engine::RunExport(paths, target->path.toStdString(), encoding, {}, target->withCustom);
    };
    engine::ExportReport report = exportAs(target->encoding);
    if (!report.cancelled && !report.written)
        message(cannotSaveMessage(target->path));
    else if (report.written && offerUtf8(report.loss))
        if (report = exportAs(engine::CsvEncoding::Utf8); !report.cancelled && !report.written)
            message(cannotSaveMessage(target->path));
    reselectFirst();
}

bool TForm1::offerUtf8(const engine::ExportLoss& loss) {
    if (!loss.any())
        return false;
    QString what = tr("%1 個のファイルの %2 個の値").arg(loss.files.size()).arg(loss.values());
    if (loss.names > 0)
        what = loss.files.empty() ? tr("%1 個のユーザー設定のプロパティ名").arg(loss.names)
                                  : what + tr("と %1 個のユーザー設定のプロパティ名").arg(loss.names);
    return m_prompts->confirm(
        this, what + tr("に Shift-JIS で書けない文字があり、「?」で出力しました。このCSVから変更すると、その値は"
                        "そのまま残ります。") +
                  QLatin1Char('\n') + tr("UTF-8 で出力し直しますか？"));
}

void TForm1::BitBtn9Click() {
    const int row = selectedRow();
    if (row < 0)
        return;
    const std::optional<CsvTarget> target = m_prompts->chooseCsvFile(this);
    if (!target)
        return;
    auto exportAs = [&](engine::CsvEncoding encoding) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        engine::ExportReport report =
            engine::RunExport({m_files->pathAt(row)}, target->path.toStdString(), encoding, {}, target->withCustom);
        QApplication::restoreOverrideCursor();
        if (!report.written)
            message(cannotSaveMessage(target->path));
        return report;
    };
    if (const engine::ExportReport report = exportAs(target->encoding); report.written && offerUtf8(report.loss))
        exportAs(engine::CsvEncoding::Utf8);
}

// ---------------------------------------------------------------------------
// Saved defaults

std::unique_ptr<QSettings> TForm1::openDefaultsStore() {
    // HKEY_CURRENT_USER\SOFTWARE\Norvane\QuorvixJP on Windows; the user's
    // settings file elsewhere.
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Norvane"),
                                       QStringLiteral("QuorvixJP"));
}

void TForm1::ToolButton9Click() {
    CommitOpenEditors();
    SaveDefaults();
}

void TForm1::ToolButton10Click() {
    CommitOpenEditors();
    LoadDefaults();
}

void TForm1::SaveDefaults() {
    std::unique_ptr<QSettings> store = openDefaultsStore();
    if (!store->isWritable() || store->status() == QSettings::AccessError)
        return;
    for (const engine::NamedText& v : engine::EncodeDefaults(batchSettings())) {
        const QString name = QString::fromStdString(v.name);
        store->setValue(name, QString::fromStdString(v.text));
        store->sync();
        if (store->status() != QSettings::NoError) {
            message(tr("既定の設定「%1」を保存できませんでした。").arg(name));
            return;
        }
    }
}

namespace {
// The folder chooser's check box, kept beside the batch page's defaults.
const QString kSubfoldersName = QStringLiteral("subfolders");
}  // namespace

void TForm1::SaveIncludeSubfolders() {
    std::unique_ptr<QSettings> store = openDefaultsStore();
    if (!store->isWritable() || store->status() == QSettings::AccessError)
        return;
    store->setValue(kSubfoldersName, m_includeSubfolders ? QStringLiteral("1") : QStringLiteral("0"));
}

void TForm1::LoadDefaults() {
    std::unique_ptr<QSettings> store = openDefaultsStore();
    if (store->status() != QSettings::NoError)
        return;
    if (const QVariant v = store->value(kSubfoldersName); v.typeId() == QMetaType::QString)
        m_includeSubfolders = v.toString() == QStringLiteral("1");
    const engine::DefaultsImport imported = engine::DecodeDefaults(
        batchSettings(),
        [&store](const std::string& name) {
            const QVariant v = store->value(QString::fromStdString(name));
            if (!v.isValid())
                return engine::StoredValue::missing();
            if (v.typeId() != QMetaType::QString)
                return engine::StoredValue::otherType();
            return engine::StoredValue::of(v.toString().toStdString());
        },
        NowLocal());
    setBatchSettings(imported.settings);
    if (imported.wrongType)
        message(tr("保存された既定の設定「%1」の種類が正しくないため、読み込みませんでした。")
                    .arg(QString::fromStdString(*imported.wrongType)));
}

void TForm1::ToolButton12Click() {
    CommitOpenEditors();
    if (selectedRow() < 0)
        return;
    m_grids->setValues(m_ui->ListView2, m_grids->values(m_ui->ListView3));
    const std::pair<DateTimePicker*, DateTimePicker*> pickers[] = {
        {m_ui->DateTimePicker9, m_ui->DateTimePicker1},   {m_ui->DateTimePicker10, m_ui->DateTimePicker2},
        {m_ui->DateTimePicker11, m_ui->DateTimePicker3},  {m_ui->DateTimePicker12, m_ui->DateTimePicker4},
        {m_ui->DateTimePicker13, m_ui->DateTimePicker5},  {m_ui->DateTimePicker14, m_ui->DateTimePicker6},
    };
    for (const auto& [from, to] : pickers)
        to->setValue(from->value());
    // A grey box of the single page gives an unticked batch box.
    const std::pair<QCheckBox*, QCheckBox*> boxes[] = {
        {m_ui->CheckBox16, m_ui->CheckBox1},
        {m_ui->CheckBox17, m_ui->CheckBox2},
        {m_ui->CheckBox18, m_ui->CheckBox3},
        {m_ui->CheckBox23, m_ui->CheckBox8},
    };
    for (const auto& [from, to] : boxes)
        to->setCheckState(from->checkState() == Qt::Checked ? Qt::Checked : Qt::Unchecked);
}

}  // namespace qv::ui
