// The run shared by both programs: command line, banner, the file edit
// around the engine, the verdict, and the wait for Enter.
#pragma once

#include "edit_stream.hpp"

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
    OUTCOME_RENAMED = 0,         // at least one byte written, times kept
    OUTCOME_UNCHANGED = 1,       // nothing to rename: the file is as it was
    OUTCOME_CANNOT_OPEN = 2,     // no file given, or it could not be opened
    OUTCOME_CANNOT_WRITE = 3,    // a write failed: the file is left as it was
    OUTCOME_TIMES_LOST = 4,      // renamed, but its times could not be put back
    OUTCOME_PARTLY_RENAMED = 5,  // some new names may be in the file: running again finishes it
};

// What a run does, from its arguments alone (argc counts the program name).
enum class RunMode {
    Usage,         // /?, -?, -h or --help, where no such file exists
    Version,       // --version, where no such file exists
    NoFile,        // no argument
    OneFile,       // one argument: the font
    Batch,         // the font and any word that is neither an existing entry nor a font name
    SeveralFiles,  // every argument after the first exists or ends in .ttf, .otf or .ttc
};

RunMode decideRunMode(int argc, char** argv);

// The whole run. argc counts the program name. Returns the exit status (an Outcome).
int runTool(int argc, char** argv, const char* title, Engine engine);

// Prints the Enter prompt and takes the Enter key (one line typed, or one byte of a pipe).
void waitForEnter();
