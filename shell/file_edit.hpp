// The time-keeping file edit. The file is opened once, exclusively, for
// reading and writing; its times are read, the edit is made, the times are
// put back and the file is flushed to its device, all through that one
// handle, which is closed before the run says anything more. Nobody else can
// open the file in between, so no one's bytes are overwritten, and no second
// open can fail after the edit. A preview (a dry run) opens the file for
// reading only, and writes neither the file nor, where reading leaves them
// alone, its times.
#pragma once

#include "edit_stream.hpp"
#include "platform/file.hpp"

// What the edit left in the file: one status for each state it can be in.
enum class FinishStatus {
    Renamed,        // the changes are in the file and on its device, the times kept
    Unchanged,      // nothing was written: the file is as it was
    LeftAsItWas,    // a write failed, or the file shrank meanwhile: nothing of the edit is left
    TimesNotKept,   // the changes are in the file, but its times could not be put back
    PartlyRenamed,  // some changes may be in the file, or not on its device: run again to finish
};

// Opens path for the edit (exclusively, for reading and writing), captures
// its times and attaches the stream to it. On failure nothing is open and
// the result says why.
OpenResult openForEdit(const char* path, EditStream& stream, FileTimes& times);

// Opens path for a look that writes nothing: for reading only, shared with
// other readers and without a lease, so read-only files and drives open too.
// Captures its times and attaches the stream to it. On failure nothing is
// open and the result says why.
OpenResult openForPreview(const char* path, EditStream& stream, FileTimes& times);

// Opens path as an edit would, and closes it again at once, writing nothing:
// the cause that would stop an edit (a read-only file or drive, a file held
// open elsewhere, one whose times we may not set), or None. The file keeps
// its times.
OpenResult tryOpenForEdit(const char* path);

// Ends a look: drops the pending changes unwritten and closes the file, its
// times put back where reading may have moved them. Returns whether there
// were changes, that is, whether an edit would have written anything.
bool endPreview(EditStream& stream, const FileTimes& times);

// Closes the file without writing anything: the engine found nothing to do.
// Its times are put back where reading may have moved them. Returns Unchanged.
FinishStatus abandonEdit(EditStream& stream, const FileTimes& times);

// Sends the pending changes (those written ahead first, on the device with
// the captured times before the rest are sent), puts the captured times back,
// flushes the file to its device and closes it, in that order. A run that
// changed nothing only closes the file, which keeps its times as they were.
FinishStatus finishEdit(EditStream& stream, const FileTimes& times);
