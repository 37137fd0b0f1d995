#pragma once

#include <QObject>

// Tells that a file system was mounted or has left, so whatever shows the
// drives can read the table again. The program's watch follows the
// kernel's mount table (LinuxMountWatch); tests raise changed() themselves.
class MountWatch : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void changed();
};
