// The run shared by both programs: command line, banner, the file edit
// around the engine, the verdict, and the wait for Enter.
#pragma once

#include "edit_stream.hpp"
#include "file_edit.hpp"

// What the engine found. Every verdict but NotRecognised prints "finished";
// the two others add a line of their own after it.
enum class Verdict {
    Finished,       // names found (and renamed, or already renamed)
    NoNamesFound,   // Velnari: no Kanovel name at all in the scanned range
    Completed,      // VelnariL: an interrupted rename was finished
    NotRecognised,  // not a font this program knows, or already renamed
};

struct EngineResult {
    Verdict verdict;
    bool finish;  // run the closing step of the file edit (write, restore times)
};

using Engine = EngineResult (*)(EditStream& stream);

// What happened to a file, as the exit status tells a caller; a run over
// several files ends with the highest.
enum Outcome : int {
    OUTCOME_RENAMED = 0,       // at least one byte written, times kept
    OUTCOME_UNCHANGED = 1,     // nothing to rename: the file is as it was
    OUTCOME_CANNOT_OPEN = 2,   // no file given, or it could not be opened
    OUTCOME_CANNOT_WRITE = 3,  // a write failed: the file is left as it was
    OUTCOME_TIMES_LOST = 4,    // renamed, but its times could not be put back
};

struct RunContext {
    bool batch;              // a word after the file: print only failures
    const char* targetPath;  // the file being processed, passed to the platform unchanged
    EditFile file;           // the target, open for the whole edit
    FileTimes times;
    EditStream stream;
};

// The whole run. argc counts the program name. Returns the exit status (an Outcome).
int runTool(int argc, char** argv, const char* title, Engine engine);

// Prints the Enter prompt and reads one character (Enter on a console).
void waitForEnter();
