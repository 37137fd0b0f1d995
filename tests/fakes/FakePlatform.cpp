#include "fakes/FakePlatform.h"

#include "core/AppInfo.h"
#include "fakes/Trees.h"

#include <QDir>

MsgAnswer FakeMessageBoxes::MsgBox(const QString &text, MsgButtons buttons, MsgIcon icon,
                                   const QString &title, const QString &details)
{
    boxes.append(Box{text, buttons, icon, title.isEmpty() ? AppInfo::Title : title,
                     m_pointer.isBusy(), details});
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
                    systemInfo,
                    either<FileSystemService>(with.fileSystem, fileSystem),
                    either<CopyProgressRunner>(with.copyProgress, copyProgress), drives.mounts,
                    notifications};
}
