#include "ui/tform1.h"

#include <QCheckBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QShowEvent>
#include <QUrl>

#include "platform/platform.h"
#include "props/catalogue.h"
#include "ui/appearance.h"
#include "ui/backupchoice.h"
#include "ui/customgrid.h"
#include "ui/filelistmodel.h"
#include "ui/flowlayout.h"
#include "ui/icons.h"
#include "ui/progressdialogs.h"
#include "ui/prompts.h"
#include "ui/propertygrids.h"
#include "ui/replacedialog.h"
#include "ui/tform4.h"
#include "ui/tform5.h"
#include "ui_tform1.h"

namespace qv::ui {

namespace {

AttributeChoice choiceOf(const QCheckBox* box) {
    switch (box->checkState()) {
    case Qt::Checked:
        return AttributeChoice::Checked;
    case Qt::Unchecked:
        return AttributeChoice::Unchecked;
    case Qt::PartiallyChecked:
        break;
    }
    return AttributeChoice::Grayed;
}

void setChoice(QCheckBox* box, AttributeChoice choice) {
    switch (choice) {
    case AttributeChoice::Checked:
        box->setCheckState(Qt::Checked);
        return;
    case AttributeChoice::Unchecked:
        box->setCheckState(Qt::Unchecked);
        return;
    case AttributeChoice::Grayed:
        box->setCheckState(Qt::PartiallyChecked);
        return;
    }
}

// Replaces a placeholder row layout by a wrapping one holding the same
// buttons, so a toolbar narrower than its buttons wraps like a toolbar does.
void makeWrapping(QWidget* bar) {
    QList<QWidget*> buttons;
    if (QLayout* old = bar->layout()) {
        for (int i = 0; i < old->count(); ++i)
            if (QWidget* w = old->itemAt(i)->widget())
                buttons.append(w);
        delete old;
    }
    auto* flow = new FlowLayout(bar);
    for (QWidget* b : buttons)
        flow->addWidget(b);
    bar->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

}  // namespace

TForm1::TForm1(std::unique_ptr<Prompts> prompts, QWidget* parent)
    : QMainWindow(parent), m_ui(std::make_unique<Ui::TForm1>()), m_prompts(std::move(prompts)) {
    if (!m_prompts)
        m_prompts = std::make_unique<QtPrompts>();
    m_ui->setupUi(this);
    // The application title is the window's caption.
    setWindowTitle(productTitle());

    setUpToolbars();
    setUpFileList();
    setUpSplitter();
    // The catalogue rows of both grids, the in-place editors on the batch
    // grid and the grids' scroll and wheel hooks.
    m_grids = new PropertyGrids(m_ui->ListView2, m_ui->ListView3, this);
    m_grids->setSingleGridGate([this] { return selectedRow() >= 0; });
    setUpPages();
    connectCommands();
    setUpTabOrder();
    watchSingleEdits();

    auto* notice = new QLabel(copyrightLine(), m_ui->StatusBar1);
    notice->setObjectName(QStringLiteral("StatusPanel1"));
    notice->setFixedWidth(300);
    m_ui->StatusBar1->addWidget(notice);
    // Permanent, so the reason of a selected file shown as a message hides
    // neither the count nor the last run's summary.
    m_runSummary = new QLabel(m_ui->StatusBar1);
    m_runSummary->setObjectName(QStringLiteral("RunSummary"));
    m_ui->StatusBar1->addPermanentWidget(m_runSummary);
    m_fileCount = new QLabel(m_ui->StatusBar1);
    m_fileCount->setObjectName(QStringLiteral("FileCount"));
    m_ui->StatusBar1->addPermanentWidget(m_fileCount);
    updateFileCount();

    ToolButton10Click();
    m_ui->PageControl1->setCurrentIndex(0);
    fitToScreen();
}

TForm1::~TForm1() {
    // The grids' focus hook goes first, so no focus change while the
    // widgets are torn down reaches an editor that is already gone.
    delete m_grids;
    m_grids = nullptr;
}

void TForm1::setWindows(TForm4* hints, TForm5* about, TForm7* batchProgress, TForm9* csvProgress) {
    m_hints = hints;
    m_about = about;
    m_batchProgress = batchProgress;
    m_csvProgress = csvProgress;
}

void TForm1::setUpToolbars() {
    m_ui->ToolButton1->setIcon(icon(QStringLiteral("add")));
    m_ui->ToolButton5->setIcon(icon(QStringLiteral("folder")));
    m_ui->ToolButton2->setIcon(icon(QStringLiteral("remove")));
    m_ui->ToolButton3->setIcon(icon(QStringLiteral("removeall")));
    m_ui->ToolButton9->setIcon(icon(QStringLiteral("arrow_down")));
    m_ui->ToolButton10->setIcon(icon(QStringLiteral("arrow_up")));
    m_ui->ToolButton12->setIcon(icon(QStringLiteral("arrow_right")));
    makeWrapping(m_ui->ToolBar2);
    makeWrapping(m_ui->ToolBar3);
}

void TForm1::setUpFileList() {
    m_files = new FileListModel(this);
    QTableView* list = m_ui->ListView1;
    list->setModel(m_files);
    list->verticalHeader()->hide();
    list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 6);
    QHeaderView* header = list->horizontalHeader();
    header->setStretchLastSection(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setHighlightSections(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionResizeMode(FileListModel::FolderColumn, QHeaderView::Stretch);
    // Widths from the font rather than from every row, which would read
    // each file's time on a list of thousands.
    const QFontMetrics metrics(list->font());
    auto room = [&metrics](const QString& widest) { return metrics.horizontalAdvance(widest) + 16; };
    header->resizeSection(FileListModel::NameColumn, room(QStringLiteral("0000000000000000000000000")));
    header->resizeSection(FileListModel::KindColumn, room(FileListModel::kindText("a.pptx")));
    header->resizeSection(FileListModel::ModifiedColumn, room(QStringLiteral("0000/00/00 00:00")));
    header->resizeSection(FileListModel::StateColumn, room(FileListModel::stateText(engine::FileState::Unreadable)));
    // Files keep the order they were added in until a head is clicked.
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    list->setTextElideMode(Qt::ElideMiddle);
    list->setIconSize(QSize(16, 16));
    connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        ListView1Change();
        updateFileCount();
    });
    // A run that fails the selected file says why there as well.
    // Only the rows that changed: a run changes one row at a time.
    connect(m_files, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& from, const QModelIndex& to) {
        showSelectedReason();
        applyFailedOnly(from.row(), to.row());
    });
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_files, signal, this, [this] {
            updateFileCount();
            applyFailedOnly();
        });
    connect(m_files, &QAbstractItemModel::modelReset, this, [this] { updateFileCount(); });
    connect(m_files, &QAbstractItemModel::layoutChanged, this, [this] { applyFailedOnly(); });

    m_failedOnly = new QCheckBox(tr("失敗のみ表示"), m_ui->LeftPanel);
    m_failedOnly->setObjectName(QStringLiteral("FailedOnly"));
    m_failedOnly->setToolTip(tr("変更に失敗したファイルと読み込めないファイルだけを一覧に表示します"));
    m_ui->LeftPanelLayout->insertWidget(m_ui->LeftPanelLayout->indexOf(list) + 1, m_failedOnly);
    connect(m_failedOnly, &QCheckBox::toggled, this, [this] { applyFailedOnly(); });

    m_popup = new QMenu(this);
    m_popup->setObjectName(QStringLiteral("PopupMenu1"));
    m_popup->addAction(m_ui->AddFiles1);
    m_popup->addAction(m_ui->AddFilesfromfloder1);
    m_popup->addAction(m_ui->Remove1);
    m_popup->addAction(m_ui->RemoveAll1);
    connect(list, &QWidget::customContextMenuRequested, this,
            [this, list](const QPoint& pos) { m_popup->popup(list->viewport()->mapToGlobal(pos)); });
    // Del removes files only while the list has the focus: in a grid or a
    // text box it stays the key that deletes characters.
    list->addAction(m_ui->Remove1);

    // Files dropped from the desktop's file manager.
    list->setAcceptDrops(true);
    list->viewport()->setAcceptDrops(true);
    list->viewport()->installEventFilter(this);
}

void TForm1::setUpPages() {
    const std::pair<QCheckBox*, DateTimePicker*> timeBoxes[] = {
        {m_ui->CheckBox9, m_ui->DateTimePicker1},  {m_ui->CheckBox10, m_ui->DateTimePicker2},
        {m_ui->CheckBox11, m_ui->DateTimePicker3}, {m_ui->CheckBox12, m_ui->DateTimePicker4},
        {m_ui->CheckBox13, m_ui->DateTimePicker5}, {m_ui->CheckBox14, m_ui->DateTimePicker6},
    };
    // Each date or time box enables its own picker (CheckBox9Click to
    // CheckBox14Click), also when it is set by the saved defaults.
    for (const auto& [box, picker] : timeBoxes) {
        box->setToolTip(QString());
        connect(box, &QCheckBox::toggled, picker, &QWidget::setEnabled);
        picker->setEnabled(box->isChecked());
    }
    for (DateTimePicker* p : {m_ui->DateTimePicker2, m_ui->DateTimePicker4, m_ui->DateTimePicker6,
                              m_ui->DateTimePicker10, m_ui->DateTimePicker12, m_ui->DateTimePicker14})
        p->setKind(DateTimePicker::Kind::Time);
    for (DateTimePicker* p : {m_ui->DateTimePicker1, m_ui->DateTimePicker3, m_ui->DateTimePicker5,
                              m_ui->DateTimePicker9, m_ui->DateTimePicker11, m_ui->DateTimePicker13})
        p->setKind(DateTimePicker::Kind::Date);
    const LocalDateTime now = NowLocal();
    for (DateTimePicker* p : findChildren<DateTimePicker*>())
        p->setValue(now);
    for (QCheckBox* b : {m_ui->CheckBox1, m_ui->CheckBox2, m_ui->CheckBox3, m_ui->CheckBox8, m_ui->CheckBox16,
                         m_ui->CheckBox17, m_ui->CheckBox18, m_ui->CheckBox23})
        b->setCheckState(Qt::PartiallyChecked);
    // The user-defined properties below each page's grid.
    m_customSingle = new CustomGrid(CustomGrid::Mode::Single, m_ui->TabSheet2);
    m_ui->TabSheet2Layout->insertWidget(m_ui->TabSheet2Layout->indexOf(m_ui->ListView3) + 1, m_customSingle);
    m_customBatch = new CustomGrid(CustomGrid::Mode::Batch, m_ui->TabSheet1);
    m_ui->TabSheet1Layout->insertWidget(m_ui->TabSheet1Layout->indexOf(m_ui->ListView2) + 1, m_customBatch);
    setUpReplaces();
    // Each page's backup box takes its folder and generations beside it.
    auto backupRows = [this](QVBoxLayout* page, QCheckBox* box, const QString& prefix) {
        const int at = page->indexOf(box);
        page->removeWidget(box);
        auto* choice = new BackupChoice(box, prefix, page->parentWidget());
        page->insertWidget(at, choice);
        connect(choice, &BackupChoice::browseRequested, this, [this, choice] { chooseBackupFolder(choice); });
        return choice;
    };
    m_backupSingle = backupRows(m_ui->TabSheet2Layout, m_ui->CheckBox5, QStringLiteral("Single"));
    m_backupBatch = backupRows(m_ui->TabSheet1Layout, m_ui->CheckBox4, QStringLiteral("Batch"));
    // The bottom row has no room for a sixth button.
    m_undoButton = new QPushButton(m_ui->Undo1->text(), m_ui->TabSheet1);
    m_undoButton->setObjectName(QStringLiteral("UndoButton"));
    m_undoButton->setToolTip(m_ui->Undo1->toolTip());
    m_undoButton->setEnabled(false);
    m_backupBatch->addToFirstRow(m_undoButton);
    // The single page's groups wait for a selected file.
    m_ui->GroupBox3->setEnabled(false);
    m_ui->GroupBox1->setEnabled(false);
    m_customSingle->setEnabled(false);
}

void TForm1::connectCommands() {
    connect(m_ui->ToolButton1, &QToolButton::clicked, this, &TForm1::ToolButton1Click);
    connect(m_ui->ToolButton5, &QToolButton::clicked, this, &TForm1::ToolButton5Click);
    connect(m_ui->ToolButton2, &QToolButton::clicked, this, &TForm1::ToolButton2Click);
    connect(m_ui->ToolButton3, &QToolButton::clicked, this, &TForm1::ToolButton3Click);
    connect(m_ui->AddFiles1, &QAction::triggered, this, &TForm1::ToolButton1Click);
    connect(m_ui->AddFilesfromfloder1, &QAction::triggered, this, &TForm1::ToolButton5Click);
    connect(m_ui->Remove1, &QAction::triggered, this, &TForm1::ToolButton2Click);
    connect(m_ui->RemoveAll1, &QAction::triggered, this, &TForm1::ToolButton3Click);

    connect(m_ui->ToolButton9, &QToolButton::clicked, this, &TForm1::ToolButton9Click);
    connect(m_ui->ToolButton10, &QToolButton::clicked, this, &TForm1::ToolButton10Click);
    connect(m_ui->ToolButton12, &QToolButton::clicked, this, &TForm1::ToolButton12Click);

    connect(m_ui->BitBtn6, &QPushButton::clicked, this, &TForm1::BitBtn6Click);
    connect(m_ui->BitBtn2, &QPushButton::clicked, this, &TForm1::BitBtn2Click);
    connect(m_ui->BitBtn9, &QPushButton::clicked, this, &TForm1::BitBtn9Click);
    connect(m_ui->BitBtn8, &QPushButton::clicked, this, &TForm1::BitBtn8Click);
    connect(m_ui->ImportCsvButton, &QPushButton::clicked, this, &TForm1::ImportCsvClick);
    connect(m_ui->Undo1, &QAction::triggered, this, [this] {
        CommitOpenEditors();
        UndoLastRunClick();
    });
    connect(m_undoButton, &QPushButton::clicked, m_ui->Undo1, &QAction::trigger);
    connect(m_ui->Audit1, &QAction::triggered, this, &TForm1::AuditClick);
    connect(m_ui->Scrub1, &QAction::triggered, this, [this] { ScrubClick(false); });
    connect(m_ui->Delivery1, &QAction::triggered, this, [this] { ScrubClick(true); });
    connect(m_ui->BitBtn3, &QPushButton::clicked, this, &TForm1::BitBtn3Click);
    connect(m_ui->BitBtn5, &QPushButton::clicked, this, &TForm1::BitBtn3Click);
    // "終了": closing asks only about pending single-page edits.
    connect(m_ui->BitBtn4, &QPushButton::clicked, this, &QWidget::close);
    connect(m_ui->BitBtn7, &QPushButton::clicked, this, &QWidget::close);
    connect(m_ui->Exit1, &QAction::triggered, this, &QWidget::close);

    connect(m_ui->help2, &QAction::triggered, this, &TForm1::help2Click);
    connect(m_ui->Helponline1, &QAction::triggered, this, &TForm1::Helponline1Click);
    connect(m_ui->Showhint1, &QAction::triggered, this, [this] {
        CommitOpenEditors();
        BitBtn3Click();
    });
    connect(m_ui->Homepage1, &QAction::triggered, this, &TForm1::Homepage1Click);
    connect(m_ui->Emailsupport1, &QAction::triggered, this, &TForm1::Emailsupport1Click);
    connect(m_ui->about1, &QAction::triggered, this, &TForm1::about1Click);
}

void TForm1::showEvent(QShowEvent* event) {
    // FormShow
    m_ui->ToolButton3->setEnabled(m_files->rowCount() > 0);
    m_ui->ToolButton2->setEnabled(selectedRow() >= 0);
    QMainWindow::showEvent(event);
}

void TForm1::CommitOpenEditors() {
    m_grids->CommitOpenEditors();
    m_customSingle->commitEditor();
    m_customBatch->commitEditor();
}

void TForm1::message(const QString& text) { m_prompts->message(this, text); }

int TForm1::selectedRow() const {
    const QModelIndexList rows = m_ui->ListView1->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TForm1::selectRow(int row) {
    if (row < 0 || row >= m_files->rowCount())
        return;
    // Through the selection model: the view's own selectRow() extends the
    // selection while Shift or Ctrl is held, as it is when a shortcut such
    // as Ctrl+Shift+O added the files.
    const QModelIndex index = m_files->index(row, 0);
    QItemSelectionModel* selection = m_ui->ListView1->selectionModel();
    selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    selection->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_ui->ListView1->scrollTo(index);
}

void TForm1::clearSelection() { m_ui->ListView1->selectionModel()->clearSelection(); }

void TForm1::reselectFirst() {
    clearSelection();
    selectRow(0);
}

engine::BatchSettings TForm1::batchSettings() const {
    engine::BatchSettings s;
    s.values = m_grids->values(m_ui->ListView2);
    s.ticked = m_grids->ticks();
    s.creation = {m_ui->CheckBox9->isChecked(), m_ui->CheckBox10->isChecked(), m_ui->DateTimePicker1->value(),
                  m_ui->DateTimePicker2->value()};
    s.lastWrite = {m_ui->CheckBox11->isChecked(), m_ui->CheckBox12->isChecked(), m_ui->DateTimePicker3->value(),
                   m_ui->DateTimePicker4->value()};
    s.lastAccess = {m_ui->CheckBox13->isChecked(), m_ui->CheckBox14->isChecked(), m_ui->DateTimePicker5->value(),
                    m_ui->DateTimePicker6->value()};
    s.attributes = {choiceOf(m_ui->CheckBox1), choiceOf(m_ui->CheckBox2), choiceOf(m_ui->CheckBox3),
                    choiceOf(m_ui->CheckBox8)};
    s.backup = m_ui->CheckBox4->isChecked();
    s.backupPolicy = m_backupBatch->policy();
    s.custom = m_customBatch->edits();
    s.replaces = m_replaces;
    return s;
}

void TForm1::setUpReplaces() {
    // The line of replacements sits under the grid, with the clear button;
    // 置換... opens the dialog whose rules join the batch settings.
    auto* row = new QHBoxLayout;
    m_replaceLine = new QLabel(m_ui->TabSheet1);
    m_replaceLine->setWordWrap(true);
    m_replaceClear = new QPushButton(tr("置換をクリア"), m_ui->TabSheet1);
    m_replaceButton = new QPushButton(tr("置換..."), m_ui->TabSheet1);
    m_replaceClear->setObjectName(QStringLiteral("ReplaceClear"));
    m_replaceButton->setObjectName(QStringLiteral("ReplaceButton"));
    row->addWidget(m_replaceLine, 1);
    row->addWidget(m_replaceClear);
    row->addWidget(m_replaceButton);
    m_ui->TabSheet1Layout->insertLayout(m_ui->TabSheet1Layout->indexOf(m_ui->ListView2) + 1, row);
    connect(m_replaceButton, &QPushButton::clicked, this, [this] {
        ReplaceDialog dialog(this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        for (engine::ReplaceRule& r : dialog.rules())
            m_replaces.push_back(std::move(r));
        showReplaces();
    });
    connect(m_replaceClear, &QPushButton::clicked, this, [this] {
        m_replaces.clear();
        showReplaces();
    });
    showReplaces();
}

void TForm1::showReplaces() {
    QStringList lines;
    for (const engine::ReplaceRule& r : m_replaces)
        lines.append(tr("置換: ") + ReplaceRuleText(r));
    m_replaceLine->setText(lines.join(QLatin1Char('\n')));
    m_replaceLine->setVisible(!lines.isEmpty());
    m_replaceClear->setVisible(!lines.isEmpty());
}

void TForm1::setBatchSettings(const engine::BatchSettings& s) {
    m_grids->setValues(m_ui->ListView2, s.values);
    m_grids->setTicks(s.ticked);
    const std::tuple<const engine::BatchTimeChoice&, QCheckBox*, QCheckBox*, DateTimePicker*, DateTimePicker*>
        times[] = {
            {s.creation, m_ui->CheckBox9, m_ui->CheckBox10, m_ui->DateTimePicker1, m_ui->DateTimePicker2},
            {s.lastWrite, m_ui->CheckBox11, m_ui->CheckBox12, m_ui->DateTimePicker3, m_ui->DateTimePicker4},
            {s.lastAccess, m_ui->CheckBox13, m_ui->CheckBox14, m_ui->DateTimePicker5, m_ui->DateTimePicker6},
        };
    for (const auto& [t, dateBox, timeBox, datePicker, timePicker] : times) {
        datePicker->setValue(t.date);
        timePicker->setValue(t.time);
        dateBox->setChecked(t.replaceDate);
        timeBox->setChecked(t.replaceTime);
    }
    setChoice(m_ui->CheckBox1, s.attributes.readOnly);
    setChoice(m_ui->CheckBox2, s.attributes.archive);
    setChoice(m_ui->CheckBox3, s.attributes.hidden);
    setChoice(m_ui->CheckBox8, s.attributes.system);
    m_ui->CheckBox4->setChecked(s.backup);
    m_backupBatch->setPolicy(s.backupPolicy);
    m_customBatch->setEdits(s.custom);
    m_replaces = s.replaces;
    showReplaces();
}

engine::SingleSettings TForm1::singleSettings() const {
    engine::SingleSettings s;
    s.values = m_grids->values(m_ui->ListView3);
    s.creationDate = m_ui->DateTimePicker9->value();
    s.creationTime = m_ui->DateTimePicker10->value();
    s.lastWriteDate = m_ui->DateTimePicker11->value();
    s.lastWriteTime = m_ui->DateTimePicker12->value();
    s.lastAccessDate = m_ui->DateTimePicker13->value();
    s.lastAccessTime = m_ui->DateTimePicker14->value();
    s.attributes = {choiceOf(m_ui->CheckBox16), choiceOf(m_ui->CheckBox17), choiceOf(m_ui->CheckBox18),
                    choiceOf(m_ui->CheckBox23)};
    s.backup = m_ui->CheckBox5->isChecked();
    s.backupPolicy = m_backupSingle->policy();
    s.customShown = m_customSingle->shown();
    s.custom = m_customSingle->rows();
    return s;
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_ui->ListView1->viewport()) {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDropEvent*>(event);
            if (drag->mimeData()->hasUrls()) {
                drag->acceptProposedAction();
                return true;
            }
            break;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            QStringList paths;
            for (const QUrl& url : drop->mimeData()->urls())
                if (url.isLocalFile())
                    paths.append(QDir::toNativeSeparators(url.toLocalFile()));
            HandleDroppedFiles(paths);
            drop->acceptProposedAction();
            return true;
        }
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Help menu, hints and About

void TForm1::Helponline1Click() {
    CommitOpenEditors();
    m_prompts->openUrl(QUrl(onlineHelpUrl()));
}

void TForm1::Homepage1Click() {
    CommitOpenEditors();
    m_prompts->openUrl(QUrl(homePageUrl()));
}

void TForm1::Emailsupport1Click() {
    CommitOpenEditors();
    m_prompts->openUrl(supportMailLink());
}

void TForm1::BitBtn3Click() {
    if (m_hints) {
        centreOnScreen(m_hints);
        m_hints->exec();
    }
}

void TForm1::about1Click() {
    CommitOpenEditors();
    if (m_about) {
        centreOnScreen(m_about);
        m_about->exec();
    }
}

}  // namespace qv::ui
