#include "ui/progressdialogs.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include "ui/appearance.h"
#include "ui_tform7.h"
#include "ui_tform9.h"

namespace qv::ui {

RunProgressDialog::RunProgressDialog(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::CustomizeWindowHint);
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(100);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &RunProgressDialog::Timer1Timer);
}

void RunProgressDialog::bind(QLabel* label1, QLabel* label2, QProgressBar* bar, QPushButton* cancel) {
    m_label1 = label1;
    m_label2 = label2;
    m_bar = bar;
    connect(cancel, &QPushButton::clicked, this, &RunProgressDialog::Button1Click);
}

void RunProgressDialog::Button1Click() { m_stop = true; }

void RunProgressDialog::reject() {
    if (m_running)
        Button1Click();
    else
        QDialog::reject();
}

void RunProgressDialog::closeEvent(QCloseEvent* event) {
    if (m_running) {
        // The window closes by itself once the current file is finished.
        Button1Click();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void RunProgressDialog::showPath(const QString& path) {
    m_label1->setToolTip(path);
    m_label1->setText(m_label1->fontMetrics().elidedText(path, Qt::ElideMiddle, m_label1->width()));
}

void RunProgressDialog::showPercent(int percent) {
    m_bar->setValue(percent);
    m_label2->setText(QStringLiteral("%1%").arg(percent));
}

void RunProgressDialog::runModal(std::function<void(const engine::RunCallbacks&)> work, FileDone onFileDone) {
    m_work = std::move(work);
    m_onFileDone = std::move(onFileDone);
    m_stop = false;
    m_label1->clear();
    m_label1->setToolTip(QString());
    showPercent(0);
    m_running = true;
    m_timer->start();
    centreOnScreen(this);
    exec();
    m_work = nullptr;
    m_onFileDone = nullptr;
}

void RunProgressDialog::Timer1Timer() {
    engine::RunCallbacks callbacks;
    callbacks.fileStarted = [this](std::size_t, const std::string& path) {
        QMetaObject::invokeMethod(
            this, [this, p = QString::fromStdString(path)] { showPath(p); }, Qt::QueuedConnection);
    };
    // Blocking, so the file list shows each outcome before the next file
    // starts and a cancel given in answer to it is seen before that file.
    callbacks.fileFinished = [this](std::size_t index, const engine::FileResult& result, int percent) {
        QMetaObject::invokeMethod(
            this,
            [this, index, &result, percent] {
                if (m_onFileDone)
                    m_onFileDone(index, result);
                showPercent(percent);
                emit fileDone(static_cast<int>(index));
            },
            Qt::BlockingQueuedConnection);
    };
    callbacks.cancelRequested = [this] { return m_stop.load(); };

    QThread* worker = QThread::create([work = m_work, callbacks] { work(callbacks); });
    connect(worker, &QThread::finished, this, [this, worker] {
        worker->wait();
        worker->deleteLater();
        m_bar->setValue(100);
        QTimer::singleShot(100, this, [this] {
            m_stop = false;
            m_running = false;
            accept();
        });
    });
    worker->start();
}

TForm7::TForm7(QWidget* parent) : RunProgressDialog(parent), m_ui(std::make_unique<Ui::TForm7>()) {
    m_ui->setupUi(this);
    bind(m_ui->Label1, m_ui->Label2, m_ui->ProgressBar1, m_ui->Button1);
}

TForm7::~TForm7() = default;

engine::BatchReport TForm7::run(const std::vector<std::string>& paths, const engine::BatchSettings& settings,
                                FileDone onFileDone) {
    engine::BatchReport report;
    runModal([&](const engine::RunCallbacks& callbacks) { report = engine::RunBatch(paths, settings, callbacks); },
             std::move(onFileDone));
    return report;
}

engine::BatchReport TForm7::runImport(const engine::ImportPlan& plan, bool backup, bool allowUnsigning,
                                      const engine::BackupPolicy& policy, FileDone onFileDone) {
    engine::BatchReport report;
    runModal([&](const engine::RunCallbacks& callbacks) {
        report = engine::RunImport(plan, backup, allowUnsigning, callbacks, policy);
    }, std::move(onFileDone));
    return report;
}

engine::BatchReport TForm7::runRestore(const std::vector<engine::JournalEntry>& entries,
                                       const engine::BackupPolicy& policy, FileDone onFileDone) {
    engine::BatchReport report;
    runModal([&](const engine::RunCallbacks& callbacks) {
        report = engine::RestoreEntries(entries, false, policy, callbacks);
    }, std::move(onFileDone));
    return report;
}

engine::ScrubReport TForm7::runScrub(const std::vector<engine::ScrubInput>& inputs,
                                     const engine::ScrubSettings& settings, FileDone onFileDone) {
    engine::ScrubReport report;
    runModal([&](const engine::RunCallbacks& callbacks) { report = engine::RunScrub(inputs, settings, callbacks); },
             std::move(onFileDone));
    return report;
}

TForm9::TForm9(QWidget* parent) : RunProgressDialog(parent), m_ui(std::make_unique<Ui::TForm9>()) {
    m_ui->setupUi(this);
    bind(m_ui->Label1, m_ui->Label2, m_ui->ProgressBar1, m_ui->Button1);
}

TForm9::~TForm9() = default;

engine::ExportReport TForm9::run(const std::vector<std::string>& paths, const QString& csvPath,
                                 engine::CsvEncoding encoding, bool withCustom) {
    m_exportFileName = csvPath;
    engine::ExportReport report;
    const std::string target = csvPath.toStdString();
    runModal([&](const engine::RunCallbacks& callbacks) {
        report = engine::RunExport(paths, target, encoding, callbacks, withCustom);
    }, nullptr);
    return report;
}

}  // namespace qv::ui
