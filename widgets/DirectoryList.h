#pragma once

#include <QTreeWidget>

// A directory list in the classic style: the folders above the open one,
// from the top folder down, each indented one step further, the open folder,
// then its subfolders. A double-click or Enter opens a folder; merely
// highlighting one changes nothing. pathChanged() fires whenever another
// folder opens, by the user or by setPath(), at once and nested inside the
// caller. Dot-folders are left out of the subfolders to keep the list
// readable; a path typed elsewhere can still name one.
class DirectoryList : public QTreeWidget {
    Q_OBJECT
public:
    explicit DirectoryList(QWidget *parent = nullptr);

    // The open folder. The top folder keeps its trailing '/' (like a drive
    // root), every other folder is given without one.
    QString path() const;
    // Opens a folder, showing the folders above it up to top (a drive's
    // root); top defaults to, and falls back to, the file-system root when it
    // is not above the folder. False (and no change) when the folder does
    // not exist or cannot be read.
    bool setPath(const QString &path, const QString &top = QString());

signals:
    void pathChanged();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    // The list is always fully open: no expand or collapse marks.
    void drawBranches(QPainter *, const QRect &, const QModelIndex &) const override {}

private:
    void openItem(QTreeWidgetItem *item);
    void fill(const QStringList &subfolders);

    QString m_top;  // cleaned, no trailing '/' except for "/"
    QString m_open; // cleaned likewise
};
