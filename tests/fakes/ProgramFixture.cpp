#include "fakes/ProgramFixture.h"

#include "fakes/Trees.h"

#include <QDir>

ProgramFixture::ProgramFixture(const Replacements &with)
    : work(fake.tempPath() + QStringLiteral("/work")), app(fake.platform(with))
{
    app.onLastWindowGone = [this] { ++lastWindowGone; };
}

ProgramFixture::WorkingFolder::WorkingFolder(const QString &path)
    : m_path(path), m_previous(QDir::currentPath())
{
    Trees::makeFolder(m_path);
    QDir::setCurrent(m_path);
}

ProgramFixture::WorkingFolder::~WorkingFolder()
{
    QDir::setCurrent(m_previous);
}
