// The file list as the list view shows it: each file's name (with its state
// icon), folder, kind, last-write time and state, over the engine's FileList.
#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <map>
#include <string>
#include <vector>

#include "engine/filelist.h"

namespace qv::ui {

class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { NameColumn, FolderColumn, KindColumn, ModifiedColumn, StateColumn, ColumnCount };

    explicit FileListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Sorts the files themselves, so a run goes in the order shown.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

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
    // How many files are in each state.
    std::size_t countOf(engine::FileState state) const;
    // The state as a word, for the 状態 column.
    static QString stateText(engine::FileState state);
    // The kind a person knows the file by, from its extension.
    static QString kindText(const std::string& path);
    // An engine error as the person reads it: what happened in Japanese,
    // then the details.
    static QString reasonFor(const Error& error);

private:
    engine::FileList m_files;
    // Why the last run or view of a file failed, by path.
    std::map<std::string, QString> m_reasons;
    // Last-write times as last looked at, by path: read when first shown or
    // sorted, again after a run changed the file.
    mutable std::map<std::string, QDateTime> m_modified;
    QDateTime modifiedOf(const std::string& path) const;
};

}  // namespace qv::ui
