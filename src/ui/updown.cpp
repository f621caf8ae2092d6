#include "ui/updown.h"

#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "base/text.h"

namespace qv::ui {

UpDown::UpDown(QWidget* parent) : QWidget(parent), m_up(new QToolButton(this)), m_down(new QToolButton(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QToolButton* b : {m_up, m_down}) {
        b->setArrowType(b == m_up ? Qt::UpArrow : Qt::DownArrow);
        b->setAutoRepeat(true);
        // The field keeps the focus while the arrows are used.
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        b->setIconSize(QSize(6, 6));
        layout->addWidget(b);
    }
    m_up->setObjectName(QStringLiteral("UpDownUp"));
    m_down->setObjectName(QStringLiteral("UpDownDown"));
    connect(m_up, &QToolButton::clicked, this, [this] { stepBy(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { stepBy(-1); });
}

void UpDown::setRange(int minimum, int maximum) {
    m_min = minimum;
    m_max = maximum;
    setPosition(m_position);
}

void UpDown::setPosition(int position) {
    int p = std::clamp(position, m_min, m_max);
    if (p == m_position)
        return;
    m_position = p;
    emit positionChanged(p);
}

void UpDown::stepBy(int steps) {
    int from = m_position;
    if (m_buddy) {
        if (auto n = text::parseInt32(m_buddy->text().toStdString()))
            from = std::clamp(*n, m_min, m_max);
    }
    m_position = from;
    setPosition(from + steps);
    if (m_buddy)
        m_buddy->setText(QString::number(m_position));
    emit stepped();
}

}  // namespace qv::ui
