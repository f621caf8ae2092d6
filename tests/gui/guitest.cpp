#include "guitest.h"

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "platform/platform.h"
#include "localtext/datetext.h"
#include "props/datetime.h"
#include "ui/appearance.h"
#include "ui/filelistmodel.h"
#include "ui/progressdialogs.h"
#include "ui/propertygrids.h"
#include "ui/tform1.h"
#include "ui/tform4.h"
#include "ui/tform5.h"
#include "ui_tform1.h"

namespace qv::test {

std::string q2s(const QString& s) { return s.toStdString(); }
QString s2q(const std::string& s) { return QString::fromStdString(s); }

GuiEnvironment::GuiEnvironment() : m_tz("Asia/Tokyo"), m_settings(std::make_unique<QTemporaryDir>()) {
    SetFormatsForTesting(platform::LocaleFormats{});
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings->path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings->path());
    ui::applyAppearance(*qApp);
}

GuiEnvironment::~GuiEnvironment() { SetFormatsForTesting(std::nullopt); }

void GuiEnvironment::clearSettings() { ui::TForm1::openDefaultsStore()->clear(); }

Window::Window(bool show, bool realPrompts) {
    if (realPrompts) {
        prompts = nullptr;
        form = std::make_unique<ui::TForm1>();
    } else {
        auto fake = std::make_unique<FakePrompts>();
        prompts = fake.get();
        form = std::make_unique<ui::TForm1>(std::move(fake));
    }
    hints = new ui::TForm4(form.get());
    about = new ui::TForm5([this](const QUrl& url) { form->prompts().openUrl(url); }, form.get());
    batchProgress = new ui::TForm7(form.get());
    csvProgress = new ui::TForm9(form.get());
    form->setWindows(hints, about, batchProgress, csvProgress);
    if (show) {
        form->show();
        QApplication::setActiveWindow(form.get());
        if (!QTest::qWaitForWindowActive(form.get()))
            qWarning("the main window did not become active");
    }
}

Window::~Window() = default;

Ui::TForm1& Window::ui() const { return *form->form(); }

void Window::list(const std::vector<std::string>& paths) const {
    QStringList l;
    for (const std::string& p : paths)
        l.append(s2q(p));
    form->HandleDroppedFiles(l);
}

QString Window::value(bool batch, int row) const {
    return form->grids()->valueText(batch ? ui().ListView2 : ui().ListView3, row);
}

Stamp stampOf(const std::string& path) {
    Stamp s;
    s.times = statTimes(path);
    s.attributes = platform::getFileAttributes(path).valueOr(0xFFFFFFFF);
    return s;
}

void whenModalOpens(std::function<void(QWidget*)> fn) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, fn] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            fn(modal);
        }
    });
    timer->start();
}

}  // namespace qv::test
