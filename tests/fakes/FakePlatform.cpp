#include "fakes/FakePlatform.h"

#include "core/AppInfo.h"

#include <QDir>

MsgAnswer FakeMessageBoxes::MsgBox(const QString &text, MsgButtons buttons, MsgIcon icon,
                                   const QString &title)
{
    boxes.append(Box{text, buttons, icon, title.isEmpty() ? AppInfo::Title : title,
                     m_pointer.isBusy()});
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
