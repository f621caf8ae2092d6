// "ヘルプヒント": fixed hints about the file states and the option boxes.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TForm4;
}

namespace qv::ui {

class TForm4 : public QDialog {
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);
    ~TForm4() override;
    Ui::TForm4* form() const { return m_ui.get(); }

private:
    std::unique_ptr<Ui::TForm4> m_ui;
};

}  // namespace qv::ui
