// A date or a time picker that holds an exact local date-time.
#pragma once

#include <QDateTimeEdit>

#include "props/datetime.h"

namespace qv::ui {

// A date-time field that takes what is typed as typed. A section whose
// digits are complete moves on by itself, and the separator typed after it
// ("10" then ":") would move on once more and leave the next section
// untouched (10:45:00 for "10:00:00"); that separator is taken as already
// done. Each opening can start at the first section (the year of a date),
// whatever section the last edit ended in.
class TypedDateTimeEdit : public QDateTimeEdit {
    Q_OBJECT
public:
    explicit TypedDateTimeEdit(QWidget* parent = nullptr);

    // Puts the cursor in the first section with the section selected, so
    // typing replaces it.
    void startAtFirstSection();
    // The width the field needs for its widest text at its font, with the
    // frame and the arrow or calendar button.
    int neededWidth() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    bool m_movedOnByItself = false;
};

// The picker shows the date ("yyyy/MM/dd" in the locale's short-date order)
// or the time ("H:mm:ss") of its value, but keeps the whole value to the
// millisecond, so a value that was loaded and not edited goes back out
// unchanged. Editing replaces only the shown part. The fields are naive
// local fields: no time-zone rule ever shifts them.
class DateTimePicker : public TypedDateTimeEdit {
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

protected:
    // Tab leaves the picker, one stop like any control: the arrow keys and
    // the typed separators move between its parts.
    bool event(QEvent* event) override;

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
