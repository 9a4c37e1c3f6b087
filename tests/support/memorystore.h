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
    bool contains(const QString &application, const QString &section, const QString &key) override
    {
        return values.contains(application + '/' + section + '/' + key);
    }
    Health health(const QString &) override { return healthToReport; }
    QString setAside(const QString &) override
    {
        values.clear();
        return QStringLiteral("/aside");
    }
    QString location(const QString &) const override { return QStringLiteral("/settings.ini"); }
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

    // Tests use a known code unless they clear it.
    QHash<QString, QString> values{{address(), QStringLiteral("47209")}};
    Health healthToReport = Health::Fine;
    bool writable = true;
    int writes = 0;
};

} // namespace zelmo::test
