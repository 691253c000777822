#include "file_edit.hpp"

namespace {

OpenResult attachIfOpened(OpenResult result, EditFile file, EditStream& stream) {
    if (result.error == OpenError::None) {
        attachEditStream(stream, file);
    }
    return result;
}

// Closes a file nothing was written to, its times put back where reading
// may have moved them (Wine), so that it is left as it was found.
FinishStatus closeUnwritten(EditStream& stream, const FileTimes& times) {
    if (READING_MAY_MOVE_ACCESS_TIME) {
        setFileTimes(stream.file, times);
    }
    closeFile(stream.file);
    return FinishStatus::Unchanged;
}

}  // namespace

OpenResult openForEdit(const char* path, EditStream& stream, FileTimes& times) {
    EditFile file{};
    const OpenResult result = openExclusive(path, file, times);
    return attachIfOpened(result, file, stream);
}

OpenResult openForPreview(const char* path, EditStream& stream, FileTimes& times) {
    EditFile file{};
    const OpenResult result = openForReading(path, file, times);
    return attachIfOpened(result, file, stream);
}

OpenResult tryOpenForEdit(const char* path) {
    EditStream stream;
    FileTimes times{};
    const OpenResult result = openForEdit(path, stream, times);
    if (result.error == OpenError::None) {
        closeUnwritten(stream, times);
    }
    return result;
}

bool endPreview(EditStream& stream, const FileTimes& times) {
    const bool changes = hasPendingChanges(stream);
    closeUnwritten(stream, times);
    return changes;
}

FinishStatus abandonEdit(EditStream& stream, const FileTimes& times) {
    return closeUnwritten(stream, times);
}

FinishStatus finishEdit(EditStream& stream, const FileTimes& times) {
    if (!hasPendingChanges(stream)) {
        return closeUnwritten(stream, times);
    }
    const FlushResult result = flushEditStream(stream, times);
    switch (result) {
        case FlushResult::Written:
            break;
        case FlushResult::NotWritten:
            closeFile(stream.file);
            return FinishStatus::LeftAsItWas;
        case FlushResult::Undone:
        case FlushResult::PartlyWritten: {
            // The writes moved the times: they go back too, so the file is
            // left as it was found, as far as we can.
            const bool undone = result == FlushResult::Undone;
            setFileTimes(stream.file, times);
            closeFile(stream.file);
            return undone ? FinishStatus::LeftAsItWas : FinishStatus::PartlyRenamed;
        }
    }
    const bool kept = setFileTimes(stream.file, times);
    // "Finished" is said only of an edit the device has confirmed: until then
    // a pulled stick or a power cut may keep any part of it.
    const bool durable = syncFile(stream.file);
    if (!closeFile(stream.file) || !durable) {
        return FinishStatus::PartlyRenamed;
    }
    return kept ? FinishStatus::Renamed : FinishStatus::TimesNotKept;
}
