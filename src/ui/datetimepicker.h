// A date or a time picker that holds an exact local date-time.
#pragma once

#include <QDateTimeEdit>

#include "props/datetime.h"

namespace qv::ui {

// The picker shows the date ("yyyy/MM/dd" in the locale's short-date order)
// or the time ("H:mm:ss") of its value, but keeps the whole value to the
// millisecond, so a value that was loaded and not edited goes back out
// unchanged. Editing replaces only the shown part. The fields are naive
// local fields: no time-zone rule ever shifts them.
class DateTimePicker : public QDateTimeEdit {
    Q_OBJECT
public:
    enum class Kind { Date, Time };

    explicit DateTimePicker(QWidget* parent = nullptr);

    Kind kind() const { return m_kind; }
    void setKind(Kind kind);

    LocalDateTime value() const { return m_value; }
    void setValue(LocalDateTime value);

signals:
    // The user changed the shown part.
    void valueEdited(double value);

private:
    void showValue();
    void onEdited();

    Kind m_kind = Kind::Date;
    LocalDateTime m_value = 0;
    bool m_showing = false;
};

// The Qt display pattern for the user's short date (Windows pattern letters
// mostly coincide with Qt's; anything else falls back to "yyyy/MM/dd").
QString dateDisplayFormat();

}  // namespace qv::ui
