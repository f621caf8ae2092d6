#include "ui/datetimepicker.h"

#include <QDate>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyleOptionSpinBox>
#include <QTime>

#include "localtext/datetext.h"

namespace qv::ui {

QString dateDisplayFormat() {
    const std::string& pattern = CurrentFormats().shortDate;
    // Only day, month and year letters and plain separators are taken over;
    // eras, quoted literals and the like are beyond a spin-field editor.
    bool plain = !pattern.empty();
    for (char c : pattern)
        if (!(c == 'd' || c == 'M' || c == 'y' || c == '/' || c == '-' || c == '.' || c == ' '))
            plain = false;
    if (plain && pattern.find('d') != std::string::npos && pattern.find('M') != std::string::npos &&
        pattern.find('y') != std::string::npos)
        return QString::fromStdString(pattern);
    return QStringLiteral("yyyy/MM/dd");
}

TypedDateTimeEdit::TypedDateTimeEdit(QWidget* parent) : QDateTimeEdit(parent) {}

void TypedDateTimeEdit::startAtFirstSection() {
    m_movedOnByItself = false;
    if (sectionCount() == 0)
        return;
    setCurrentSectionIndex(0);
    setSelectedSection(sectionAt(0));
}

int TypedDateTimeEdit::neededWidth() const {
    // Digits are not equally wide in every font, so the widest digit stands
    // for each one; letters (month names) are measured as shown.
    const QFontMetrics fm(fontMetrics());
    int digit = 0;
    for (char c = '0'; c <= '9'; ++c)
        digit = std::max(digit, fm.horizontalAdvance(QChar(c)));
    int text = 0;
    for (const QString& shown : {lineEdit()->text(), textFromDateTime(maximumDateTime())}) {
        int w = 0;
        for (QChar c : shown)
            w += c.isDigit() ? digit : fm.horizontalAdvance(c);
        text = std::max(text, w);
    }
    // What the style adds around the text: the difference between the
    // field's hint and the text area the hint was made for.
    const int frame = std::max(0, sizeHint().width() - fm.horizontalAdvance(textFromDateTime(minimumDateTime()) + u' '));
    return std::max(sizeHint().width(), text + frame + 4);
}

void TypedDateTimeEdit::keyPressEvent(QKeyEvent* event) {
    const QString typed = event->text();
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (plain && typed.size() == 1 && !typed[0].isDigit() && typed[0].isPrint() && !typed[0].isLetter() &&
        m_movedOnByItself) {
        // The separator after a section that was already left.
        m_movedOnByItself = false;
        event->accept();
        return;
    }
    const int before = currentSectionIndex();
    QDateTimeEdit::keyPressEvent(event);
    m_movedOnByItself = plain && typed.size() == 1 && typed[0].isDigit() && currentSectionIndex() > before;
}

// A section chosen afresh takes its separator as typed.
void TypedDateTimeEdit::mousePressEvent(QMouseEvent* event) {
    m_movedOnByItself = false;
    QDateTimeEdit::mousePressEvent(event);
}

void TypedDateTimeEdit::focusInEvent(QFocusEvent* event) {
    m_movedOnByItself = false;
    QDateTimeEdit::focusInEvent(event);
}

DateTimePicker::DateTimePicker(QWidget* parent) : TypedDateTimeEdit(parent) {
    setTimeSpec(Qt::UTC);  // naive fields
    setDateRange(QDate(1601, 1, 1), QDate(9999, 12, 31));
    setKind(Kind::Date);
    connect(this, &QDateTimeEdit::dateTimeChanged, this, [this] { onEdited(); });
}

void DateTimePicker::setKind(Kind kind) {
    m_kind = kind;
    m_showing = true;
    if (kind == Kind::Date) {
        setDisplayFormat(dateDisplayFormat());
        setCalendarPopup(true);
    } else {
        setCalendarPopup(false);
        setDisplayFormat(QStringLiteral("H:mm:ss"));
    }
    m_showing = false;
    showValue();
}

void DateTimePicker::setValue(LocalDateTime value) {
    m_value = value;
    showValue();
}

void DateTimePicker::showValue() {
    DateTimeFields f = DecodeLocal(m_value);
    m_showing = true;
    if (m_kind == Kind::Date) {
        QDate d(static_cast<int>(f.year), static_cast<int>(f.month), static_cast<int>(f.day));
        if (d.isValid())
            setDate(d);
    } else {
        setTime(QTime(static_cast<int>(f.hour), static_cast<int>(f.minute), static_cast<int>(f.second),
                      static_cast<int>(f.millisecond)));
    }
    m_showing = false;
}

void DateTimePicker::onEdited() {
    if (m_showing)
        return;
    DateTimeFields shown = DecodeLocal(m_value);
    if (m_kind == Kind::Date) {
        QDate d = date();
        shown.year = d.year();
        shown.month = static_cast<unsigned>(d.month());
        shown.day = static_cast<unsigned>(d.day());
    } else {
        QTime t = time();
        shown.hour = static_cast<unsigned>(t.hour());
        shown.minute = static_cast<unsigned>(t.minute());
        shown.second = static_cast<unsigned>(t.second());
        shown.millisecond = static_cast<unsigned>(t.msec());
    }
    m_value = EncodeLocal(shown);
    emit valueEdited(m_value);
}

bool DateTimePicker::event(QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool plain = !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
        if (plain && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
            QWidget::focusNextPrevChild(key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier));
            return true;
        }
    }
    return TypedDateTimeEdit::event(event);
}

}  // namespace qv::ui
