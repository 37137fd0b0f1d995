#include "fakes/FakePlatform.h"

#include "core/AppInfo.h"
#include "fakes/Trees.h"

#include <QDir>

MsgAnswer FakeMessageBoxes::MsgBox(const QString &text, MsgButtons buttons, MsgIcon icon,
                                   const QString &title)
{
    boxes.append(Box{text, buttons, icon, title.isEmpty() ? AppInfo::Title : title,
                     m_pointer.isBusy()});
    if (whileShown)
        whileShown(int(boxes.size()));
    if (!m_script.empty()) {
        const MsgAnswer answer = m_script.front();
        m_script.pop_front();
        return answer;
    }
    switch (buttons) {
    case MsgButtons::OK: return MsgAnswer::OK;
    case MsgButtons::YesNo: ++unscripted; return MsgAnswer::No;
    case MsgButtons::RetryCancel: ++unscripted; return MsgAnswer::Cancel;
    }
    return MsgAnswer::OK;
}

QStringList FakeMessageBoxes::texts() const
{
    QStringList result;
    for (const Box &box : boxes)
        result << box.text;
    return result;
}

void FakeRegistry::setValue(const QByteArray &key, const QByteArray &name, quint32 type,
                            const QByteArray &data)
{
    m_keys[key.toLower()][name.toLower()] = Value{type, data};
}

long FakeRegistry::RegOpenKeyExA(quint32 root, const QByteArray &subKey, quint32, quint32 samDesired,
                                 Handle *result)
{
    lastAccessMask = samDesired;
    *result = 0;
    if (root != HKEY_LOCAL_MACHINE || !m_keys.contains(subKey.toLower()))
        return ERROR_FILE_NOT_FOUND;
    *result = m_next++;
    m_handles.insert(*result, subKey.toLower());
    openHandles << *result;
    return ERROR_SUCCESS;
}

long FakeRegistry::RegQueryValueExA(Handle key, const QByteArray &valueName, quint32 *type,
                                    QByteArray &data, quint32 *size)
{
    if (!m_handles.contains(key))
        return ERROR_INVALID_HANDLE;
    const auto &values = m_keys[m_handles.value(key)];
    const auto it = values.constFind(valueName.toLower());
    if (it == values.constEnd())
        return ERROR_FILE_NOT_FOUND;
    if (quint32(it->data.size()) > *size)
        return 234; // ERROR_MORE_DATA
    *type = it->type;
    data.replace(0, it->data.size(), it->data);
    *size = quint32(it->data.size());
    return ERROR_SUCCESS;
}

long FakeRegistry::RegCloseKey(Handle key)
{
    closedHandles << key;
    if (!m_handles.remove(key))
        return ERROR_INVALID_HANDLE;
    openHandles.removeOne(key);
    return ERROR_SUCCESS;
}

Result<void> FakeCopyProgressRunner::run(const QString &caption, const Work &work)
{
    captions << caption;
    return work(*this);
}

FakePlatform::FakePlatform()
{
    dataDirectory.setPath(m_tmp.path() + QStringLiteral("/data"));
    QDir().mkpath(dataDirectory.path());
}

void FakePlatform::makeDataDirectoryUnwritable()
{
    const QString blocker = m_tmp.path() + QStringLiteral("/blocker");
    Trees::writeFile(blocker, QByteArray());
    dataDirectory.setPath(blocker + QStringLiteral("/data"));
}

namespace {
template <typename Service>
Service &either(Service *replacement, Service &fake)
{
    return replacement ? *replacement : fake;
}
} // namespace

Platform FakePlatform::platform(const Replacements &with)
{
    return Platform{messageBoxes, busyPointer, clipboard, programs, ender, dataDirectory, clock,
                    either<Registry>(with.registry, registry),
                    either<FileSystemService>(with.fileSystem, fileSystem),
                    either<CopyProgressRunner>(with.copyProgress, copyProgress), drives.mounts};
}
