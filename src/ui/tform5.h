// "バージョン情報": the About window.
#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>
#include <memory>

namespace Ui {
class TForm5;
}

namespace qv::ui {

class TForm5 : public QDialog {
    Q_OBJECT
public:
    // openUrl receives the mail link or the home page when one is clicked.
    explicit TForm5(std::function<void(const QUrl&)> openUrl, QWidget* parent = nullptr);
    ~TForm5() override;
    Ui::TForm5* form() const { return m_ui.get(); }

private:
    std::unique_ptr<Ui::TForm5> m_ui;
    std::function<void(const QUrl&)> m_openUrl;
};

// The mail link of "メールサポート": the support address with the title as
// its subject.
QUrl supportMailLink();

}  // namespace qv::ui
