#include "ui/importpreview.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace qv::ui {

ImportPreviewDialog::ImportPreviewDialog(const engine::ImportPlan& plan, QWidget* parent)
    : QDialog(parent), m_plan(plan) {
    setWindowTitle(tr("CSVから変更"));
    setSizeGripEnabled(true);
    resize(760, 480);
    auto* layout = new QVBoxLayout(this);
    m_summary = new QLabel(this);
    layout->addWidget(m_summary);

    m_changes = new QTreeWidget(this);
    m_changes->setColumnCount(3);
    m_changes->setHeaderLabels({tr("ファイル / 項目"), tr("現在の値"), tr("新しい値")});
    m_changes->setUniformRowHeights(true);
    for (const engine::FileImport& f : plan.files) {
        auto* file = new QTreeWidgetItem(m_changes, {QString::fromStdString(f.path)});
        file->setFlags(file->flags() | Qt::ItemIsUserCheckable);
        file->setCheckState(0, Qt::Checked);
        file->setFirstColumnSpanned(false);
        for (const engine::ItemChange& c : f.changes)
            new QTreeWidgetItem(file, {QString::fromStdString(c.item), QString::fromStdString(c.before),
                                       QString::fromStdString(c.after)});
    }
    m_changes->expandAll();
    m_changes->header()->setSectionResizeMode(0, QHeaderView::Interactive);
    m_changes->setColumnWidth(0, 340);
    m_changes->setColumnWidth(1, 190);
    layout->addWidget(m_changes, 1);
    connect(m_changes, &QTreeWidget::itemChanged, this, [this] { updateSummary(); });

    if (!plan.skipped.empty()) {
        layout->addWidget(new QLabel(tr("変更しない行:"), this));
        auto* skipped = new QListWidget(this);
        for (const engine::ImportIssue& s : plan.skipped)
            skipped->addItem(QString::fromStdString(engine::DescribeIssue(s)));
        skipped->setMaximumHeight(110);
        layout->addWidget(skipped);
    }

    auto* buttons = new QDialogButtonBox(this);
    m_change = buttons->addButton(tr("変更"), QDialogButtonBox::AcceptRole);
    buttons->addButton(tr("キャンセル"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    updateSummary();
}

std::vector<bool> ImportPreviewDialog::ticked() const {
    std::vector<bool> out;
    for (int i = 0; i < m_changes->topLevelItemCount(); ++i)
        out.push_back(m_changes->topLevelItem(i)->checkState(0) == Qt::Checked);
    return out;
}

void ImportPreviewDialog::setTicked(std::size_t file, bool on) {
    m_changes->topLevelItem(static_cast<int>(file))->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
}

QString ImportPreviewDialog::summary() const { return m_summary->text(); }

void ImportPreviewDialog::updateSummary() {
    std::size_t files = 0, items = 0;
    const std::vector<bool> on = ticked();
    for (std::size_t i = 0; i < on.size(); ++i) {
        if (on[i]) {
            ++files;
            items += m_plan.files[i].changes.size();
        }
    }
    m_summary->setText(tr("%1 個のファイルで %2 項目を変更します").arg(files).arg(items));
    m_change->setEnabled(files > 0);
}

}  // namespace qv::ui
