// Personal data before a delivery: the view of what the listed documents
// give away, and the choice of what a scrub removes (in place, or into
// delivery copies in another folder).
#pragma once

#include <QDialog>
#include <optional>
#include <vector>

#include "engine/audit.h"

class QCheckBox;
class QLineEdit;

namespace qv::ui {

// A finding as the person reads it: "作成者", "ユーザー設定のプロパティ：名前".
QString AuditItemLabel(const engine::AuditItem& item);

struct ScrubChoice {
    engine::ScrubSelection selection;
    QString outFolder;  // delivery copies only
    bool overwrite = false;
};

// "個人情報を削除" / "納品用コピーを作成": the set to remove, names of
// user-defined properties to keep, texts to write instead, and for copies
// the folder they go to.
class ScrubDialog : public QDialog {
    Q_OBJECT
public:
    ScrubDialog(bool delivery, QWidget* parent = nullptr);
    ScrubChoice choice() const;
    QLineEdit* outFolder() const { return m_out; }

protected:
    void accept() override;

private:
    bool m_delivery;
    std::vector<std::pair<QCheckBox*, int>> m_rows;  // a box per row it removes
    QCheckBox* m_template = nullptr;
    QCheckBox* m_linkBase = nullptr;
    QCheckBox* m_thumbnail = nullptr;
    QCheckBox* m_custom = nullptr;
    QCheckBox* m_application = nullptr;
    QCheckBox* m_resetRevision = nullptr;
    QCheckBox* m_overwrite = nullptr;
    QLineEdit* m_keep = nullptr;
    QLineEdit* m_author = nullptr;
    QLineEdit* m_company = nullptr;
    QLineEdit* m_out = nullptr;
};

// "個人情報の確認": every finding of every file, savable as CSV.
class AuditDialog : public QDialog {
    Q_OBJECT
public:
    AuditDialog(const std::vector<engine::FileAudit>& audits, QWidget* parent = nullptr);

private:
    void saveCsv();
    const std::vector<engine::FileAudit>& m_audits;
};

}  // namespace qv::ui
