#pragma once

#include <QString>

namespace zelmo {

// The per-user settings store: string values addressed by application, section and key.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // The stored value, or defaultValue when none is stored or the store cannot be read.
    // Reading never writes the default.
    virtual QString read(const QString &application, const QString &section, const QString &key,
                         const QString &defaultValue) = 0;
    // Stores value, replacing any earlier one. Returns false when it could not be stored.
    virtual bool write(const QString &application, const QString &section, const QString &key,
                       const QString &value) = 0;
    virtual bool contains(const QString &application, const QString &section,
                          const QString &key) = 0;

    enum class Health {
        Fine,
        Unreadable, // the stored settings cannot be read: reads give defaults
        Malformed,  // they could not all be understood
    };
    // How the stored settings of an application read. Asked once, before anything else reads
    // them.
    virtual Health health(const QString &application) = 0;
    // Moves malformed settings aside, so that a write does not drop what could not be
    // understood. Returns where they went, empty when nothing was moved.
    virtual QString setAside(const QString &application) = 0;
    // Where the settings of an application are kept, as the user would look for them.
    virtual QString location(const QString &application) const = 0;
};

} // namespace zelmo
