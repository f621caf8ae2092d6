// "CSVから変更": the preview of what an edited CSV changes, file by file and
// item by item, each with a tick; only the ticked items are changed. An item
// that a spreadsheet may have made, not a person, starts unticked with the
// reason.
#pragma once

#include <QDialog>
#include <QString>
#include <vector>

#include "engine/csv_import.h"

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;
class QPushButton;

namespace qv::ui {

// The window's words for an issue of a CSV: where it is (line, column,
// head) and what is wrong.
QString IssueText(const engine::ImportIssue& issue);
// The window's words for a doubt.
QString DoubtLabel(engine::Doubt doubt);

class ImportPreviewDialog : public QDialog {
    Q_OBJECT
public:
    ImportPreviewDialog(const engine::ImportPlan& plan, QWidget* parent = nullptr);

    // One tick per item of each planned file, in the plan's order.
    std::vector<std::vector<bool>> ticked() const;
    // Ticks or clears a whole file, or one of its items.
    void setTicked(std::size_t file, bool on);
    void setItemTicked(std::size_t file, std::size_t item, bool on);
    QString summary() const;
    QTreeWidget* changes() const { return m_changes; }
    QPushButton* changeButton() const { return m_change; }

private:
    void updateSummary();

    const engine::ImportPlan& m_plan;
    QLabel* m_summary = nullptr;
    QTreeWidget* m_changes = nullptr;
    QPushButton* m_change = nullptr;
};

}  // namespace qv::ui
