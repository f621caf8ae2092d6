#include "ui/propertygrids.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QTableWidget>

#include "base/text.h"
#include "localtext/datetext.h"
#include "props/catalogue.h"
#include "props/datetime.h"
#include "ui/datetimepicker.h"
#include "ui/updown.h"

namespace qv::ui {

namespace {

constexpr int kLabelColumnWidth = 160;
constexpr int kRowHeight = 20;

// Whether w is inside container, also through pop-up windows (a date
// picker's calendar belongs to its picker).
bool isInside(const QWidget* w, const QWidget* container) {
    for (; w; w = w->parentWidget())
        if (w == container)
            return true;
    return false;
}

int numberOrOne(const QString& s) { return text::parseInt32(s.toStdString()).value_or(1); }

bool isEnter(const QKeyEvent* key) { return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter; }

// A value cell: the row's value text is kept apart from what the cell shows,
// so a unit on the screen never reaches the value text that the change
// runs, the saved defaults and the export take.
class ValueItem : public QTableWidgetItem {
public:
    QVariant data(int role) const override {
        if (role == Qt::DisplayRole || role == Qt::EditRole) {
            const QString value = QTableWidgetItem::data(Qt::UserRole).toString();
            return tableWidget() ? PropertyGrids::shownText(row(), value) : value;
        }
        return QTableWidgetItem::data(role);
    }
    QTableWidgetItem* clone() const override { return new ValueItem(*this); }
};

QHBoxLayout* rowLayout(QWidget* panel) {
    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

}  // namespace

QString PropertyGrids::shownText(int row, const QString& value) {
    // Minutes are shown with their unit; a text that is no number (a value
    // typed into the batch page before, say) is shown as it is.
    if (kCatalogue[static_cast<std::size_t>(row)].Editor == EditorKind::Minutes &&
        text::parseInt64(value.trimmed().toStdString()))
        return value.trimmed() + QStringLiteral(" 分");
    return value;
}

int PropertyGrids::valueColumnWidth(int gridWidth) { return gridWidth > 300 ? gridWidth - 180 : 100; }

PropertyGrids::PropertyGrids(QTableWidget* batchGrid, QTableWidget* singleGrid, QObject* parent)
    : QObject(parent), m_batch(batchGrid), m_single(singleGrid) {
    setUpGrid(m_batch, true);
    setUpGrid(m_single, false);
    m_batch->setObjectName(QStringLiteral("ListView2"));
    m_single->setObjectName(QStringLiteral("ListView3"));

    QWidget* home = m_batch->viewport();

    Edit1 = new QLineEdit(home);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setFrame(false);
    Edit1->hide();
    Edit1->installEventFilter(this);

    Panel3 = new QFrame(home);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setFrameShape(QFrame::NoFrame);
    Panel3->setAutoFillBackground(true);
    Panel3->hide();
    DateTimePicker7 = new DateTimePicker(Panel3);
    DateTimePicker7->setObjectName(QStringLiteral("DateTimePicker7"));
    DateTimePicker7->setKind(DateTimePicker::Kind::Date);
    DateTimePicker8 = new DateTimePicker(Panel3);
    DateTimePicker8->setObjectName(QStringLiteral("DateTimePicker8"));
    DateTimePicker8->setKind(DateTimePicker::Kind::Time);
    CheckBox15 = new QCheckBox(tr("消す"), Panel3);
    CheckBox15->setObjectName(QStringLiteral("CheckBox15"));
    // As wide as the cell, and never narrower than the pickers' texts.
    QHBoxLayout* dateRow = rowLayout(Panel3);
    dateRow->addWidget(DateTimePicker7, 1);
    dateRow->addWidget(DateTimePicker8, 1);
    dateRow->addWidget(CheckBox15, 0);
    Panel3->setFocusProxy(DateTimePicker7);

    Panel5 = new QFrame(home);
    Panel5->setObjectName(QStringLiteral("Panel5"));
    Panel5->setFrameShape(QFrame::NoFrame);
    Panel5->setAutoFillBackground(true);
    Panel5->hide();
    Edit3 = new QLineEdit(Panel5);
    Edit3->setObjectName(QStringLiteral("Edit3"));
    // Digits only: no sign, no separators, no blanks; any length.
    Edit3->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), Edit3));
    Edit3->installEventFilter(this);
    UpDown1 = new UpDown(Panel5);
    UpDown1->setObjectName(QStringLiteral("UpDown1"));
    UpDown1->setFixedWidth(16);
    UpDown1->setBuddy(Edit3);
    UpDown1->setRange(0, 32767);
    CheckBox6 = new QCheckBox(tr("消す"), Panel5);
    CheckBox6->setObjectName(QStringLiteral("CheckBox6"));
    Label5 = new QLabel(tr(" 分"), Panel5);
    Label5->setObjectName(QStringLiteral("Label5"));
    QHBoxLayout* numberRow = rowLayout(Panel5);
    numberRow->addWidget(Edit3);
    numberRow->addWidget(UpDown1);
    numberRow->addWidget(Label5);
    numberRow->addSpacing(3);
    numberRow->addWidget(CheckBox6);
    Panel5->setFocusProxy(Edit3);
    // Enter confirms and Esc cancels wherever the focus is in an editor.
    for (QWidget* w : std::initializer_list<QWidget*>{DateTimePicker7, DateTimePicker8, CheckBox15, CheckBox6})
        w->installEventFilter(this);
    // A value typed or stepped is a value, not an erase.
    connect(Edit3, &QLineEdit::textEdited, CheckBox6, [this] { CheckBox6->setChecked(false); });
    connect(UpDown1, &UpDown::stepped, CheckBox6, [this] { CheckBox6->setChecked(false); });
    for (DateTimePicker* p : {DateTimePicker7, DateTimePicker8})
        connect(p, &DateTimePicker::valueEdited, CheckBox15, [this] { CheckBox15->setChecked(false); });

    connect(qApp, &QApplication::focusChanged, this, &PropertyGrids::onFocusChanged);
    for (QTableWidget* grid : {m_batch, m_single}) {
        grid->installEventFilter(this);
        grid->viewport()->installEventFilter(this);
        // A scrolled grid never keeps an editor over a row that moved away.
        for (QScrollBar* bar : {grid->verticalScrollBar(), grid->horizontalScrollBar()})
            connect(bar, &QScrollBar::valueChanged, this, [this] {
                if (m_open != Editor::None)
                    closeEditor(true);
            });
        connect(grid, &QTableWidget::clicked, this, [this, grid] { gridClicked(grid, m_lastRelease); });
    }
    // A double click toggles the row's tick on the batch grid.
    connect(m_batch, &QTableWidget::doubleClicked, this,
            [this](const QModelIndex& index) { setTicked(index.row(), !isTicked(index.row())); });
}

void PropertyGrids::setUpGrid(QTableWidget* grid, bool checkable) {
    grid->clear();
    grid->setColumnCount(2);
    grid->setRowCount(kRowCount);
    grid->setHorizontalHeaderLabels({tr("概要情報"), tr("値")});
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setMinimumSectionSize(rowHeightFor(grid));
    grid->verticalHeader()->setDefaultSectionSize(rowHeightFor(grid));
    QHeaderView* header = grid->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setStretchLastSection(false);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    grid->setColumnWidth(0, kLabelColumnWidth);
    grid->setColumnWidth(1, 220);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setTabKeyNavigation(false);
    if (!checkable) {
        // The single grid shows no selection while it doesn't have the focus.
        QPalette p = grid->palette();
        p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Inactive, QPalette::Base));
        p.setColor(QPalette::Inactive, QPalette::HighlightedText, p.color(QPalette::Inactive, QPalette::Text));
        grid->setPalette(p);
    }
    for (int row = 0; row < kRowCount; ++row) {
        auto* label = new QTableWidgetItem(QString::fromUtf8(kCatalogue[static_cast<std::size_t>(row)].Label));
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (checkable) {
            flags |= Qt::ItemIsUserCheckable;
            label->setCheckState(Qt::Unchecked);
        }
        label->setFlags(flags);
        grid->setItem(row, 0, label);
        auto* value = new ValueItem;
        value->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        grid->setItem(row, 1, value);
    }
}

void PropertyGrids::applyColumnRule(QTableWidget* grid) {
    grid->setColumnWidth(1, valueColumnWidth(grid->width()));
}

QString PropertyGrids::valueText(QTableWidget* grid, int row) const {
    const QTableWidgetItem* item = grid->item(row, 1);
    return item ? item->data(Qt::UserRole).toString() : QString();
}

void PropertyGrids::setValueText(QTableWidget* grid, int row, const QString& text) {
    if (QTableWidgetItem* item = grid->item(row, 1))
        item->setData(Qt::UserRole, text);
}

bool PropertyGrids::isTicked(int row) const {
    const QTableWidgetItem* item = m_batch->item(row, 0);
    return item && item->checkState() == Qt::Checked;
}

void PropertyGrids::setTicked(int row, bool ticked) {
    if (QTableWidgetItem* item = m_batch->item(row, 0))
        item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
}

RowTexts PropertyGrids::values(QTableWidget* grid) const {
    RowTexts t;
    for (int row = 0; row < kRowCount; ++row)
        t[static_cast<std::size_t>(row)] = valueText(grid, row).toStdString();
    return t;
}

void PropertyGrids::setValues(QTableWidget* grid, const RowTexts& values) {
    for (int row = 0; row < kRowCount; ++row)
        setValueText(grid, row, QString::fromStdString(values[static_cast<std::size_t>(row)]));
}

RowMask PropertyGrids::ticks() const {
    RowMask m;
    for (int row = 0; row < kRowCount; ++row)
        m.set(static_cast<std::size_t>(row), isTicked(row));
    return m;
}

void PropertyGrids::setTicks(const RowMask& ticks) {
    for (int row = 0; row < kRowCount; ++row)
        setTicked(row, ticks.test(static_cast<std::size_t>(row)));
}

void PropertyGrids::moveEditorTo(QWidget* editor, QTableWidget* grid) {
    if (editor->parentWidget() != grid->viewport()) {
        editor->setParent(grid->viewport());
        editor->hide();
    }
}

void PropertyGrids::gridClicked(QTableWidget* grid, const QPoint& pos) {
    if (!gridOpens(grid))
        return;
    if (m_open != Editor::None)
        closeEditor(false);
    moveEditorTo(Edit1, grid);
    const int row = grid->rowAt(pos.y());
    if (row < 0)
        return;
    grid->selectRow(row);
    grid->scrollToItem(grid->item(row, 0), QAbstractItemView::EnsureVisible);
    // Only the value cell opens an editor; the label and the check box don't.
    const int left = grid->columnViewportPosition(1);
    if (!(pos.x() > left && pos.x() < left + grid->columnWidth(1)))
        return;
    if (!OpenValueEditor(grid, row))
        openTextEditor(grid, row);
}

bool PropertyGrids::gridOpens(QTableWidget* grid) const {
    return grid != m_single || (m_singleGate && m_singleGate() && !grid->selectedItems().isEmpty());
}

void PropertyGrids::openSelectedRow(QTableWidget* grid) {
    const int row = grid->currentRow();
    if (row < 0 || !gridOpens(grid))
        return;
    if (m_open != Editor::None)
        closeEditor(false);
    moveEditorTo(Edit1, grid);
    grid->selectRow(row);
    grid->scrollToItem(grid->item(row, 0), QAbstractItemView::EnsureVisible);
    if (!OpenValueEditor(grid, row))
        openTextEditor(grid, row);
}

int PropertyGrids::rowHeightFor(const QWidget* grid) {
    // Rows are 20 pixels unless the font needs more.
    return std::max(kRowHeight, grid->fontMetrics().height() + 4);
}

void PropertyGrids::placeEditor(QWidget* editor, QTableWidget* grid, int row, int width) {
    const int h = grid->rowHeight(row);
    for (QWidget* child : editor->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        child->setFixedHeight(h);
    width = std::max(width, editor->minimumSizeHint().width());
    int left = grid->columnViewportPosition(1) + 2;
    // An editor wider than what is left of the grid moves left into sight.
    left = std::max(0, std::min(left, grid->viewport()->width() - width));
    editor->setGeometry(left, grid->rowViewportPosition(row), width, h);
}

void PropertyGrids::openTextEditor(QTableWidget* grid, int row) {
    const int left = grid->columnViewportPosition(1);
    Edit1->setGeometry(left + 3, grid->rowViewportPosition(row), grid->columnWidth(1) - 4, grid->rowHeight(row));
    Edit1->setText(valueText(grid, row));
    m_open = Editor::Text;
    m_grid = grid;
    m_row = row;
    Edit1->show();
    Edit1->raise();
    Edit1->setFocus(Qt::MouseFocusReason);
    Edit1->selectAll();
}

bool PropertyGrids::OpenValueEditor(QTableWidget* grid, int row) {
    const QString value = valueText(grid, row);
    if (isNumberRow(row)) {
        moveEditorTo(Panel5, grid);
        Edit3->setText(value);
        CheckBox6->show();
        CheckBox6->setChecked(value.trimmed().isEmpty());
        const int n = numberOrOne(value);
        Edit3->setText(QString::number(n));
        UpDown1->setPosition(n);
        Label5->setVisible(kCatalogue[static_cast<std::size_t>(row)].Editor == EditorKind::Minutes);
        // Room for five digits at the grid's font, the arrows' range.
        const QFontMetrics fm(Edit3->fontMetrics());
        Edit3->setFixedWidth(std::max(38, fm.horizontalAdvance(QStringLiteral("000000")) + 8));
        placeEditor(Panel5, grid, row, 0);
        Panel5->show();
        Panel5->raise();
        m_open = Editor::Number;
        m_grid = grid;
        m_row = row;
        Panel5->setFocus(Qt::MouseFocusReason);
        Edit3->selectAll();
        return true;
    }
    if (isDateRow(row)) {
        moveEditorTo(Panel3, grid);
        const LocalDateTime at = ParseDateTimeText(value.toStdString()).value_or(NowLocal());
        DateTimePicker7->setValue(at);
        DateTimePicker8->setValue(at);
        const bool erasable = kCatalogue[static_cast<std::size_t>(row)].Editor == EditorKind::DateTimeClearable;
        CheckBox15->setVisible(erasable);
        if (erasable)
            CheckBox15->setChecked(value.isEmpty());
        for (DateTimePicker* p : {DateTimePicker7, DateTimePicker8})
            p->setMinimumWidth(p->neededWidth());
        placeEditor(Panel3, grid, row, grid->columnWidth(1) - 3);
        Panel3->show();
        Panel3->raise();
        m_open = Editor::Date;
        m_grid = grid;
        m_row = row;
        Panel3->setFocus(Qt::MouseFocusReason);
        // Every opening starts at the year, wherever the last one ended;
        // the time field starts at its hour when Tab reaches it.
        DateTimePicker7->startAtFirstSection();
        return true;
    }
    return false;
}

QWidget* PropertyGrids::openEditorWidget() const {
    switch (m_open) {
    case Editor::Text:
        return Edit1;
    case Editor::Date:
        return Panel3;
    case Editor::Number:
        return Panel5;
    case Editor::None:
        break;
    }
    return nullptr;
}

void PropertyGrids::normaliseNumberField() { Edit3->setText(QString::number(numberOrOne(Edit3->text()))); }

QString PropertyGrids::committedText() const {
    switch (m_open) {
    case Editor::Text:
        return Edit1->text();
    case Editor::Date:
        if (CheckBox15->isVisible() && CheckBox15->isChecked())
            return QString();
        return QString::fromStdString(FormatDateTimeText(
            ComposeDateTime(WholeDays(DateTimePicker7->value()), TimeOfDay(DateTimePicker8->value()))));
    case Editor::Number:
        return CheckBox6->isChecked() ? QString() : Edit3->text();
    case Editor::None:
        break;
    }
    return QString();
}

void PropertyGrids::closeEditor(bool focusGrid, bool commit) {
    QWidget* editor = openEditorWidget();
    if (!editor)
        return;
    if (commit) {
        if (m_open == Editor::Number)
            normaliseNumberField();
        // The row the editor was opened on, even if the grid's selection
        // moved meanwhile.
        setValueText(m_grid, m_row, committedText());
    }
    QTableWidget* grid = m_grid;
    m_open = Editor::None;
    m_grid = nullptr;
    m_row = -1;
    if (focusGrid)
        grid->setFocus(Qt::OtherFocusReason);
    editor->hide();
}

void PropertyGrids::CommitOpenEditors() {
    if (m_open != Editor::None)
        closeEditor(true);
}

void PropertyGrids::onFocusChanged(QWidget* /*old*/, QWidget* now) {
    QWidget* editor = openEditorWidget();
    // A window that merely loses activation (now is null) keeps its editor.
    if (!editor || !now || isInside(now, editor))
        return;
    closeEditor(false);
}

bool PropertyGrids::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        QWidget* editor = openEditorWidget();
        if (editor && isInside(static_cast<QWidget*>(watched), editor)) {
            if (isEnter(key)) {
                // A date part being typed counts as typed.
                if (m_open == Editor::Date)
                    for (DateTimePicker* p : {DateTimePicker7, DateTimePicker8})
                        p->interpretText();
                closeEditor(true);
                return true;
            }
            if (key->key() == Qt::Key_Escape) {
                closeEditor(true, false);
                return true;
            }
        } else if ((watched == m_batch || watched == m_single) && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
                   (isEnter(key) || key->key() == Qt::Key_F2)) {
            // The keyboard's way to the editor of the selected row.
            openSelectedRow(static_cast<QTableWidget*>(watched));
            return true;
        }
        break;
    }
    case QEvent::FocusOut:
        if (watched == Edit3 && Edit3->text().isEmpty())
            Edit3->setText(QStringLiteral("1"));
        break;
    case QEvent::MouseButtonRelease:
        if (watched == m_batch->viewport() || watched == m_single->viewport())
            m_lastRelease = static_cast<QMouseEvent*>(event)->position().toPoint();
        break;
    case QEvent::Wheel:
        if ((watched == m_batch->viewport() || watched == m_single->viewport()) && m_open != Editor::None)
            closeEditor(true);
        break;
    case QEvent::Resize:
        if (watched == m_batch || watched == m_single)
            applyColumnRule(static_cast<QTableWidget*>(watched));
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace qv::ui
