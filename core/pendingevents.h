#pragma once

namespace zelmo {

// The places that let pending events run inside a handler (the dispatcher before an away
// message, the away/back switch while it waits) go through here, so that the nesting stays
// bounded: every message already queued would otherwise add one level of nested event
// processing, and a contact flooding messages could overflow the stack.
class PendingEvents {
public:
    // How many passes may be running inside one another; a handler reached inside the
    // deepest one goes on without a pass of its own.
    static constexpr int maxDepth = 2;

    // Lets the events that are pending run once. Returns false, running nothing, when
    // maxDepth passes are already running.
    static bool runOnce();

    // Marks a pass that runs events in its own way (the switch's wait), for as long as it
    // lives. It always runs: the switch needs the client's confirmation to get through.
    class Scope {
    public:
        Scope() { ++s_depth; }
        ~Scope() { --s_depth; }
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;
    };

    static int depth() { return s_depth; }

private:
    // One thread runs every handler, so one counter is the whole nesting.
    static inline int s_depth = 0;
};

} // namespace zelmo
