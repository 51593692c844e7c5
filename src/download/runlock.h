#pragma once

#include <QString>

class QLockFile;

// One download run at a time per program folder, across processes: a lock
// file in the program folder, held while the object lives. The process that
// holds it may take it again (automatic mode holds it from start-up to the end
// of its run, and the run takes it once more); only the outermost holder
// releases it.
class RunLock
{
public:
    enum class State {
        Held,   // this process holds the lock
        Busy,   // another process holds it
        Failed, // the lock file cannot be made (a folder that is not writable, say)
    };

    RunLock();
    ~RunLock();
    RunLock(const RunLock &) = delete;
    RunLock &operator=(const RunLock &) = delete;

    State state() const { return m_state; }
    bool held() const { return m_state == State::Held; }

    // The lock file.
    static QString path();
    // True when a live process other than this one holds the lock. Only looks:
    // it takes nothing, so a run starting at the same moment is never refused.
    static bool heldByAnotherProcess();

private:
    static bool hasHolder();

    State m_state = State::Failed;
};
