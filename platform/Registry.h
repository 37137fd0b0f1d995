#pragma once

#include <QByteArray>
#include <QtGlobal>

// Reading the system registry, in the shape of the narrow-character calls.
// Results are 0 on success and a system error code otherwise.
class Registry {
public:
    using Handle = quint32;
    static constexpr quint32 HKEY_LOCAL_MACHINE = 0x80000002u;
    static constexpr quint32 REG_SZ = 1;
    static constexpr quint32 REG_DWORD = 4;
    static constexpr long ERROR_SUCCESS = 0;
    static constexpr long ERROR_FILE_NOT_FOUND = 2;
    static constexpr long ERROR_INVALID_HANDLE = 6;

    virtual ~Registry() = default;
    virtual long RegOpenKeyExA(quint32 root, const QByteArray &subKey, quint32 options,
                               quint32 samDesired, Handle *result) = 0;
    // data holds the buffer (its size is the capacity); on success *size is
    // the number of bytes stored and *type the value's type.
    virtual long RegQueryValueExA(Handle key, const QByteArray &valueName, quint32 *type,
                                  QByteArray &data, quint32 *size) = 0;
    virtual long RegCloseKey(Handle key) = 0;
};
