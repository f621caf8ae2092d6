#include "ui/datetimepicker.h"

#include <QDate>
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

DateTimePicker::DateTimePicker(QWidget* parent) : QDateTimeEdit(parent) {
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

}  // namespace qv::ui
