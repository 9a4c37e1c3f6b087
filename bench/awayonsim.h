#pragma once

// The real program on the built-in messenger, started and away, for the benchmarks that
// measure what it does with incoming messages.

#include "bench/benchsupport.h"
#include "core/program.h"
#include "platform/messenger/sim/simmessenger.h"

#include <QTemporaryDir>

#include <cstdio>

namespace zelmo::bench {

struct AwayOnSim {
    explicit AwayOnSim(sim::SimMessenger &sim)
        : program(view, &sim, store, nullptr)
    {
        // As in the real program, each row of the record is written to its file as it comes.
        program.setRecordFile(recordDir.filePath(QStringLiteral("record.jsonl")));
        program.start();
        sim.setLocalStateNow(LocalState::Away);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        program.localStatus().refreshLocalStatus();
        if (!away())
            std::fprintf(stderr, "the program did not go away\n");
    }
    bool away() { return program.state().AwayMode; }

    MemoryStore store;
    NullView view;
    const QTemporaryDir recordDir;
    Program program;
};

} // namespace zelmo::bench
