#pragma once

#include "core/settingsstore.h"

#include <QHash>
#include <QString>

namespace zelmo::test {

// A settings store in memory, which can be made to refuse writes.
class MemoryStore : public SettingsStore {
public:
    QString read(const QString &application, const QString &section, const QString &key,
                 const QString &defaultValue) override
    {
        return values.value(application + '/' + section + '/' + key, defaultValue);
    }
    bool write(const QString &application, const QString &section, const QString &key,
               const QString &value) override
    {
        ++writes;
        if (!writable)
            return false;
        values.insert(application + '/' + section + '/' + key, value);
        return true;
    }
    // Where the authorization code lives.
    static QString address()
    {
        return QStringLiteral("Zelmo Extensions/Settings/AuthorizedPassword");
    }
    QString code() const { return values.value(address()); }

    QHash<QString, QString> values;
    bool writable = true;
    int writes = 0;
};

} // namespace zelmo::test
