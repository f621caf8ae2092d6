#include "ui/batchconfirm.h"

#include <QRegularExpression>

#include <QObject>
#include <algorithm>

#include "base/text.h"
#include "engine/change.h"
#include "localtext/customtext.h"
#include "localtext/datetext.h"
#include "props/catalogue.h"
#include "ui/propertygrids.h"
#include "ui/replacedialog.h"

namespace qv::ui {

namespace {

QString timeLine(const QString& name, const engine::BatchTimeChoice& t) {
    if (!t.replaceDate && !t.replaceTime)
        return name + QObject::tr("：変更しない");
    const platform::LocaleFormats& f = CurrentFormats();
    QStringList parts;
    if (t.replaceDate)
        parts.append(QString::fromStdString(FormatWithPattern(DecodeLocal(t.date), f.shortDate, f)));
    if (t.replaceTime)
        parts.append(QString::fromStdString(FormatWithPattern(DecodeLocal(t.time), f.longTime, f)));
    return name + QStringLiteral("：") + parts.join(QLatin1Char(' '));
}

QString attributeWord(AttributeChoice c) {
    return c == AttributeChoice::Checked ? QObject::tr("設定") : QObject::tr("解除");
}

}  // namespace

namespace {

// Each of the first files' values that patterns and replacements make.
void previewLines(QStringList& lines, const engine::BatchSettings& s, const std::vector<std::string>& paths) {
    auto change = engine::ToBatchChange(s);
    if (!change || !change->perFile.any() || paths.empty())
        return;
    lines.append(QString());
    lines.append(QObject::tr("変更の内容（最初の %1 個のファイル）：").arg(std::min(paths.size(), kPreviewFiles)));
    for (const engine::FilePreview& p : engine::PreviewBatch(paths, *change, kPreviewFiles)) {
        const QString name = QString::fromStdString(text::fileNamePart(p.path));
        if (p.error)
            lines.append(QObject::tr("%1：変更できません（%2）").arg(name, QString::fromStdString(p.error->message)));
        else if (p.changes.empty())
            lines.append(QObject::tr("%1：変更なし").arg(name));
        for (const engine::ValueChange& c : p.changes)
            lines.append(QObject::tr("%1：%2「%3」→「%4」")
                             .arg(name, QString::fromStdString(c.label), QString::fromStdString(c.was),
                                  QString::fromStdString(c.now)));
    }
    if (paths.size() > kPreviewFiles)
        lines.append(QObject::tr("ほか %1 個のファイル").arg(paths.size() - kPreviewFiles));
}

}  // namespace

QString BatchConfirmText(const engine::BatchSettings& s, std::size_t fileCount, const std::vector<std::string>& paths) {
    QStringList lines;
    lines.append(QObject::tr("%1 個のファイルを次のように変更します。").arg(fileCount));
    lines.append(QString());
    for (int row = 0; row < kRowCount; ++row) {
        if (!s.ticked.test(static_cast<std::size_t>(row)))
            continue;
        // As the grid shows it: the editing time with its unit.
        const QString value =
            PropertyGrids::shownText(row, QString::fromStdString(s.values[static_cast<std::size_t>(row)]));
        lines.append(QString::fromUtf8(kCatalogue[static_cast<std::size_t>(row)].Label) + QStringLiteral("：") +
                     (value.isEmpty() ? QObject::tr("（空にする）") : value));
    }
    // The file's own times, told apart from the 作成日時 property row.
    lines.append(timeLine(QObject::tr("ファイルの作成日時"), s.creation));
    lines.append(timeLine(QObject::tr("ファイルの更新日時"), s.lastWrite));
    lines.append(timeLine(QObject::tr("ファイルのアクセス日時"), s.lastAccess));
    const std::pair<QString, AttributeChoice> attributes[] = {
        {QObject::tr("読み取り専用"), s.attributes.readOnly},
        {QObject::tr("アーカイブ"), s.attributes.archive},
        {QObject::tr("隠し"), s.attributes.hidden},
        {QObject::tr("システム"), s.attributes.system},
    };
    for (const auto& [name, choice] : attributes)
        if (choice != AttributeChoice::Grayed)
            lines.append(QObject::tr("属性 %1：%2").arg(name, attributeWord(choice)));
    for (const engine::ReplaceRule& r : s.replaces)
        lines.append(QObject::tr("置換: ") + ReplaceRuleText(r));
    for (const engine::CustomEditText& c : s.custom) {
        const QString name = QString::fromStdString(c.name);
        lines.append(c.remove ? QObject::tr("ユーザー設定 %1：削除").arg(name)
                              : QObject::tr("ユーザー設定 %1（%2）：%3")
                                    .arg(name, QString::fromUtf8(CustomTypeLabel(c.type)),
                                         c.value.empty() ? QObject::tr("（空にする）")
                                                         : QString::fromStdString(c.value)));
    }
    if (!s.backup)
        lines.append(QObject::tr("バックアップしない"));
    else
        lines.append(QObject::tr("バックアップ：%1、%2 世代まで")
                         .arg(s.backupPolicy.folder.empty() ? QObject::tr("各ファイルと同じフォルダ")
                                                            : QString::fromStdString(s.backupPolicy.folder))
                         .arg(std::max(2, s.backupPolicy.generations)));
    previewLines(lines, s, paths);
    lines.append(QString());
    lines.append(QObject::tr("変更しますか？"));
    return lines.join(QLatin1Char('\n'));
}

QString PatternFaultText(const std::string& message) {
    // The engine's faults, each with its Japanese form; \1 is what it names.
    static const std::pair<const char*, const char*> kFaults[] = {
        {"unknown field '([^']*)'", "「{\\1}」という項目はありません"},
        {"unknown row '([^']*)' to replace in", "置換する行「\\1」はありません"},
        {"unknown row '([^']*)'", "「\\1」という行はありません"},
        {"a sequence number takes \\{n:START:WIDTH\\}", "連番は {連番:開始:桁数} と書きます"},
        {"the field '([^']*)' takes no argument", "「\\1」には「:」からあとを書けません"},
        {"a '\\}' without its '\\{' \\(write '\\}\\}' for a brace\\)", "「{」のない「}」があります（括弧そのものは「}}」と書きます）"},
        {"a '\\{' left open \\(write '\\{\\{' for a brace\\)", "「{」が閉じていません（括弧そのものは「{{」と書きます）"},
        {"a regular expression that is not sound", "正規表現に誤りがあります"},
        {"the text to find is empty", "検索する文字列が空です"},
        {"custom: needs a property's name or \\*", "custom: のあとにプロパティの名前か * を書きます"},
        {"replace in ", "置換 "},
        {" at character ([0-9]+)", "（\\1 文字目）"},
    };
    QString text = QString::fromStdString(message);
    for (const auto& [english, japanese] : kFaults)
        text.replace(QRegularExpression(QString::fromLatin1(english)), QString::fromUtf8(japanese));
    return text;
}

}  // namespace qv::ui
