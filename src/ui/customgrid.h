// The grid of user-defined properties: on the single page the file's
// properties (name, type, value; add and remove), on the batch page the
// edits every listed file gets (name, type, value, set or remove). Values
// live as texts in the grid; the in-place editors follow the row's type.
#pragma once

#include <QGroupBox>
#include <vector>

#include "engine/settings.h"

class QPushButton;
class QTableWidget;

namespace qv::ui {

class CustomGrid : public QGroupBox {
    Q_OBJECT
public:
    enum class Mode { Single, Batch };
    enum Column { NameColumn = 0, TypeColumn = 1, ValueColumn = 2, ActionColumn = 3 };

    CustomGrid(Mode mode, QWidget* parent = nullptr);

    QTableWidget* table() const { return m_table; }
    QPushButton* addButton() const { return m_add; }
    QPushButton* removeButton() const { return m_remove; }

    // The single page: the file's properties, and the grid as the engine takes it.
    void setProperties(const std::vector<CustomProperty>& properties);
    const std::vector<CustomProperty>& shown() const { return m_shown; }
    std::vector<engine::CustomRowText> rows() const;

    // The batch page's edits.
    void setEdits(const std::vector<engine::CustomEditText>& edits);
    std::vector<engine::CustomEditText> edits() const;

    // A new editable row (text, empty), its name cell open for typing.
    void addRow();
    // Removes the selected rows.
    void removeSelectedRows();
    // Commits a value still open in an editor.
    void commitEditor();

    // The type a row holds; none for a read-only row.
    std::optional<CustomType> rowType(int row) const;
    void setRowType(int row, std::optional<CustomType> type, const QString& shownType = {});

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int appendRow(const QString& name, std::optional<CustomType> type, const QString& typeText, const QString& value,
                  bool editable);

    Mode m_mode;
    QTableWidget* m_table;
    QPushButton* m_add;
    QPushButton* m_remove;
    std::vector<CustomProperty> m_shown;
};

// A value's type as the grid shows it: one of the four types a person
// chooses between, or the Japanese name of a stored type this system keeps
// but doesn't change ("ui4" shows as "符号なし整数").
QString CustomTypeShown(const CustomValue& value);

}  // namespace qv::ui
