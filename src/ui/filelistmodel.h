// The file list as the list view shows it: one column with each file's full
// path and its state icon, over the engine's FileList.
#pragma once

#include <QAbstractTableModel>
#include <map>
#include <string>
#include <vector>

#include "engine/filelist.h"

namespace qv::ui {

class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit FileListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const engine::FileList& files() const { return m_files; }
    bool IsListed(const std::string& path) const { return m_files.IsListed(path); }

    // Appends the paths that are not listed yet (nor earlier in paths), in
    // one insertion; gives the number appended.
    int append(const std::vector<std::string>& paths);
    void removeAt(int row);
    void removeAll();

    std::string pathAt(int row) const;
    engine::FileState stateAt(int row) const;
    // The reason, when given, becomes the row's tooltip below its path.
    void setState(int row, engine::FileState state, const QString& reason = {});
    void setAllStates(engine::FileState state);
    QString reasonAt(int row) const;
    // An engine error as the person reads it: what happened in Japanese,
    // then the details.
    static QString reasonFor(const Error& error);

private:
    engine::FileList m_files;
    // Why the last run or view of a file failed, by path.
    std::map<std::string, QString> m_reasons;
};

}  // namespace qv::ui
