#pragma once

#include "core/settingsstore.h"

#include <QSet>
#include <QString>

#include <memory>

class QSettings;

namespace zelmo {

// The settings store on QSettings: one INI file per application in the user's XDG config
// folder, sections as groups.
class QSettingsStore : public SettingsStore {
public:
    // An empty folder means the user's config folder ($XDG_CONFIG_HOME, or ~/.config).
    explicit QSettingsStore(QString folder = QString());

    QString read(const QString &application, const QString &section, const QString &key,
                 const QString &defaultValue) override;
    bool write(const QString &application, const QString &section, const QString &key,
               const QString &value) override;
    bool contains(const QString &application, const QString &section, const QString &key) override;
    Health health(const QString &application) override;
    QString setAside(const QString &application) override;
    QString location(const QString &application) const override { return filePath(application); }

    // Where the file of an application lives.
    QString filePath(const QString &application) const;

private:
    std::unique_ptr<QSettings> open(const QString &application);
    // Makes the file and its copies set aside private, the first time it is opened.
    void tightenOnce(const QString &path);

    QString m_folder;
    // Files found malformed in this process, until they are set aside.
    QSet<QString> m_malformed;
    QSet<QString> m_tightened;
};

} // namespace zelmo
