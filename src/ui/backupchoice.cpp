#include "ui/backupchoice.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace qv::ui {

namespace {
constexpr int kBeside = 0, kInFolder = 1;
constexpr int kFewestGenerations = 2, kMostGenerations = 999;
}  // namespace

BackupChoice::BackupChoice(QCheckBox* backupBox, const QString& prefix, QWidget* parent)
    : QWidget(parent), m_box(backupBox) {
    setObjectName(prefix + QStringLiteral("Backup"));
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(2);

    m_firstRow = new QHBoxLayout;
    m_firstRow->setSpacing(4);
    m_firstRow->addWidget(m_box);
    m_firstRow->addSpacing(8);
    m_generationsLabel = new QLabel(tr("世代数:"), this);
    m_generations = new QSpinBox(this);
    m_generations->setObjectName(prefix + QStringLiteral("BackupGenerations"));
    m_generations->setRange(kFewestGenerations, kMostGenerations);
    m_generations->setValue(engine::kDefaultBackupGenerations);
    m_generations->setToolTip(tr("1 つのファイルに残すバックアップの数です（最初のバックアップは常に残ります）"));
    m_generationsLabel->setBuddy(m_generations);
    m_firstRow->addWidget(m_generationsLabel);
    m_firstRow->addWidget(m_generations);
    m_firstRow->addStretch(1);
    rows->addLayout(m_firstRow);

    auto* second = new QHBoxLayout;
    second->setSpacing(4);
    m_placeLabel = new QLabel(tr("バックアップ先:"), this);
    m_place = new QComboBox(this);
    m_place->setObjectName(prefix + QStringLiteral("BackupPlace"));
    m_place->addItem(tr("ファイルと同じフォルダー"));
    m_place->addItem(tr("指定したフォルダー"));
    m_placeLabel->setBuddy(m_place);
    m_folder = new QLineEdit(this);
    m_folder->setObjectName(prefix + QStringLiteral("BackupFolder"));
    m_folder->setPlaceholderText(tr("フォルダー"));
    m_folder->setMinimumWidth(40);
    m_browse = new QToolButton(this);
    m_browse->setObjectName(prefix + QStringLiteral("BackupBrowse"));
    m_browse->setText(tr("参照..."));
    second->addWidget(m_placeLabel);
    second->addWidget(m_place);
    second->addWidget(m_folder, 1);
    second->addWidget(m_browse);
    rows->addLayout(second);

    connect(m_box, &QCheckBox::toggled, this, &BackupChoice::updateEnabled);
    connect(m_place, &QComboBox::currentIndexChanged, this, &BackupChoice::updateEnabled);
    connect(m_browse, &QToolButton::clicked, this, &BackupChoice::browseRequested);
    // The full path, as the field is narrow.
    connect(m_folder, &QLineEdit::textChanged, m_folder, &QLineEdit::setToolTip);
    updateEnabled();
}

engine::BackupPolicy BackupChoice::policy() const {
    engine::BackupPolicy p;
    if (m_place->currentIndex() == kInFolder)
        p.folder = m_folder->text().trimmed().toStdString();
    p.generations = m_generations->value();
    return p;
}

void BackupChoice::setPolicy(const engine::BackupPolicy& policy) {
    m_place->setCurrentIndex(policy.folder.empty() ? kBeside : kInFolder);
    m_folder->setText(QString::fromStdString(policy.folder));
    m_generations->setValue(std::clamp(policy.generations, kFewestGenerations, kMostGenerations));
}

bool BackupChoice::folderMissing() const {
    return m_place->currentIndex() == kInFolder && m_folder->text().trimmed().isEmpty();
}

void BackupChoice::setFolder(const QString& folder) {
    m_folder->setText(folder);
    m_place->setCurrentIndex(kInFolder);
}

void BackupChoice::addToFirstRow(QWidget* widget) { m_firstRow->addWidget(widget); }

void BackupChoice::updateEnabled() {
    const bool on = m_box->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{m_placeLabel, m_place, m_generationsLabel, m_generations})
        w->setEnabled(on);
    m_folder->setEnabled(on && m_place->currentIndex() == kInFolder);
    m_browse->setEnabled(on && m_place->currentIndex() == kInFolder);
}

}  // namespace qv::ui
