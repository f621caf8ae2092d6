// The window's layout on the screen it opens on, and its help window.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <array>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QSplitter>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "platform/platform.h"
#include "ui/backupchoice.h"
#include "ui/customgrid.h"
#include "ui/appearance.h"
#include "ui/prompts.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

namespace qv::ui {

void TForm1::setUpSplitter() {
    // The list and the pages share the width as the user drags it; the
    // pages keep their own width when the window grows, the list takes the rest.
    auto* splitter = new QSplitter(Qt::Horizontal, m_ui->centralwidget);
    splitter->setObjectName(QStringLiteral("MainSplitter"));
    splitter->setChildrenCollapsible(false);
    m_ui->centralLayout->removeWidget(m_ui->LeftPanel);
    m_ui->centralLayout->removeWidget(m_ui->PageControl1);
    m_ui->Panel1->hide();
    splitter->addWidget(m_ui->LeftPanel);
    splitter->addWidget(m_ui->PageControl1);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    m_ui->centralLayout->addWidget(splitter);

    // Names the file the single page shows.
    m_shownFile = new QLabel(m_ui->TabSheet2);
    m_shownFile->setObjectName(QStringLiteral("ShownFile"));
    m_shownFile->setTextFormat(Qt::PlainText);
    m_shownFile->setMinimumWidth(1);
    m_shownFile->setText(tr("ファイルが選択されていません"));
    m_shownFile->setEnabled(false);
    m_ui->TabSheet2Layout->insertWidget(0, m_shownFile);

    // Placeholder addresses lead nowhere: their commands wait for real ones.
    m_ui->Helponline1->setVisible(!isPlaceholderAddress(onlineHelpUrl()));
    m_ui->Homepage1->setVisible(!isPlaceholderAddress(homePageUrl()));
    m_ui->Emailsupport1->setVisible(!isPlaceholderAddress(supportAddress()));
}

void TForm1::fitToScreen() {
    // Wide enough for the list's five columns beside the pages; tall enough
    // for the user-defined properties below each page's grid.
    fitOnScreen(this, 1120, 740);
    if (auto* splitter = findChild<QSplitter*>(QStringLiteral("MainSplitter"))) {
        const int pages = m_ui->PageControl1->minimumSizeHint().width() + 40;
        splitter->setSizes({std::max(splitter->width() - pages, 200), pages});
    }
}

void TForm1::setUpTabOrder() {
    auto chain = [](std::initializer_list<QWidget*> widgets) {
        QWidget* previous = nullptr;
        for (QWidget* w : widgets) {
            if (previous)
                QWidget::setTabOrder(previous, w);
            previous = w;
        }
    };
    auto customParts = [](const QWidget* grid, const char* prefix) {
        const QString p = QString::fromLatin1(prefix);
        return std::array<QWidget*, 3>{grid->findChild<QWidget*>(p + QStringLiteral("CustomTable")),
                                       grid->findChild<QWidget*>(p + QStringLiteral("CustomAddButton")),
                                       grid->findChild<QWidget*>(p + QStringLiteral("CustomRemoveButton"))};
    };
    const auto single = customParts(m_customSingle, "");
    const auto batch = customParts(m_customBatch, "Batch");
    Ui::TForm1& u = *m_ui;
    chain({u.ToolButton1, u.ToolButton5, u.ToolButton2, u.ToolButton3, u.ListView1, m_failedOnly, u.PageControl1,
           u.ListView3, single[0], single[1], single[2], u.DateTimePicker9, u.DateTimePicker10, u.DateTimePicker11,
           u.DateTimePicker12, u.DateTimePicker13, u.DateTimePicker14, u.CheckBox16, u.CheckBox17, u.CheckBox18,
           u.CheckBox23, u.CheckBox5, m_backupSingle->place(), m_backupSingle->folder(), m_backupSingle->browse(),
           m_backupSingle->generations(), u.BitBtn6, u.BitBtn9, u.BitBtn5, u.BitBtn7});
    chain({u.ToolButton9, u.ToolButton10, u.ToolButton12, u.ListView2, m_replaceClear, m_replaceButton, batch[0],
           batch[1], batch[2], u.CheckBox9,
           u.DateTimePicker1, u.CheckBox10, u.DateTimePicker2, u.CheckBox11, u.DateTimePicker3, u.CheckBox12,
           u.DateTimePicker4, u.CheckBox13, u.DateTimePicker5, u.CheckBox14, u.DateTimePicker6, u.CheckBox1,
           u.CheckBox2, u.CheckBox3, u.CheckBox8, u.CheckBox4, m_backupBatch->place(), m_backupBatch->folder(),
           m_backupBatch->browse(), m_backupBatch->generations(), m_undoButton, u.BitBtn2, u.BitBtn8,
           u.ImportCsvButton, u.BitBtn3, u.BitBtn4});
}

QString TForm1::helpFilePath() {
    // The same help.html beside the program on every system: the help
    // window shows it without a browser.
    return QString::fromStdString(platform::executableFolder()) + QStringLiteral("/help.html");
}

void TForm1::help2Click() {
    CommitOpenEditors();
    if (!m_helpWindow) {
        auto* window = new QWidget(this, Qt::Window);
        window->setObjectName(QStringLiteral("HelpWindow"));
        window->setWindowTitle(tr("%1 ヘルプ").arg(productTitle()));
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* browser = new QTextBrowser(window);
        browser->setObjectName(QStringLiteral("HelpBrowser"));
        // Links within the page move in it; others go to the desktop.
        browser->setOpenExternalLinks(false);
        browser->setOpenLinks(false);
        connect(browser, &QTextBrowser::anchorClicked, this, [this, browser](const QUrl& url) {
            if (url.isRelative() || url.scheme() == QStringLiteral("file"))
                browser->setSource(url);
            else if (!isPlaceholderAddress(url.toString()))
                m_prompts->openUrl(url);
        });
        layout->addWidget(browser);
        const QString path = helpFilePath();
        if (QFileInfo::exists(path))
            browser->setSource(QUrl::fromLocalFile(path));
        else
            browser->setPlainText(tr("ヘルプファイルが見つかりません。") + QLatin1Char('\n') + path);
        fitOnScreen(window, 640, 700);
        m_helpWindow = window;
    }
    m_helpWindow->show();
    m_helpWindow->raise();
    m_helpWindow->activateWindow();
}

}  // namespace qv::ui
