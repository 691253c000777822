// The run shared by both programs: command line, banner, the file edit
// around the engine, the verdict, and the wait for Enter.
#pragma once

#include <cstddef>

#include "edit_stream.hpp"

// What the engine found. A file in which a name was written is "finished",
// whatever the verdict. Of a file left as it was, the first three say
// "finished" and the last three "not recognised"; NoNamesFound, NotAFont and
// ForTheOtherOne add a line of their own, as does Completed after a write.
enum class Verdict {
    Finished,        // names found (and renamed, or already renamed)
    NoNamesFound,    // Velnari: no Kanovel name at all in the scanned range
    Completed,       // an interrupted rename (or revert) was finished
    NotRecognised,   // not a font this program knows, or already renamed
    NotAFont,        // the file does not begin as a font file does
    ForTheOtherOne,  // VelnariL: no L-series font, but Kanovel names where Velnari looks
};

// Which way a run turns the names.
enum class Direction {
    Rename,  // Latin names become full-width ones
    Revert,  // full-width names become the Latin ones again
};

// One name an engine changed (or, in a dry run, would change), as the
// console shows it: CP932 text of static storage.
struct NameChange {
    const char* from;
    const char* to;
    int copies;  // VelnariL: the stored copies of the name written; ONE_COPY for Velnari's names
};

inline constexpr int ONE_COPY = -1;  // a name stored once: no count is shown

// More names than either engine changes in one run (Velnari 4, VelnariL 1).
inline constexpr std::size_t MAX_NAME_CHANGES = 4;

struct EngineResult {
    Verdict verdict;
    bool finish;  // run the closing step of the file edit (write, restore times)
    std::size_t changeCount;
    NameChange changes[MAX_NAME_CHANGES];
};

// Adds a name to the result's list; one past MAX_NAME_CHANGES is left out.
inline void noteNameChange(EngineResult& result, const NameChange& change) {
    if (result.changeCount < MAX_NAME_CHANGES) {
        result.changes[result.changeCount++] = change;
    }
}

using Engine = EngineResult (*)(EditStream& stream, Direction direction);

// What --help says a program is for: its Japanese text (CP932) and its English one.
struct Purpose {
    const char* japanese;
    const char* english;
};

// What happened to a file, as the exit status tells a caller; a run over
// several files ends with the highest. A dry run's status is that of the
// run it previews: 0 when it would rename, 1 when not.
enum Outcome : int {
    OUTCOME_RENAMED = 0,         // at least one byte written, times kept
    OUTCOME_UNCHANGED = 1,       // nothing to rename: the file is as it was
    OUTCOME_CANNOT_OPEN = 2,     // no file given, or it could not be opened
    OUTCOME_CANNOT_WRITE = 3,    // a write failed: the file is left as it was
    OUTCOME_TIMES_LOST = 4,      // renamed, but its times could not be put back
    OUTCOME_PARTLY_RENAMED = 5,  // some new names may be in the file: running again finishes it
};

// The whole run. argc counts the program name. Returns the exit status (an Outcome).
int runTool(int argc, char** argv, const char* title, Engine engine, Purpose purpose);

// Prints the Enter prompt and takes the Enter key (one line typed, or one byte of a pipe).
void waitForEnter();
