#include "settings/SettingsFile.h"

#include "core/SequentialFile.h"

#include <optional>

namespace SettingsFile {

Result<Settings> Read(const QString &path)
{
    Result<SequentialReader> opened = SequentialReader::open(path);
    if (!opened)
        return opened.error();
    SequentialReader &reader = opened.value();
    Settings settings;
    std::optional<Error> failure;
    // Reads one field into its place; after a failure nothing more is read.
    auto take = [&](auto &value, auto read) {
        if (failure)
            return;
        const auto field = (reader.*read)();
        if (field)
            value = *field;
        else
            failure = field.error();
    };
    forEachField(
        settings, [&](const char *, int &value) { take(value, &SequentialReader::readInt); },
        [&](const char *, QString &value) { take(value, &SequentialReader::readField); });
    if (failure)
        return *failure;
    return settings;
}

Result<void> Write(const QString &path, const Settings &settings)
{
    SequentialWriter writer;
    forEachField(
        settings, [&](const char *, int value) { writer.writeInt(value); },
        [&](const char *, const QString &value) { writer.writeQuoted(value); });
    return writer.commit(path);
}

} // namespace SettingsFile
