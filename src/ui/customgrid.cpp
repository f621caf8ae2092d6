#include "ui/customgrid.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimeZone>
#include <QVBoxLayout>
#include <cmath>

#include "localtext/customtext.h"
#include "localtext/datetext.h"
#include "props/datetime.h"
#include "ui/datetimepicker.h"

namespace qv::ui {

namespace {

constexpr int kTypeRole = Qt::UserRole;  // the CustomType, or -1 for a read-only row
constexpr CustomType kTypes[] = {CustomType::Text, CustomType::Number, CustomType::Date, CustomType::Bool};
const char* const kSet = "設定";
const char* const kRemove = "削除";

QString qs(const std::string& s) { return QString::fromStdString(s); }
std::string ss(const QString& s) { return s.toStdString(); }

QDateTime toQDateTime(LocalDateTime v) {
    DateTimeFields f = DecodeLocal(v);
    // Naive fields, as the editor keeps them: no daylight-saving rule may
    // move a typed time that the local zone skips.
    return QDateTime(QDate(static_cast<int>(f.year), static_cast<int>(f.month), static_cast<int>(f.day)),
                     QTime(static_cast<int>(f.hour), static_cast<int>(f.minute), static_cast<int>(f.second)),
                     QTimeZone::utc());
}

LocalDateTime fromQDateTime(const QDateTime& t) {
    DateTimeFields f;
    f.year = t.date().year();
    f.month = static_cast<unsigned>(t.date().month());
    f.day = static_cast<unsigned>(t.date().day());
    f.hour = static_cast<unsigned>(t.time().hour());
    f.minute = static_cast<unsigned>(t.time().minute());
    f.second = static_cast<unsigned>(t.time().second());
    return EncodeLocal(f);
}

// The window's names of the stored types this system shows but doesn't
// change, by the short names the back ends give them.
struct OtherTypeName {
    const char* key;
    const char* label;
};
constexpr OtherTypeName kOtherTypes[] = {
    {"empty", "空"},
    {"null", "値なし"},
    {"i1", "8 ビット整数"},
    {"i2", "16 ビット整数"},
    {"i4", "整数"},
    {"int", "整数"},
    {"i8", "64 ビット整数"},
    {"ui1", "符号なし 8 ビット整数"},
    {"ui2", "符号なし 16 ビット整数"},
    {"ui4", "符号なし整数"},
    {"uint", "符号なし整数"},
    {"ui8", "符号なし 64 ビット整数"},
    {"r4", "単精度実数"},
    {"r8", "実数"},
    {"decimal", "10 進数"},
    {"cy", "通貨"},
    {"date", "日付 (旧形式)"},
    {"filetime", "日時"},
    {"bool", "はい/いいえ"},
    {"lpstr", "テキスト"},
    {"lpwstr", "テキスト"},
    {"bstr", "テキスト"},
    {"error", "エラー値"},
    {"variant", "バリアント"},
    {"blob", "バイナリ"},
    {"oblob", "バイナリ"},
    {"stream", "ストリーム"},
    {"ostream", "ストリーム"},
    {"vstream", "ストリーム"},
    {"storage", "ストレージ"},
    {"ostorage", "ストレージ"},
    {"cf", "クリップボード形式"},
    {"clsid", "クラス ID"},
    {"vector", "ベクトル"},
    {"array", "配列"},
};

// A value text that suits a type, for a row whose type was just changed.
QString valueForType(CustomType type, const QString& had) {
    if (ParseCustomValue(type, ss(had)))
        return had;
    switch (type) {
    case CustomType::Number:
        return "0";
    case CustomType::Date:
        return qs(FormatDateTimeText(NowLocal()));
    case CustomType::Bool:
        return qs(CustomValueText(false));
    case CustomType::Text:
        break;
    }
    return had;
}

// The editors of the type, value and action cells, by the row's type.
class CustomDelegate : public QStyledItemDelegate {
public:
    CustomDelegate(CustomGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        m_editor = editorFor(parent, option, index);
        return m_editor;
    }

    // Writes the open editor's value into its cell and closes it.
    void commitOpenEditor() {
        if (QWidget* e = m_editor) {
            m_editor = nullptr;
            emit commitData(e);
            emit closeEditor(e, QAbstractItemDelegate::NoHint);
        }
    }

    QWidget* editorFor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const {
        if (index.column() == CustomGrid::TypeColumn) {
            auto* box = new QComboBox(parent);
            for (CustomType t : kTypes)
                box->addItem(CustomTypeLabel(t), static_cast<int>(t));
            return box;
        }
        if (index.column() == CustomGrid::ActionColumn) {
            auto* box = new QComboBox(parent);
            box->addItems({kSet, kRemove});
            return box;
        }
        if (index.column() == CustomGrid::ValueColumn) {
            switch (m_grid->rowType(index.row()).value_or(CustomType::Text)) {
            case CustomType::Bool: {
                auto* box = new QComboBox(parent);
                box->addItems({qs(CustomValueText(true)), qs(CustomValueText(false))});
                return box;
            }
            case CustomType::Date: {
                auto* edit = new TypedDateTimeEdit(parent);
                edit->setTimeSpec(Qt::UTC);
                edit->setDisplayFormat(dateDisplayFormat() + " H:mm:ss");
                edit->setCalendarPopup(true);
                return edit;
            }
            case CustomType::Number: {
                auto* edit = new QLineEdit(parent);
                edit->setValidator(new QRegularExpressionValidator(
                    QRegularExpression(R"(-?[0-9]*(\.[0-9]*)?([eE][-+]?[0-9]*)?)"), edit));
                return edit;
            }
            case CustomType::Text:
                break;
            }
        }
        return QStyledItemDelegate::createEditor(parent, option, index);
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        const QString text = index.data(Qt::DisplayRole).toString();
        if (auto* box = qobject_cast<QComboBox*>(editor)) {
            int i = box->findText(text);
            box->setCurrentIndex(i < 0 ? 0 : i);
            return;
        }
        if (auto* edit = qobject_cast<TypedDateTimeEdit*>(editor)) {
            edit->setDateTime(toQDateTime(ParseDateTimeText(ss(text)).value_or(NowLocal())));
            edit->startAtFirstSection();
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
    }

    // A date and time never shows cut off, however narrow its cell.
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override {
        QStyledItemDelegate::updateEditorGeometry(editor, option, index);
        if (auto* edit = qobject_cast<TypedDateTimeEdit*>(editor))
            edit->resize(std::max(edit->width(), edit->neededWidth()), edit->height());
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
        if (index.column() == CustomGrid::TypeColumn) {
            auto* box = static_cast<QComboBox*>(editor);
            auto type = static_cast<CustomType>(box->currentData().toInt());
            m_grid->setRowType(index.row(), type);
            return;
        }
        if (auto* box = qobject_cast<QComboBox*>(editor)) {
            model->setData(index, box->currentText());
            return;
        }
        if (auto* edit = qobject_cast<QDateTimeEdit*>(editor)) {
            model->setData(index, qs(FormatDateTimeText(fromQDateTime(edit->dateTime()))));
            return;
        }
        QStyledItemDelegate::setModelData(editor, model, index);
    }

private:
    CustomGrid* m_grid;
    mutable QPointer<QWidget> m_editor;
};

}  // namespace

CustomGrid::CustomGrid(Mode mode, QWidget* parent) : QGroupBox(parent), m_mode(mode) {
    setTitle(mode == Mode::Single ? "ユーザー設定のプロパティ" : "ユーザー設定のプロパティの変更");
    setObjectName(mode == Mode::Single ? "CustomGrid" : "BatchCustomGrid");
    m_table = new QTableWidget(0, mode == Mode::Single ? 3 : 4, this);
    m_table->setObjectName(mode == Mode::Single ? "CustomTable" : "BatchCustomTable");
    QStringList heads = {"名前", "種類", "値"};
    if (mode == Mode::Batch)
        heads << "操作";
    m_table->setHorizontalHeaderLabels(heads);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    // The value takes what the name and the type leave.
    QHeaderView* header = m_table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionResizeMode(ValueColumn, QHeaderView::Stretch);
    m_table->setColumnWidth(NameColumn, 120);
    m_table->setColumnWidth(TypeColumn, 80);
    if (mode == Mode::Batch)
        m_table->setColumnWidth(ActionColumn, 48);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                             QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    m_table->setItemDelegate(new CustomDelegate(this));
    // Tab goes on to the next control; Enter, like F2, opens the cell.
    m_table->setTabKeyNavigation(false);
    m_table->installEventFilter(this);
    // Four rows in sight; more scroll.
    m_table->setFixedHeight(m_table->verticalHeader()->defaultSectionSize() * 4 + header->sizeHint().height() + 4);

    m_add = new QPushButton("追加", this);
    m_add->setObjectName(mode == Mode::Single ? "CustomAddButton" : "BatchCustomAddButton");
    m_remove = new QPushButton("削除", this);
    m_remove->setObjectName(mode == Mode::Single ? "CustomRemoveButton" : "BatchCustomRemoveButton");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->addWidget(m_table, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_add);
    buttons->addWidget(m_remove);
    buttons->addStretch();
    layout->addLayout(buttons);
    for (QPushButton* b : {m_add, m_remove})
        b->setFixedWidth(b->fontMetrics().horizontalAdvance(b->text()) + 24);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    connect(m_add, &QPushButton::clicked, this, &CustomGrid::addRow);
    connect(m_remove, &QPushButton::clicked, this, &CustomGrid::removeSelectedRows);
}

int CustomGrid::appendRow(const QString& name, std::optional<CustomType> type, const QString& typeText,
                          const QString& value, bool editable) {
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    const Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled | (editable ? Qt::ItemIsEditable : Qt::NoItemFlags);
    for (int c = 0; c < m_table->columnCount(); ++c) {
        auto* item = new QTableWidgetItem;
        item->setFlags(flags);
        m_table->setItem(row, c, item);
    }
    m_table->item(row, NameColumn)->setText(name);
    m_table->item(row, ValueColumn)->setText(value);
    setRowType(row, type, typeText);
    if (m_mode == Mode::Batch)
        m_table->item(row, ActionColumn)->setText(kSet);
    if (!editable)
        for (int c = 0; c < m_table->columnCount(); ++c) {
            m_table->item(row, c)->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
            m_table->item(row, c)->setToolTip("この種類のプロパティは表示のみで、変更されません");
        }
    return row;
}

std::optional<CustomType> CustomGrid::rowType(int row) const {
    const QTableWidgetItem* item = m_table->item(row, TypeColumn);
    int t = item ? item->data(kTypeRole).toInt() : -1;
    if (t < 0)
        return std::nullopt;
    return static_cast<CustomType>(t);
}

void CustomGrid::setRowType(int row, std::optional<CustomType> type, const QString& shownType) {
    QTableWidgetItem* item = m_table->item(row, TypeColumn);
    item->setData(kTypeRole, type ? static_cast<int>(*type) : -1);
    item->setText(type ? CustomTypeLabel(*type) : shownType);
    if (type) {
        QTableWidgetItem* value = m_table->item(row, ValueColumn);
        value->setText(valueForType(*type, value->text()));
    }
}

void CustomGrid::setProperties(const std::vector<CustomProperty>& properties) {
    commitEditor();
    m_shown = properties;
    m_table->setRowCount(0);
    for (const CustomProperty& p : properties) {
        QString typeText = CustomTypeShown(p.value);
        if (p.linked)
            typeText += "（リンク）";
        appendRow(qs(p.name), p.editable() ? CustomTypeOf(p.value) : std::nullopt, typeText,
                  qs(CustomValueText(p.value)), p.editable());
    }
}

std::vector<engine::CustomRowText> CustomGrid::rows() const {
    std::vector<engine::CustomRowText> out;
    for (int r = 0; r < m_table->rowCount(); ++r)
        out.push_back({ss(m_table->item(r, NameColumn)->text()), rowType(r), ss(m_table->item(r, ValueColumn)->text())});
    return out;
}

void CustomGrid::setEdits(const std::vector<engine::CustomEditText>& edits) {
    commitEditor();
    m_table->setRowCount(0);
    for (const engine::CustomEditText& e : edits) {
        int row = appendRow(qs(e.name), e.type, {}, qs(e.value), true);
        m_table->item(row, ActionColumn)->setText(e.remove ? kRemove : kSet);
    }
}

std::vector<engine::CustomEditText> CustomGrid::edits() const {
    std::vector<engine::CustomEditText> out;
    for (int r = 0; r < m_table->rowCount(); ++r) {
        engine::CustomEditText e;
        e.name = ss(m_table->item(r, NameColumn)->text());
        e.type = rowType(r).value_or(CustomType::Text);
        e.value = ss(m_table->item(r, ValueColumn)->text());
        e.remove = m_table->item(r, ActionColumn)->text() == kRemove;
        out.push_back(std::move(e));
    }
    return out;
}

void CustomGrid::addRow() {
    commitEditor();
    int row = appendRow({}, CustomType::Text, {}, {}, true);
    m_table->setCurrentCell(row, NameColumn);
    m_table->editItem(m_table->item(row, NameColumn));
}

void CustomGrid::removeSelectedRows() {
    commitEditor();
    QList<int> rows;
    for (const QModelIndex& i : m_table->selectionModel()->selectedRows())
        rows << i.row();
    if (rows.isEmpty() && m_table->currentRow() >= 0)
        rows << m_table->currentRow();
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    for (int r : rows)
        m_table->removeRow(r);
}

bool CustomGrid::eventFilter(QObject* watched, QEvent* event) {
    // Only a key the grid itself gets: one an open editor passed on is the
    // editor's business.
    if (watched == m_table && event->type() == QEvent::KeyPress && m_table->hasFocus()) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && m_table->currentIndex().isValid()) {
            m_table->edit(m_table->currentIndex());
            return true;
        }
    }
    return QGroupBox::eventFilter(watched, event);
}

QString CustomTypeShown(const CustomValue& value) {
    if (CustomTypeOf(value))
        return qs(CustomTypeLabelOf(value));
    const std::string& key = std::get<OtherValue>(value).type;
    for (const OtherTypeName& t : kOtherTypes)
        if (key == t.key)
            return QString::fromUtf8(t.label);
    // "type 72" from a type code no name is known for.
    if (key.rfind("type ", 0) == 0)
        return "種類 " + qs(key.substr(5));
    return qs(key);
}

void CustomGrid::commitEditor() { static_cast<CustomDelegate*>(m_table->itemDelegate())->commitOpenEditor(); }

}  // namespace qv::ui
