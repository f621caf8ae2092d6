// "CSVから変更": the preview of what an edited CSV changes, file by file,
// each with a tick; only the ticked files are changed.
#pragma once

#include <QDialog>
#include <vector>

#include "engine/csv_import.h"

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;
class QPushButton;

namespace qv::ui {

class ImportPreviewDialog : public QDialog {
    Q_OBJECT
public:
    ImportPreviewDialog(const engine::ImportPlan& plan, QWidget* parent = nullptr);

    // One tick per planned file, in the plan's order.
    std::vector<bool> ticked() const;
    void setTicked(std::size_t file, bool on);
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
