#pragma once

#include <QByteArray>

// When the files of a download run reach the disk. Outside a run every data
// file is synced as it is replaced (file and folder). While a run holds a
// SyncBarrier::Scope, a replaced file is only renamed into place (a kill still
// leaves the old or the new file) and its folder is remembered; sync() then
// brings everything written since the last barrier to the disk at once: one
// syncfs per file system instead of two fsyncs per file. The run calls it
// before its first DELE, before each save of the read list and at its end.
class SyncBarrier
{
public:
    // Deferring for as long as the scope lives; its end is a barrier.
    class Scope
    {
    public:
        Scope();
        ~Scope();
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

    private:
        bool m_outer;
    };

    static bool deferring();
    // A file was written through fd: synced now unless deferring.
    [[nodiscard]] static bool fileWritten(int fd);
    // A file in `folder` was renamed into place: the folder is synced now,
    // or remembered for the next barrier.
    static void folderChanged(const QByteArray &folder);
    // Syncs every file system written since the last barrier; true when all
    // of them reported success (also when nothing was pending).
    [[nodiscard]] static bool sync();
};
