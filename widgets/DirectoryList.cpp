#include "widgets/DirectoryList.h"

#include "core/AnswerWithin.h"
#include "core/PathRules.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QStyle>

namespace {
constexpr int PathRole = Qt::UserRole;

QString cleaned(const QString &path)
{
    return QDir::cleanPath(QDir::fromNativeSeparators(path));
}

// True when folder is top or lies below it.
bool isWithin(const QString &folder, const QString &top)
{
    if (folder == top)
        return true;
    return folder.startsWith(withTrailingSlash(top));
}

// The folders from top down to folder, both included.
QStringList chain(const QString &top, const QString &folder)
{
    QStringList folders{folder};
    QString current = folder;
    while (current != top) {
        current = QFileInfo(current).path();
        folders.prepend(current);
    }
    return folders;
}
// The subfolders of a folder that exists and can be read; nothing else.
std::optional<QStringList> subfoldersOf(const QString &folder)
{
    const QFileInfo info(folder);
    if (!info.isAbsolute() || !info.isDir() || !info.isReadable())
        return std::nullopt;
    return QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
}
} // namespace

DirectoryList::DirectoryList(QWidget *parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setIndentation(12);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *item) { openItem(item); });
}

QString DirectoryList::path() const
{
    if (m_open.isEmpty())
        return QString();
    return m_open == m_top ? withTrailingSlash(m_open) : m_open;
}

bool DirectoryList::setPath(const QString &path, const QString &top)
{
    const QString folder = cleaned(path);
    if (path.isEmpty())
        return false;
    // A folder on a drive that stopped answering cannot be read either.
    const std::optional<std::optional<QStringList>> listed =
        answerWithin(DriveAnswerLimit, [folder] { return subfoldersOf(folder); });
    if (!listed || !*listed)
        return false;
    QString newTop = top.isEmpty() ? m_top : cleaned(top);
    if (newTop.isEmpty() || !isWithin(folder, newTop))
        newTop = QStringLiteral("/");
    const bool changed = folder != m_open;
    m_top = newTop;
    m_open = folder;
    fill(**listed);
    if (changed)
        emit pathChanged();
    return true;
}

void DirectoryList::fill(const QStringList &subfolders)
{
    clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);

    QTreeWidgetItem *parent = nullptr;
    for (const QString &folder : chain(m_top, m_open)) {
        auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
        item->setText(0, folder == m_top ? withTrailingSlash(folder) : QFileInfo(folder).fileName());
        item->setIcon(0, openIcon);
        item->setData(0, PathRole, folder);
        parent = item;
    }
    for (const QString &name : subfolders) {
        auto *item = new QTreeWidgetItem(parent);
        item->setText(0, name);
        item->setIcon(0, closedIcon);
        item->setData(0, PathRole, QDir(m_open).filePath(name));
    }
    expandAll();
    setCurrentItem(parent);
    scrollToItem(parent);
}

void DirectoryList::openItem(QTreeWidgetItem *item)
{
    if (item)
        setPath(item->data(0, PathRole).toString());
}

void DirectoryList::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openItem(currentItem());
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}
