// The two property grids (the batch grid with check boxes, the single grid
// without) and the three in-place editors that are laid over a value cell:
// a text field, a date-and-time editor and a number editor. Values live as
// texts in the grids' value column; the editors only ever write them there.
#pragma once

#include <QObject>
#include <QPoint>
#include <functional>

#include "localtext/rowtext.h"

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QTableWidget;
class QWidget;

namespace qv::ui {

class DateTimePicker;
class UpDown;

class PropertyGrids : public QObject {
    Q_OBJECT
public:
    enum class Editor { None, Text, Date, Number };

    // Fills both grids with the fourteen catalogue rows and creates the
    // editors on the batch grid.
    PropertyGrids(QTableWidget* batchGrid, QTableWidget* singleGrid, QObject* parent = nullptr);

    // ListView3Click opens nothing unless this says yes (a file is selected).
    void setSingleGridGate(std::function<bool()> gate) { m_singleGate = std::move(gate); }

    QTableWidget* batchGrid() const { return m_batch; }
    QTableWidget* singleGrid() const { return m_single; }

    QString valueText(QTableWidget* grid, int row) const;
    void setValueText(QTableWidget* grid, int row, const QString& text);
    bool isTicked(int row) const;
    void setTicked(int row, bool ticked);

    RowTexts values(QTableWidget* grid) const;
    void setValues(QTableWidget* grid, const RowTexts& values);
    RowMask ticks() const;
    void setTicks(const RowMask& ticks);

    // The click on a grid (ListView2Click, ListView3Click): opens the editor of
    // the value cell at pos (viewport coordinates), if there is one.
    void gridClicked(QTableWidget* grid, const QPoint& pos);
    // Enter or F2 on a grid: opens the editor of its selected row.
    void openSelectedRow(QTableWidget* grid);
    // Opens the number or date editor of the row; false for a text row.
    bool OpenValueEditor(QTableWidget* grid, int row);
    // Commits and closes whatever editor is open, so that a command sees
    // the value being edited.
    void CommitOpenEditors();
    Editor openEditor() const { return m_open; }
    QTableWidget* editorGrid() const { return m_grid; }

    // The value column's width for a grid this wide.
    static int valueColumnWidth(int gridWidth);
    // What a value cell shows for a row's value text: the editing time
    // with its unit ("125 分"), every other value as it is.
    static QString shownText(int row, const QString& value);

    // The editors, named as the window's controls.
    QLineEdit* Edit1;
    QFrame* Panel3;
    DateTimePicker* DateTimePicker7;
    DateTimePicker* DateTimePicker8;
    QCheckBox* CheckBox15;
    QFrame* Panel5;
    QLineEdit* Edit3;
    UpDown* UpDown1;
    QLabel* Label5;  // the minutes' unit
    QCheckBox* CheckBox6;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setUpGrid(QTableWidget* grid, bool checkable);
    void applyColumnRule(QTableWidget* grid);
    void openTextEditor(QTableWidget* grid, int row);
    bool gridOpens(QTableWidget* grid) const;
    static int rowHeightFor(const QWidget* grid);
    // Lays an editor over the row's value cell, at least width wide and as
    // wide as its parts need.
    static void placeEditor(QWidget* editor, QTableWidget* grid, int row, int width);
    void moveEditorTo(QWidget* editor, QTableWidget* grid);
    void onFocusChanged(QWidget* old, QWidget* now);
    // Commits the open editor into its row (unless cancelled) and hides it;
    // the grid gets the focus when asked.
    void closeEditor(bool focusGrid, bool commit = true);
    QString committedText() const;
    void normaliseNumberField();
    QWidget* openEditorWidget() const;

    QTableWidget* m_batch;
    QTableWidget* m_single;
    std::function<bool()> m_singleGate;
    Editor m_open = Editor::None;
    QTableWidget* m_grid = nullptr;
    int m_row = -1;
    QPoint m_lastRelease;
};

}  // namespace qv::ui
