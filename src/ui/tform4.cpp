#include "ui/tform4.h"

#include "ui/appearance.h"
#include "ui/icons.h"
#include "ui_tform4.h"

namespace qv::ui {

TForm4::TForm4(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::TForm4>()) {
    m_ui->setupUi(this);
    setFixedSize(635, 521);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
    m_ui->Image1->setPixmap(pixmap(QStringLiteral("workbook"), 32));
    m_ui->Image2->setPixmap(pixmap(QStringLiteral("unreadable"), 16));
    m_ui->Image3->setPixmap(pixmap(QStringLiteral("changed"), 16));
    m_ui->Image4->setPixmap(pixmap(QStringLiteral("failed"), 16));
    // The grey example shows the third state of the attribute boxes.
    m_ui->CheckBox3->setCheckState(Qt::PartiallyChecked);
    connect(m_ui->Button1, &QPushButton::clicked, this, &QDialog::accept);
}

TForm4::~TForm4() = default;

}  // namespace qv::ui
