// The file list as the list view shows it: one column with each file's full
// path and its state icon, over the engine's FileList.
#pragma once

#include <QAbstractTableModel>
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
    void setState(int row, engine::FileState state);
    void setAllStates(engine::FileState state);

private:
    engine::FileList m_files;
};

}  // namespace qv::ui
