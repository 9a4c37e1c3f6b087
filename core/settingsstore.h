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
};

} // namespace zelmo
