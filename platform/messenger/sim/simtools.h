#pragma once

// What the command line adds to the simulated client: a script that plays the contacts and
// the network (--sim-script), and a log of what the program sends (--sim-log).

#include "platform/messenger/sim/simlog.h"
#include "platform/messenger/sim/simscript.h"

#include <QString>

#include <memory>

namespace zelmo::sim {

class SimMessenger;

class SimTools {
public:
    // Loads the script and opens the log; either path may be empty for none. On failure
    // returns nullptr and a message for the user in *error ("script.txt:3: ..."), having
    // written nothing: a bad script leaves an existing log file as it was.
    static std::unique_ptr<SimTools> create(SimMessenger &sim, const QString &scriptPath,
                                            const QString &logPath, QString *error);
    ~SimTools();

    SimTools(const SimTools &) = delete;
    SimTools &operator=(const SimTools &) = delete;

    // Starts the script's clock; call it at the end of the start-up. Does nothing
    // without a script.
    void startScript();

    // nullptr when not asked for.
    ScriptRunner *script() const { return m_script.get(); }
    SimLog *log() const { return m_log.get(); }

private:
    SimTools() = default;

    std::unique_ptr<ScriptRunner> m_script;
    std::unique_ptr<SimLog> m_log;
};

} // namespace zelmo::sim
