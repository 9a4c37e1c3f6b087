#pragma once

// What the benchmarks share: a settings store that keeps nothing, a main view that shows
// nothing, and the few figures they print.

#include "core/mainview.h"
#include "core/settingsstore.h"

#include <QByteArray>
#include <QtGlobal>

#include <algorithm>
#include <vector>

namespace zelmo::bench {

// Reads give the default, writes succeed: the start-up then makes a code of its own.
class MemoryStore : public SettingsStore {
public:
    bool contains(const QString &, const QString &, const QString &) override { return false; }
    Health health(const QString &) override { return Health::Fine; }
    QString setAside(const QString &) override { return {}; }
    QString location(const QString &) const override { return {}; }
    QString read(const QString &, const QString &, const QString &,
                 const QString &defaultValue) override
    {
        return defaultValue;
    }
    bool write(const QString &, const QString &, const QString &, const QString &) override
    {
        return true;
    }
};

// A window that draws nothing, so that only the program's own logic is measured.
class NullView : public MainView {
public:
    void setOnlineLines(const QStringList &) override {}
    void setOnlineCountText(const QString &) override {}
    void setMailText(const QString &) override {}
    void setStatusText(const QString &) override {}
    void setSwitchCaption(const QString &) override {}
    void setTitle(const QString &) override {}
    void setSwitchEnabled(bool) override {}
    void setWindowEnabled(bool) override {}
    void showProgress() override {}
    void dismissProgress() override {}
    void showWindow() override {}
    void setAwayEditorEnabled(bool) override {}
    void setOnlineListVisible(bool) override {}
    void setNotConnectedText(const QString &) override {}
    void showNoAwayMessages(const QString &) override {}
    void showAwayMessagesSet(const QString &) override {}
    void warnUser(const QString &, bool) override {}
    void showActivityRecord() override {}
    void closeSplash() override {}
    void removeTrayIcon() override {}
    void endProgram(int) override {}
};

// Before the application object exists: the benchmarks run without a display.
inline void runHeadless()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// The median of the samples (the upper one of the middle two for an even count).
inline qint64 median(std::vector<qint64> samples)
{
    if (samples.empty())
        return 0;
    const auto middle = samples.begin() + static_cast<std::ptrdiff_t>(samples.size() / 2);
    std::nth_element(samples.begin(), middle, samples.end());
    return *middle;
}

} // namespace zelmo::bench
