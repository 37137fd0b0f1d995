#pragma once

#include <QString>

#include <utility>
#include <variant>

// Failure numbers as the program reports and tells them apart.
namespace ErrorNumber {
constexpr int UserInterrupt = 18; // the user stopped the copy
constexpr int FileNotFound = 53;
constexpr int FileAlreadyOpen = 55;
constexpr int DeviceIO = 57;
constexpr int FileAlreadyExists = 58;
constexpr int DiskFull = 61;
constexpr int InputPastEndOfFile = 62;
constexpr int DeviceUnavailable = 68;
constexpr int PermissionDenied = 70;
constexpr int DiskNotReady = 71;
constexpr int PathFileAccess = 75;
constexpr int PathNotFound = 76;
} // namespace ErrorNumber

// The source or the destination: the side of a copy a failed call was on
// (reading refused on the source must not pass for a destination that
// refuses writing), or the separate path a folder picker fills.
enum class Side { Source, Destination };

// The number the program reports for errno err of a failed system call:
// refused access is 70 where something is written, 75 on a source.
int errorNumberFor(int err, Side side = Side::Destination);

// A failure with its number and a description for logs and txcopy.
struct Error {
    int number = 0;
    QString description;
};

// A value or the Error that prevented it. File I/O and the file-system
// component return these instead of throwing, so no failure escapes into
// the UI.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : m_state(std::move(value)) {}
    Result(Error error) : m_state(std::move(error)) {}

    bool ok() const { return std::holds_alternative<T>(m_state); }
    explicit operator bool() const { return ok(); }

    const T &value() const & { return std::get<T>(m_state); }
    T &value() & { return std::get<T>(m_state); }
    T &&value() && { return std::get<T>(std::move(m_state)); }
    const T &operator*() const & { return value(); }
    const T *operator->() const { return &value(); }

    const Error &error() const { return std::get<Error>(m_state); }

private:
    std::variant<T, Error> m_state;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : m_error(std::move(error)), m_failed(true) {}

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const Error &error() const { return m_error; }

private:
    Error m_error;
    bool m_failed = false;
};
