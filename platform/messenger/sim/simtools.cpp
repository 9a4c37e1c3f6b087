#include "platform/messenger/sim/simtools.h"

namespace zelmo::sim {

std::unique_ptr<SimTools> SimTools::create(SimMessenger &sim, const QString &scriptPath,
                                           const QString &logPath, QString *error)
{
    std::unique_ptr<SimTools> tools(new SimTools);
    // The script first: opening the log would empty its file even when the script is bad.
    if (!scriptPath.isEmpty()) {
        auto events = loadScript(scriptPath, error);
        if (!events)
            return nullptr;
        tools->m_script = std::make_unique<ScriptRunner>(sim, std::move(*events));
    }
    if (!logPath.isEmpty()) {
        tools->m_log = SimLog::open(sim, logPath, error);
        if (!tools->m_log)
            return nullptr;
    }
    return tools;
}

SimTools::~SimTools() = default;

void SimTools::startScript()
{
    if (m_script)
        m_script->start();
}

} // namespace zelmo::sim
