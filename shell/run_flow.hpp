// The run shared by both programs: command line, banner, the file edit
// around the engine, the verdict, and the wait for Enter.
#pragma once

#include "edit_stream.hpp"
#include "file_edit.hpp"

enum class Verdict { Finished, NotRecognised };

struct EngineResult {
    Verdict verdict;
    bool finish;  // run the closing step of the file edit (close streams, restore times)
};

using Engine = EngineResult (*)(EditStream& stream);

struct RunContext {
    bool batch;              // more than one argument: print only failures
    const char* targetPath;  // first argument, passed to the platform unchanged
    FileTimes times;
    EditStream stream;
};

// The whole run. argc counts the program name. The return value means nothing.
int runTool(int argc, char** argv, const char* title, Engine engine);

// Prints the Enter prompt and reads one character (Enter on a console).
void waitForEnter();
