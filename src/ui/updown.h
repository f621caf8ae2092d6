// A pair of arrow buttons bound to a number field, like a spin box whose
// text lives in a separate field.
#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace qv::ui {

class UpDown : public QWidget {
    Q_OBJECT
public:
    explicit UpDown(QWidget* parent = nullptr);

    void setBuddy(QLineEdit* buddy) { m_buddy = buddy; }
    void setRange(int minimum, int maximum);
    int minimum() const { return m_min; }
    int maximum() const { return m_max; }
    int position() const { return m_position; }
    void setPosition(int position);

    // One step up or down from the number in the buddy field (or from the
    // position when the field holds none), kept within the range, written
    // back to the field without separators.
    void stepBy(int steps);

signals:
    void positionChanged(int position);
    // An arrow was used.
    void stepped();

private:
    QToolButton* m_up;
    QToolButton* m_down;
    QLineEdit* m_buddy = nullptr;
    int m_min = 0, m_max = 100, m_position = 0;
};

}  // namespace qv::ui
