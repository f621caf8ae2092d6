// Where a page's backups go and how many each document keeps: two compact
// rows under the page's backup box, which moves into the first of them.
#pragma once

#include <QWidget>

#include "engine/backup.h"

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QSpinBox;
class QToolButton;

namespace qv::ui {

class BackupChoice : public QWidget {
    Q_OBJECT
public:
    // prefix names the controls ("Batch", "Single"), so tests find each page's.
    BackupChoice(QCheckBox* backupBox, const QString& prefix, QWidget* parent = nullptr);

    // The folder as typed when "指定したフォルダー" is chosen, else empty
    // (beside each document).
    engine::BackupPolicy policy() const;
    void setPolicy(const engine::BackupPolicy& policy);
    // "指定したフォルダー" chosen without a folder typed.
    bool folderMissing() const;
    void setFolder(const QString& folder);

    QComboBox* place() const { return m_place; }
    QLineEdit* folder() const { return m_folder; }
    QToolButton* browse() const { return m_browse; }
    QSpinBox* generations() const { return m_generations; }
    // A control that belongs at the right end of the box's row.
    void addToFirstRow(QWidget* widget);

signals:
    // "参照...": the page asks the user for a folder.
    void browseRequested();

private:
    void updateEnabled();

    QCheckBox* m_box;
    QHBoxLayout* m_firstRow;
    QLabel* m_placeLabel;
    QLabel* m_generationsLabel;
    QComboBox* m_place;
    QLineEdit* m_folder;
    QToolButton* m_browse;
    QSpinBox* m_generations;
};

}  // namespace qv::ui
