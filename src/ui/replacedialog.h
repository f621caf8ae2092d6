// 置換: a find-and-replace the batch page applies to the chosen rows of
// every listed file (and to their user-defined text properties).
#pragma once

#include <QDialog>
#include <vector>

#include "engine/patterns.h"

class QCheckBox;
class QLineEdit;

namespace qv::ui {

class ReplaceDialog : public QDialog {
    Q_OBJECT
public:
    explicit ReplaceDialog(QWidget* parent = nullptr);
    // One rule per ticked row; empty when nothing is ticked or nothing is
    // to be found.
    std::vector<engine::ReplaceRule> rules() const;

    QCheckBox* rowBox(int row) const { return m_rows[static_cast<std::size_t>(row)]; }
    QCheckBox* customBox() const { return m_custom; }
    QLineEdit* findEdit() const { return m_find; }
    QLineEdit* withEdit() const { return m_with; }
    QCheckBox* regexBox() const { return m_regex; }
    QCheckBox* ignoreCaseBox() const { return m_ignoreCase; }
    QCheckBox* widthBox() const { return m_width; }
    // OK: a rule with a fault, or one that names no row, keeps the dialog open.
    void accept() override;

private:
    std::vector<QCheckBox*> m_rows;
    QCheckBox* m_custom = nullptr;
    QLineEdit *m_find = nullptr, *m_with = nullptr;
    QCheckBox *m_regex = nullptr, *m_ignoreCase = nullptr, *m_width = nullptr;
};

// The line under the batch grid that tells a rule: 会社名 「旧社名」→「新社名」.
QString ReplaceRuleText(const engine::ReplaceRule& rule);

}  // namespace qv::ui
