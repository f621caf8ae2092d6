#include "ui/tform5.h"

#include "ui/appearance.h"
#include "ui/icons.h"
#include "ui_tform5.h"

namespace qv::ui {

QUrl supportMailLink() {
    return QUrl(QStringLiteral("mailto:%1?subject=%2").arg(supportAddress(), productTitle()));
}

TForm5::TForm5(std::function<void(const QUrl&)> openUrl, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TForm5>()), m_openUrl(std::move(openUrl)) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::CustomizeWindowHint);
    m_ui->ProgramIcon->setPixmap(pixmap(QStringLiteral("workbook"), 32));
    m_ui->ProductName->setText(productTitle());
    m_ui->Maker->setText(tr("%1 開発").arg(makerName()));
    m_ui->MailAddress->setText(QStringLiteral("<a href=\"mail\">%1</a>").arg(supportAddress()));
    m_ui->HomePage->setText(QStringLiteral("<a href=\"home\">%1</a>").arg(homePageUrl()));
    m_ui->Copyright->setText(copyrightLine());
    connect(m_ui->MailAddress, &QLabel::linkActivated, this, [this] {
        if (m_openUrl)
            m_openUrl(supportMailLink());
    });
    connect(m_ui->HomePage, &QLabel::linkActivated, this, [this] {
        if (m_openUrl)
            m_openUrl(QUrl(homePageUrl()));
    });
    connect(m_ui->OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

TForm5::~TForm5() = default;

}  // namespace qv::ui
